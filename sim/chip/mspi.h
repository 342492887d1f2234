// The chip's master-SPI port: three MCU-space registers that move up to four bytes per transfer
// between the chip and the SPI NOR flash.
#pragma once

#include <cstdint>

#include "chip/chip.h"
#include "devices/spi_flash.h"

namespace zsim {

class Mspi : public McuPeripheral {
  public:
    static constexpr uint32_t control_address = 0x40009014;
    static constexpr uint32_t transmit_address = 0x40009018;
    static constexpr uint32_t receive_address = 0x4000901C;

    // Control word: bits 1:0 mode, bits 3:2 transfer length minus one, bit 8 port enable.
    static constexpr uint32_t mode_idle = 0;     // chip select high: the flash acts
    static constexpr uint32_t mode_enable = 1;   // chip select low: a transaction opens
    static constexpr uint32_t mode_transfer = 2; // shift the transmit word out
    static constexpr uint32_t mode_update = 3;   // hold the transaction for the next word
    static constexpr uint32_t port_enable = 0x100;

    explicit Mspi(SpiFlash &flash) : flash_(flash) {}

    bool claims(uint32_t address) const override;
    uint32_t read_word(uint32_t address) override;
    void write_word(uint32_t address, uint32_t value) override;

    // The chip's reset: the registers return to 0 and chip select goes high, which ends any
    // command the flash was in. Modelled: the flash hears the reset only as that rising chip
    // select, so a command it acts on when deselected (a program or erase) still takes effect.
    void reset();

    bool selected() const { return selected_; }
    // Transfers and control writes that did not make sense: a transfer with chip select high,
    // or a control write without the port enable bit.
    unsigned misuse() const { return misuse_; }
    unsigned transfers() const { return transfers_; }

  private:
    void control(uint32_t value);
    void transfer(unsigned bytes);
    void set_select(bool on);

    SpiFlash &flash_;
    uint32_t control_ = 0;
    uint32_t transmit_ = 0;
    uint32_t receive_ = 0;
    bool selected_ = false;
    unsigned misuse_ = 0;
    unsigned transfers_ = 0;
};

} // namespace zsim
