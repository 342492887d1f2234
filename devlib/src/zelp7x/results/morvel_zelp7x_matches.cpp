// Match results: the summary of the next match from the firmware's match ring (or the chip's
// match register without firmware), the winning classes and the class strengths.
#include <algorithm>
#include <array>

#include "morvel-firmware/zelp7x_firmware.h"
#include "zelp7x/zelp7x_internal.h"
#include "zelp7x/zelp7x_registers.h"

namespace {

using namespace zelp7x;

// A result the firmware keeps in its state block, or the chip's registers hold without it.
struct ResultArea {
    uint32_t fw_offset;
    uint32_t register_address; // 0: only the firmware has it
    unsigned int max_len;
};

constexpr ResultArea winners = {ZELP7X_FW_STATE_WINNER_ONE_HOT, ZELP7X_MCU_WINNERS,
                                ZELP7X_WINNERS_SIZE};

constexpr unsigned int softmax_max_len = 256;

// Indexed by morvel_zelp_strength_type_e.
constexpr std::array<ResultArea, 2> strengths = {{
    {ZELP7X_FW_STATE_RAW_STRENGTHS, ZELP7X_MCU_STRENGTHS, ZELP7X_STRENGTHS_SIZE},
    {ZELP7X_FW_STATE_SOFTMAX_STRENGTHS, 0, softmax_max_len},
}};

int read_result(morvel_zelp_device_s *zelp, const ResultArea &area, uint8_t *out,
                unsigned int len) {
    if (len > area.max_len || len % 4 != 0) return MORVEL_ZELP_ERROR_ARG;
    const uint32_t state = record(zelp).fw_state_addr;
    if (state == 0 && area.register_address == 0) return MORVEL_ZELP_ERROR_FAIL;
    const uint32_t address = state != 0 ? state + area.fw_offset : area.register_address;
    return morvel_zelp7x_read_block(zelp, MCU, address, out, len);
}

int summary_from_register(morvel_zelp_device_s *zelp, uint32_t *summary) {
    uint8_t match = 0;
    const int s = read_spi(zelp, ZELP7X_SPI_MATCH, &match);
    if (s == 0) *summary = match;
    return s;
}

} // namespace

extern "C" {

int morvel_zelp7x_get_match_summary(morvel_zelp_device_s *zelp, uint32_t *summary) {
    if (summary == nullptr) return MORVEL_ZELP_ERROR_ARG;
    *summary = 0;
    morvel_zelp7x_device_s &z = record(zelp);
    if (z.fw_state_addr == 0) return summary_from_register(zelp, summary);
    if (z.match_producer == z.match_consumer) return MORVEL_ZELP_ERROR_NONE;
    // The state block holds ten entries whatever ring size the firmware reports, and an index
    // outside the ring would never meet the other: refuse rather than chase it forever.
    const uint32_t slots = std::min(z.match_ring_size, ZELP7X_MATCH_RING_SIZE);
    if (z.match_producer >= slots || z.match_consumer >= slots) return MORVEL_ZELP_ERROR_FAIL;
    std::array<uint8_t, ZELP7X_MATCH_ENTRY_SIZE> entry{};
    const uint32_t at =
        z.fw_state_addr + ZELP7X_FW_STATE_MATCH_RING + ZELP7X_MATCH_ENTRY_SIZE * z.match_consumer;
    const int s = morvel_zelp7x_read_block(zelp, MCU, at, entry.data(), entry.size());
    if (s != 0) return s;
    const uint32_t word = load_le32(entry.data());
    if ((word & ZELP7X_MATCH_NO_TANKPTR) == 0) z.tankptr_match = load_le32(entry.data() + 4) & ~3u;
    *summary = word;
    z.match_consumer = z.match_consumer + 1 == slots ? 0 : z.match_consumer + 1;
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_get_match_binary(morvel_zelp_device_s *zelp, uint8_t *matches, unsigned int len) {
    return read_result(zelp, winners, matches, len);
}

int morvel_zelp7x_get_match_strength(morvel_zelp_device_s *zelp, uint8_t *strengths_out,
                                     unsigned int len, int type) {
    if (type != MORVEL_ZELP_STRENGTH_RAW && type != MORVEL_ZELP_STRENGTH_SOFTMAX)
        return MORVEL_ZELP_ERROR_ARG;
    return read_result(zelp, strengths[static_cast<size_t>(type)], strengths_out, len);
}

} // extern "C"
