// The filter bank's per-bin equalizer gains and bin frequencies, read and written on the chip
// directly (they are not part of the register mirror).
#include <algorithm>
#include <array>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_config.h"
#include "zelp7x/config/zelp7x_config_bus.h"
#include "zelp7x/config/zelp7x_config_fields.h"
#include "zelp7x/zelp7x_registers.h"

using namespace zelp7x;

namespace {

constexpr unsigned BINS = MORVEL_ZELP7X_MAX_FREQUENCY_BINS;
constexpr unsigned EQ_WORDS = BINS / 4;
constexpr unsigned EDGES_PER_WORD = 3;
constexpr Field EDGE{0, 9}; // edge k of a word at bits 9k to 9k+8
// One more edge than bins: bin j lies between edges j and j+1.
constexpr unsigned EDGE_WORDS = (BINS + 1 + EDGES_PER_WORD - 1) / EDGES_PER_WORD;

bool eq_in_range(int gain) {
    return gain >= -128 && gain <= 127;
}

} // namespace

extern "C" {

int morvel_zelp7x_config_set_filter_eq(morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *c,
                                       morvel_zelp7x_config_state_s *st) {
    if ((c->set1 & MORVEL_ZELP7X_CONFIG_SET1_FILTER_EQ) == 0) return MORVEL_ZELP_ERROR_NONE;
    const std::span gains(c->filter_eq);
    if (!std::all_of(gains.begin(), gains.end(), eq_in_range)) return MORVEL_ZELP_ERROR_ARG;
    for (unsigned w = 0; w < EQ_WORDS; ++w) {
        uint32_t word = 0;
        for (unsigned k = 0; k < 4; ++k)
            word |= uint32_t(static_cast<uint8_t>(gains[4 * w + k])) << (8 * k);
        const int s = write_word(zelp, ZELP7X_MCU_FILTER_EQ0 + 4 * w, word);
        if (s != 0) return s;
    }
    // New gains only take effect across a pipeline restart.
    st->eq_update = 1;
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_config_get_filter_eq(morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *c) {
    for (unsigned w = 0; w < EQ_WORDS; ++w) {
        uint32_t word = 0;
        const int s = read_word(zelp, ZELP7X_MCU_FILTER_EQ0 + 4 * w, word);
        if (s != 0) return s;
        for (unsigned k = 0; k < 4; ++k)
            c->filter_eq[4 * w + k] = static_cast<int8_t>(static_cast<uint8_t>(word >> (8 * k)));
    }
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_config_get_filter_bins(morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *c) {
    // The frame size field can hold more than the record has room for.
    const unsigned bins = std::min(c->freq_frame_size, BINS);
    const unsigned words = (bins + 1 + EDGES_PER_WORD - 1) / EDGES_PER_WORD;
    std::array<uint8_t, 4 * EDGE_WORDS> raw{};
    const int s = read_bytes(zelp, ZELP7X_MCU_FILTER_BIN0, std::span(raw.data(), 4 * words));
    if (s != 0) return s;
    for (unsigned j = 0; j < bins; ++j) {
        const unsigned e = j + 1; // edge 0 is the lower bound of the first bin
        const uint32_t word = load_le32(&raw[4 * (e / EDGES_PER_WORD)]);
        c->filter_frequency[j] = 2 * ((word >> (9 * (e % EDGES_PER_WORD))) & EDGE.max());
    }
    return MORVEL_ZELP_ERROR_NONE;
}

} // extern "C"
