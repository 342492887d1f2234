// Network parameters: plain ones are written straight into the network's parameter memory;
// enciphered ones are passed on unread, through the firmware's secure memory access block, to
// the firmware that deciphers them.
#include <algorithm>
#include <array>

#include "morvel-firmware/zelp7x_smap.h"
#include "zelp7x/load/zelp7x_package_handlers.h"
#include "zelp7x/zelp7x_registers.h"

using namespace zelp7x;
using namespace zelp7x::pkg;

namespace {

constexpr uint32_t SMAP_DATA = ZELP7X_FW_SMAP_BASE + ZELP7X_FW_SMAP_CONTROL_SIZE;
constexpr uint32_t LOAD_HEADER_SIZE = 8;

// The firmware opens a deciphering load with an empty LOAD and answers that it wants more; the
// first block then starts with the tag and the value's length.
int begin_enciphered_load(morvel_zelp_device_s *zelp, uint32_t length) {
    int s = morvel_zelp7x_run_smap_op(zelp, ZELP7X_FW_SMAP_OP_LOAD, 0, 0);
    if (s == MORVEL_ZELP_ERROR_NONE) return MORVEL_ZELP_ERROR_FAIL;
    if (s != MORVEL_ZELP_ERROR_MORE) return s;
    std::array<uint8_t, LOAD_HEADER_SIZE> header{};
    store_le32(header.data(), TAG_ZELP7X_B0_NN_PARAMETERS_ENCRYPTED_V1);
    store_le32(header.data() + 4, length);
    return write_bytes(zelp, SMAP_DATA, header);
}

// Fills the block's data area and hands each fill to the firmware with LOAD.
int pass_on(morvel_zelp_device_s *zelp, std::span<const uint8_t> bytes, uint32_t fill) {
    int s = MORVEL_ZELP_ERROR_NONE;
    while (!bytes.empty()) {
        const size_t n = std::min<size_t>(ZELP7X_FW_SMAP_DATA_SIZE - fill, bytes.size());
        s = write_padded(zelp, SMAP_DATA + fill, bytes.first(n));
        if (s == 0)
            s = morvel_zelp7x_run_smap_op(zelp, ZELP7X_FW_SMAP_OP_LOAD, 0,
                                          fill + static_cast<uint32_t>(n));
        if (s == MORVEL_ZELP_ERROR_MORE) s = MORVEL_ZELP_ERROR_NONE;
        if (s != 0) return s;
        bytes = bytes.subspan(n);
        fill = 0;
    }
    return s;
}

} // namespace

extern "C" {

int morvel_zelp7x_pkg_parse_nn_params_v3_tlv(morvel_zelp_device_s *zelp) {
    const Reader &p = reader(zelp);
    if (!piece_ready(p)) return MORVEL_ZELP_ERROR_NONE;
    const Piece piece = piece_of(p);
    return write_padded(zelp, ZELP7X_MCU_DNN_PARAMS + piece.offset, piece.bytes);
}

int morvel_zelp7x_pkg_parse_nn_params_encrypted_v1_tlv(morvel_zelp_device_s *zelp) {
    const Reader &p = reader(zelp);
    morvel_zelp7x_device_s &z = record(zelp);
    // Each value is a deciphering load of its own, with its own header.
    if (announced(p)) z.load_offset = 0;
    if (!piece_ready(p)) return MORVEL_ZELP_ERROR_NONE;
    const Piece piece = piece_of(p);
    if (piece.bytes.empty()) return MORVEL_ZELP_ERROR_NONE;
    uint32_t fill = 0;
    if (z.load_offset == 0) {
        const int s = begin_enciphered_load(zelp, p.length);
        if (s != 0) return s;
        fill = LOAD_HEADER_SIZE;
    }
    const int s = pass_on(zelp, piece.bytes, fill);
    if (s == 0) z.load_offset += static_cast<uint32_t>(piece.bytes.size());
    return s;
}

} // extern "C"
