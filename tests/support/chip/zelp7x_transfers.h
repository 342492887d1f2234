// Builders for the driver-level transfers the zelp7x tests expect on the bus, so an expected
// sequence reads like the register accesses it stands for.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <vector>

#include "support/board/fake_host.h"

namespace ztest {

inline std::vector<uint8_t> le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

inline Transfer mcu_write(uint32_t address, uint32_t value) {
    return {1, address, true, le32(value)};
}
inline Transfer mcu_read(uint32_t address, uint32_t value) {
    return {1, address, false, le32(value)};
}
inline Transfer spi_write(uint32_t address, std::initializer_list<uint8_t> bytes) {
    return {0, address, true, bytes};
}
inline Transfer spi_read(uint32_t address, std::initializer_list<uint8_t> bytes) {
    return {0, address, false, bytes};
}

// An MCU word read through the SPI window while the clock is unknown: the address into maddr,
// then maddr and mdata read back together.
inline std::vector<Transfer> slow_read(uint32_t address, uint32_t value) {
    std::vector<uint8_t> window = le32(address);
    const std::vector<uint8_t> data = le32(value);
    window.insert(window.end(), data.begin(), data.end());
    return {{0, 0x40, true, le32(address)}, {0, 0x40, false, window}};
}

// Readable failure messages: "mcu W 0x4000905c: a1 c7 10 40".
inline void PrintTo(const Transfer &t, std::ostream *os) {
    *os << (t.mcu ? "mcu " : "spi ") << (t.write ? "W 0x" : "R 0x") << std::hex << t.address << ":";
    for (uint8_t b : t.data) *os << ' ' << (b < 16 ? "0" : "") << unsigned{b};
    *os << std::dec;
}

} // namespace ztest
