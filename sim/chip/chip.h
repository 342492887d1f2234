// Model of the zelp7x chip as the bridge sees it: a byte-wide SPI register space and the
// 32-bit MCU space. Peripherals (clock unit, MSPI, ...) claim parts of the MCU space; every
// other word is plain read-back memory.
//
// SPI registers with behaviour: intsts (0x02) clears the bits written to it; writing maddr
// (0x40-0x43) makes mdata (0x44-0x47) the MCU word at that address; indata (0x20) streams, a
// block written to it stays at that one address. mbin_resp (0x31) and mbout (0x32) belong to the
// chip side: the host cannot write them, a firmware or boot loader model posts them with
// chip_post(), which also raises the matching intsts bit. Such models hear the host's accesses
// through the on_host_* hooks. The network sets match (0x10) the same way.
//
// Every host access (one bridge packet, or one single-register call) first lets the board bring
// whatever the chip produces on its own up to the present (before_host_access): the chip's time
// only matters when the host looks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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
    // SPI register addresses the model gives behaviour to.
    static constexpr uint8_t INTSTS = 0x02;
    static constexpr uint8_t INTCTL = 0x03;
    static constexpr uint8_t CTL = 0x04;
    static constexpr uint8_t CTL2 = 0x05;
    static constexpr uint8_t MATCH = 0x10;
    static constexpr uint8_t INDATA = 0x20;
    static constexpr uint8_t MBIN = 0x30;
    static constexpr uint8_t MBIN_RESP = 0x31;
    static constexpr uint8_t MBOUT = 0x32;
    static constexpr uint8_t MBOUT_RESP = 0x33;
    static constexpr uint8_t MADDR = 0x40;
    static constexpr uint8_t MDATA = 0x44;

    static constexpr uint8_t INTSTS_MATCH = 0x01;
    static constexpr uint8_t INTSTS_MAILBOX_IN = 0x02;
    static constexpr uint8_t INTSTS_MAILBOX_OUT = 0x04;
    // intsts has a cause and intctl an enable bit for it in each of bits 0 to 6.
    static constexpr uint8_t INTERRUPT_CAUSES = 0x7F;

    // First boot ROM word of a chip that boots open (the boot ROM's initial stack pointer); a
    // secured chip reads 0 there.
    static constexpr uint32_t BOOT_ROM_WORD = 0x20018000;

    explicit Chip(uint8_t device_type = 0x20, bool secured = false);

    uint8_t device_type() const { return spi_[0]; }
    // The raised causes that are enabled; the chip's interrupt line is high while any is.
    uint8_t raised_interrupts() const {
        return static_cast<uint8_t>(spi_[INTSTS] & spi_[INTCTL] & INTERRUPT_CAUSES);
    }
    bool secured() const { return secured_; }

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
    // The chip side's block write into MCU space: whole words, no host hooks.
    void chip_write_block(uint32_t address, std::span<const uint8_t> data);

    // The chip does not own its peripherals; they must outlive it.
    void attach(McuPeripheral &peripheral) { peripherals_.push_back(&peripheral); }

    // Chip side of the mailboxes and the match byte: the firmware, boot loader or network writes
    // mbin_resp, mbout or match and the chip raises the matching interrupt cause.
    void chip_post(uint8_t address, uint8_t value);
    // Called after every host write to an SPI register has taken effect.
    std::function<void(uint8_t address, uint8_t value)> on_host_write;
    // Called before a host read of an SPI register takes its value.
    std::function<void(uint8_t address)> on_host_read;
    // Called once at the start of each host access, before it has any effect; accesses the chip
    // side makes while one runs (or while this hook runs) do not call it again.
    std::function<void()> before_host_access;
    // Called after a host block write into MCU space has taken effect. The block accesses are
    // the host's path (one bridge packet each); chip-side models use the word accesses, so they
    // do not hear themselves.
    std::function<void(uint32_t address, size_t count)> on_host_mcu_write;

    // Everything the host streamed into indata, in order.
    const std::vector<uint8_t> &indata() const { return indata_; }
    // MCU words fetched through the slow-read window.
    int slow_reads() const { return slow_reads_; }

    // Direct views for tests; no side effects.
    uint8_t peek_spi(uint8_t address) const { return spi_[address]; }
    uint32_t peek_mcu(uint32_t address) const;
    void poke_spi(uint8_t address, uint8_t value) { spi_[address] = value; }
    void poke_mcu(uint32_t address, uint32_t value) { mem_[address & ~3u] = value; }

  private:
    // Brackets one host access; only the outermost calls before_host_access.
    class HostAccess {
      public:
        explicit HostAccess(Chip &chip);
        ~HostAccess() { --chip_.host_depth_; }
        HostAccess(const HostAccess &) = delete;
        HostAccess &operator=(const HostAccess &) = delete;

      private:
        Chip &chip_;
    };

    uint8_t read_host_byte(uint8_t address);
    McuPeripheral *owner_of(uint32_t address) const;
    // Stores a host write; returns false for registers only the chip side writes.
    bool store_host_byte(uint8_t address, uint8_t value);
    void fetch_slow_read_word();
    static bool in_maddr(uint8_t address) { return address >= MADDR && address < MDATA; }

    uint8_t spi_[256] = {};
    bool secured_ = false;
    int slow_reads_ = 0;
    int host_depth_ = 0;
    std::vector<uint8_t> indata_;
    std::unordered_map<uint32_t, uint32_t> mem_;
    std::vector<McuPeripheral *> peripherals_;
};

} // namespace zsim
