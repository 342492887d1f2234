#include "sim/chip.h"

namespace zsim {

Chip::Chip(uint8_t device_type) {
    spi_[0] = device_type;
}

uint8_t Chip::spi_read(uint8_t address) {
    return spi_[address];
}

void Chip::spi_write(uint8_t address, uint8_t value) {
    if (address == 0) return; // the device type is read-only
    spi_[address] = value;
}

McuPeripheral *Chip::owner_of(uint32_t address) const {
    for (McuPeripheral *p : peripherals_)
        if (p->claims(address)) return p;
    return nullptr;
}

uint32_t Chip::peek_mcu(uint32_t address) const {
    auto it = mem_.find(address & ~3u);
    return it == mem_.end() ? 0 : it->second;
}

uint32_t Chip::mcu_read(uint32_t address) {
    address &= ~3u;
    if (McuPeripheral *p = owner_of(address)) return p->read_word(address);
    return peek_mcu(address);
}

void Chip::mcu_write(uint32_t address, uint32_t value) {
    address &= ~3u;
    if (McuPeripheral *p = owner_of(address)) {
        p->write_word(address, value);
        return;
    }
    mem_[address] = value;
}

void Chip::spi_write_block(uint8_t address, std::span<const uint8_t> data) {
    for (uint8_t b : data) spi_write(address++, b);
}

void Chip::spi_read_block(uint8_t address, std::span<uint8_t> out) {
    for (uint8_t &b : out) b = spi_read(address++);
}

void Chip::mcu_write_block(uint32_t address, std::span<const uint8_t> data) {
    for (size_t i = 0; i + 4 <= data.size(); i += 4, address += 4)
        mcu_write(address, uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 |
                               uint32_t(data[i + 2]) << 16 | uint32_t(data[i + 3]) << 24);
}

void Chip::mcu_read_block(uint32_t address, std::span<uint8_t> out) {
    for (size_t i = 0; i + 4 <= out.size(); i += 4, address += 4) {
        const uint32_t w = mcu_read(address);
        for (size_t k = 0; k < 4; ++k) out[i + k] = static_cast<uint8_t>(w >> (8 * k));
    }
}

} // namespace zsim
