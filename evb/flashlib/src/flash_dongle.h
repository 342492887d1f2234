// The Atmel dongle layout: an image of at most 0xFFFF4 bytes in a 1 MiB span whose last 8 bytes
// describe it (size word, then magic word), so the dongle firmware can find and size the image.
#pragma once

#include <array>
#include <cstdint>

enum zelp7x_flash_constants_e : uint32_t {
    ATMEL_DONGLE_MAGIC_NUMBER = 0xA5B6C7D8,
    ATMEL_DONGLE_PAGE_SIZE = 0x100000,
    ATMEL_DONGLE_FILE_MAGIC_OFFSET = 0xFFFFC,
    ATMEL_DONGLE_FILE_SIZE_OFFSET = 0xFFFF8,
    ATMEL_DONGLE_FILE_CHECKSUM_OFFSET = 0xFFFF4,
};

namespace zflash {

// Whether an image of `encoded_count` flash bytes leaves room for the descriptor.
constexpr bool dongle_length_fits(int64_t encoded_count) {
    return encoded_count <= ATMEL_DONGLE_FILE_CHECKSUM_OFFSET;
}

// Start of the dongle span: `address` rounded up to a multiple of 1 MiB (32-bit arithmetic).
constexpr uint32_t dongle_base(uint32_t address) {
    return (address + (ATMEL_DONGLE_PAGE_SIZE - 1)) & ~(ATMEL_DONGLE_PAGE_SIZE - 1);
}

// Flash address of the 8-byte descriptor for an image at `address`.
constexpr uint32_t dongle_descriptor_address(uint32_t address) {
    return dongle_base(address) + ATMEL_DONGLE_FILE_SIZE_OFFSET;
}

// Size word then magic word, least significant byte first. With 3-byte encoding each word is
// shifted left by 8 bits, so its first byte lands on a filler position and the low three bytes
// survive decoding.
std::array<uint8_t, 8> dongle_descriptor(uint32_t encoded_count, bool three_byte);

} // namespace zflash
