// Reset-fix: loads a small program package through the chip's boot loader. The package travels
// whole, headers included; the boot loader checks and runs it, the host never looks inside.
#include <algorithm>
#include <array>
#include <cstddef>

#include "zelp7x_internal.h"
#include "zelp7x_registers.h"

extern "C" {

// A package in the tag-length-value format: header, firmware version, firmware, checksum.
constexpr uint8_t zelp7x_reset_fix_v1_mvpkg[280] = {
    // Header record: tag 1, length 4, package magic.
    0x01,
    0x00,
    0x00,
    0x00,
    0x04,
    0x00,
    0x00,
    0x00,
    0xA1,
    0xE5,
    0xBD,
    0x53,
    // Firmware version record: tag 2, length 20, "zelp7x-reset-fix_v1" and its 0 byte.
    0x02,
    0x00,
    0x00,
    0x00,
    0x14,
    0x00,
    0x00,
    0x00,
    0x7A,
    0x65,
    0x6C,
    0x70,
    0x37,
    0x78,
    0x2D,
    0x72,
    0x65,
    0x73,
    0x65,
    0x74,
    0x2D,
    0x66,
    0x69,
    0x78,
    0x5F,
    0x76,
    0x31,
    0x00,
    // Firmware record: tag 8, length 220. Placeholder program: the Thumb instruction
    // "b ." (0xE7FE) repeated, which parks the MCU; the production program drops in here.
    0x08,
    0x00,
    0x00,
    0x00,
    0xDC,
    0x00,
    0x00,
    0x00,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    0xFE,
    0xE7,
    // Checksum record: tag 4, length 4, CRC-32 of bytes 0 to 275.
    0x04,
    0x00,
    0x00,
    0x00,
    0x04,
    0x00,
    0x00,
    0x00,
    0x10,
    0x59,
    0x92,
    0xB5,
};

constexpr unsigned int zelp7x_reset_fix_v1_mvpkg_size = sizeof zelp7x_reset_fix_v1_mvpkg;

} // extern "C"

namespace {

using namespace zelp7x;

// CRC-32 (reflected 0xEDB88320, initial and final complement), bitwise so it runs at compile
// time; the package's own checksum is verified against it below.
constexpr uint32_t crc32(const uint8_t *bytes, std::size_t len) {
    uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < len; ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

constexpr const uint8_t *package = zelp7x_reset_fix_v1_mvpkg;
constexpr std::size_t checksum_record = 268;
constexpr std::size_t checksum_value = checksum_record + 8;

static_assert(zelp7x_reset_fix_v1_mvpkg_size == 280);
static_assert(load_le32(package) == 1 && load_le32(package + 4) == 4 &&
                  load_le32(package + 8) == 0x53BDE5A1,
              "the package must open with a valid header record");
static_assert(load_le32(package + 12) == 2 && load_le32(package + 16) == 20);
static_assert(load_le32(package + 40) == 8 && load_le32(package + 44) == 220);
static_assert(load_le32(package + checksum_record) == 4 &&
              load_le32(package + checksum_record + 4) == 4);
static_assert(load_le32(package + checksum_value) == crc32(package, checksum_value),
              "the checksum covers every byte up to the checksum record's length field");

// The open RAM takes one window of the package per burst.
constexpr unsigned int stretch_size = ZELP7X_OPEN_RAM_SIZE;

int write_stretch(morvel_zelp_device_s *zelp, const uint8_t *bytes, unsigned int count) {
    // Word by word: the boot loader's window may not take longer writes.
    for (unsigned int i = 0; i < count; i += 4) {
        std::array<uint8_t, 4> word{};
        for (unsigned int k = 0; k < 4 && i + k < count; ++k) word[k] = bytes[i + k];
        const int s = write_mcu(zelp, ZELP7X_MCU_OPEN_RAM + i, load_le32(word.data()));
        if (s != 0) return s;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

int prepare_boot(morvel_zelp_device_s *zelp) {
    record(zelp).secured = 0;
    int s = write_spi(zelp, ZELP7X_SPI_INTCTL, 0x00);
    if (s == 0) s = write_spi(zelp, ZELP7X_SPI_CTL, 0x00);
    if (s == 0) s = write_spi(zelp, ZELP7X_SPI_CTL, ZELP7X_CTL_RESET_RUN);
    return s;
}

} // namespace

extern "C" int morvel_zelp7x_reset_fix(morvel_zelp_device_s *zelp) {
    int s = prepare_boot(zelp);
    if (s == 0) s = morvel_zelp7x_boot_start(zelp);
    if (s != 0) return s;
    s = MORVEL_ZELP_ERROR_MORE;
    for (unsigned int offset = 0;
         offset < zelp7x_reset_fix_v1_mvpkg_size && s == MORVEL_ZELP_ERROR_MORE;
         offset += stretch_size) {
        const unsigned int count = std::min(stretch_size, zelp7x_reset_fix_v1_mvpkg_size - offset);
        s = write_stretch(zelp, package + offset, count);
        if (s != 0) return s;
        s = morvel_zelp7x_boot_burst(zelp);
    }
    return s;
}
