// Model of the zelp7x chip as the bridge sees it: a byte-wide SPI register space and the
// 32-bit MCU space. Peripherals (clock unit, MSPI, ...) claim parts of the MCU space; every
// other word is plain read-back memory.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

namespace zsim {

// A memory-mapped block of registers in the chip's MCU space.
class McuPeripheral {
  public:
    virtual ~McuPeripheral() = default;
    virtual bool claims(uint32_t address) const = 0;
    virtual uint32_t read_word(uint32_t address) = 0;
    virtual void write_word(uint32_t address, uint32_t value) = 0;
};

class Chip {
  public:
    explicit Chip(uint8_t device_type = 0x20);

    uint8_t device_type() const { return spi_[0]; }

    // SPI register space, one byte at a time as the bridge moves it.
    uint8_t spi_read(uint8_t address);
    void spi_write(uint8_t address, uint8_t value);

    // MCU space, one little-endian word at a time; address is word aligned.
    uint32_t mcu_read(uint32_t address);
    void mcu_write(uint32_t address, uint32_t value);

    // Multi-byte accesses as one bridge packet carries them. SPI space: one byte per address,
    // the address advancing except where the chip has a port that streams through one address.
    // MCU space: whole little-endian words; count is a multiple of 4.
    void spi_write_block(uint8_t address, std::span<const uint8_t> data);
    void spi_read_block(uint8_t address, std::span<uint8_t> out);
    void mcu_write_block(uint32_t address, std::span<const uint8_t> data);
    void mcu_read_block(uint32_t address, std::span<uint8_t> out);

    // The chip does not own its peripherals; they must outlive it.
    void attach(McuPeripheral &peripheral) { peripherals_.push_back(&peripheral); }

    // Direct views for tests; no side effects.
    uint8_t peek_spi(uint8_t address) const { return spi_[address]; }
    uint32_t peek_mcu(uint32_t address) const;
    void poke_spi(uint8_t address, uint8_t value) { spi_[address] = value; }
    void poke_mcu(uint32_t address, uint32_t value) { mem_[address & ~3u] = value; }

  private:
    McuPeripheral *owner_of(uint32_t address) const;

    uint8_t spi_[256] = {};
    std::unordered_map<uint32_t, uint32_t> mem_;
    std::vector<McuPeripheral *> peripherals_;
};

} // namespace zsim
