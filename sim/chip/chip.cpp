#include "chip/chip.h"

namespace zsim {

Chip::Chip(uint8_t device_type, bool secured) : secured_(secured) {
    spi_[0] = device_type;
    mem_[0] = secured ? 0 : BOOT_ROM_WORD;
}

Chip::HostAccess::HostAccess(Chip &chip) : chip_(chip) {
    if (chip_.host_depth_++ == 0 && chip_.before_host_access) chip_.before_host_access();
}

uint8_t Chip::spi_read(uint8_t address) {
    HostAccess access(*this);
    return read_host_byte(address);
}

uint8_t Chip::read_host_byte(uint8_t address) {
    if (on_host_read) on_host_read(address);
    return spi_[address];
}

bool Chip::store_host_byte(uint8_t address, uint8_t value) {
    switch (address) {
    case 0:         // the device type is read-only
    case MBIN_RESP: // written by the firmware
    case MBOUT:     // written by the boot loader
        return false;
    case INTSTS:
        spi_[INTSTS] &= static_cast<uint8_t>(~value);
        return true;
    case INDATA:
        indata_.push_back(value);
        break;
    default:
        if (address >= MDATA && address < MDATA + 4) return false; // mdata is fetched, not set
        break;
    }
    spi_[address] = value;
    return true;
}

void Chip::fetch_slow_read_word() {
    const uint32_t addr = uint32_t(spi_[MADDR]) | uint32_t(spi_[MADDR + 1]) << 8 |
                          uint32_t(spi_[MADDR + 2]) << 16 | uint32_t(spi_[MADDR + 3]) << 24;
    const uint32_t w = mcu_read(addr);
    for (int k = 0; k < 4; ++k) spi_[MDATA + k] = static_cast<uint8_t>(w >> (8 * k));
    ++slow_reads_;
}

void Chip::spi_write(uint8_t address, uint8_t value) {
    HostAccess access(*this);
    if (!store_host_byte(address, value)) return;
    if (in_maddr(address)) fetch_slow_read_word();
    if (on_host_write) on_host_write(address, value);
}

void Chip::chip_post(uint8_t address, uint8_t value) {
    spi_[address] = value;
    if (address == MBIN_RESP) spi_[INTSTS] |= INTSTS_MAILBOX_IN;
    if (address == MBOUT) spi_[INTSTS] |= INTSTS_MAILBOX_OUT;
    if (address == MATCH) spi_[INTSTS] |= INTSTS_MATCH;
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

// A block touching maddr fetches the word once, after all its bytes are in: a peripheral read
// may have side effects, and a half-written address names the wrong word.
void Chip::spi_write_block(uint8_t address, std::span<const uint8_t> data) {
    HostAccess access(*this);
    bool fetch = false;
    const bool stream = address == INDATA;
    for (uint8_t b : data) {
        if (store_host_byte(address, b)) {
            fetch = fetch || in_maddr(address);
            if (on_host_write) on_host_write(address, b);
        }
        if (!stream) ++address;
    }
    if (fetch) fetch_slow_read_word();
}

void Chip::spi_read_block(uint8_t address, std::span<uint8_t> out) {
    HostAccess access(*this);
    for (uint8_t &b : out) b = read_host_byte(address++);
}

void Chip::mcu_write_block(uint32_t address, std::span<const uint8_t> data) {
    HostAccess access(*this);
    chip_write_block(address, data);
    if (on_host_mcu_write) on_host_mcu_write(address, data.size() / 4 * 4);
}

void Chip::chip_write_block(uint32_t address, std::span<const uint8_t> data) {
    for (size_t i = 0; i + 4 <= data.size(); i += 4)
        mcu_write(address + static_cast<uint32_t>(i),
                  uint32_t(data[i]) | uint32_t(data[i + 1]) << 8 | uint32_t(data[i + 2]) << 16 |
                      uint32_t(data[i + 3]) << 24);
}

void Chip::mcu_read_block(uint32_t address, std::span<uint8_t> out) {
    HostAccess access(*this);
    for (size_t i = 0; i + 4 <= out.size(); i += 4, address += 4) {
        const uint32_t w = mcu_read(address);
        for (size_t k = 0; k < 4; ++k) out[i + k] = static_cast<uint8_t>(w >> (8 * k));
    }
}

} // namespace zsim
