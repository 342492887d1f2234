// How data bytes lie on the flash: plain, or in 3-byte encoding, where every fourth flash byte
// (offsets 0, 4, 8, ...) is a 0xFF filler before three data bytes; and the BSD checksum of the
// data, which never covers the fillers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zflash {

// Whether flash offset `i` of an image holds a filler rather than data.
constexpr bool is_filler(size_t i, bool three_byte) {
    return three_byte && i % 4 == 0;
}

// Lays `data` out on `flash` (fillers and the tail past the data become 0xFF), up to the end of
// either.
void encode(std::span<const uint8_t> data, bool three_byte, std::span<uint8_t> flash);
// Picks the data bytes back out of `flash` into `data`, up to the end of either; returns the
// number of data bytes stored.
size_t decode(std::span<const uint8_t> flash, bool three_byte, std::span<uint8_t> data);

// The BSD `sum` checksum of `data`, continued from `sum`.
uint16_t bsd_sum(std::span<const uint8_t> data, uint16_t sum = 0);

} // namespace zflash
