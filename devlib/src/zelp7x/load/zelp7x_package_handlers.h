// What the package tag handlers share: how to read the reader's state (a value announced, a
// piece or item ready, a value complete), where a piece of a long value belongs, and the
// register and memory accesses they make.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_package_parser.h"
#include "zelp7x/config/zelp7x_config_bus.h"
#include "zelp7x/zelp7x_internal.h"

extern "C" {
// Fill a configuration record from a complete board calibration value: every version, and
// versions 3 and 4 with their gain control fields.
int morvel_zelp7x_pkg_core_parse_board_calibration_params_tlv(morvel_zelp_device_s *zelp,
                                                              morvel_zelp7x_config_s *zelp7x_config,
                                                              int padded);
int morvel_zelp7x_core_pkg_parse_board_calibration_params_tlv(
    morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *zelp7x_config);
}

namespace zelp7x::pkg {

using Reader = morvel_pkg_parser_state_t;

inline const Reader &reader(const morvel_zelp_device_s *zelp) {
    return zelp->pstate;
}

// The value's tag and length were just read; none of its bytes yet.
inline bool announced(const Reader &p) {
    return p.mode == PACKAGE_MODE_VALUE_START;
}

// The reader's data area holds a complete value, piece or item.
inline bool piece_ready(const Reader &p) {
    return p.mode != PACKAGE_MODE_VALUE_START && p.value_mode == PACKAGE_MODE_VALID_PARTIAL_VALUE;
}

// The whole value has just been read.
inline bool complete(const Reader &p) {
    return p.mode == PACKAGE_MODE_TAG_START && p.partially_read_length == p.length;
}

// A long value passes through the 2048-byte data area: the piece just read ends at the bytes
// read so far and is a whole area long, except the last. Nothing read yet is no piece.
struct Piece {
    uint32_t offset;
    std::span<const uint8_t> bytes;
};

inline Piece piece_of(const Reader &p) {
    const uint32_t read = p.partially_read_length;
    uint32_t size = read % PARSER_SCRATCH_SIZE;
    if (size == 0 && read != 0) size = PARSER_SCRATCH_SIZE;
    return {read - size, std::span<const uint8_t>(p.data.scratch, size)};
}

// MCU memory moves in whole words: a run of bytes that does not end on one is sent with its last
// word padded by zero bytes. At most one data area long.
inline int write_padded(morvel_zelp_device_s *zelp, uint32_t address,
                        std::span<const uint8_t> bytes) {
    if (bytes.size() % 4 == 0) return write_bytes(zelp, address, bytes);
    std::array<uint8_t, PARSER_SCRATCH_SIZE> words{};
    if (bytes.size() > words.size()) return MORVEL_ZELP_ERROR_ARG;
    std::ranges::copy(bytes, words.begin());
    return write_bytes(zelp, address, std::span(words).first((bytes.size() + 3) & ~size_t{3}));
}

template <typename Change>
int modify_word(morvel_zelp_device_s *zelp, uint32_t address, Change change) {
    uint32_t v = 0;
    const int s = read_word(zelp, address, v);
    return s != 0 ? s : write_word(zelp, address, change(v));
}

template <typename Change>
int modify_spi(morvel_zelp_device_s *zelp, uint32_t address, Change change) {
    uint8_t v = 0;
    const int s = read_spi(zelp, address, &v);
    return s != 0 ? s : write_spi(zelp, address, static_cast<uint8_t>(change(v)));
}

// The tag's handler needs the network's input paused while it runs.
bool pauses_network(uint32_t tag);

// Sets bits of the host configuration area's valid mask. A mask that is uninitialised memory
// counts as empty, as it does for whoever reads the area.
int mark_host_config_valid(morvel_zelp_device_s *zelp, uint32_t bits);

} // namespace zelp7x::pkg
