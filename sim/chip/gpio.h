// The chip's eight general-purpose pins (bit n is pin n):
//   0x40011000                 pin values (read); writes have no effect
//   0x40011010                 output enables: a read gives them, a written 1 enables that output
//   0x40011014                 output enable clear: a written 1 disables that output; reads as
//                              the enables (modelled)
//   0x40011400 + (mask << 2)   masked data: a write changes the output latch only for the pins in
//                              the 8-bit mask; a read gives the pin values under the mask
//                              (modelled)
//   0x40009010 bit 10          input enable, in the chip control word (plain memory otherwise)
// A pin whose output is enabled reads its latch; any other pin reads its external level while the
// input enable is set, else 0. Modelled: nothing outside drives the pins, so their levels are 0
// unless a test sets `external`.
#pragma once

#include <cstdint>

#include "chip/chip.h"

namespace zsim {

class Gpio : public McuPeripheral {
  public:
    static constexpr uint32_t values_address = 0x40011000;
    static constexpr uint32_t enable_address = 0x40011010;
    static constexpr uint32_t enable_clear_address = 0x40011014;
    static constexpr uint32_t masked_address = 0x40011400;
    static constexpr uint32_t masked_end = masked_address + (0x100 << 2);
    static constexpr uint32_t chip_control_address = 0x40009010;
    static constexpr uint32_t input_enable = 1u << 10;

    // Reads the chip control word for the input enable.
    explicit Gpio(Chip &chip) : chip_(chip) {}

    bool claims(uint32_t address) const override;
    uint32_t read_word(uint32_t address) override;
    void write_word(uint32_t address, uint32_t value) override;

    uint8_t pins() const;

    // Levels outside drives on the pins.
    uint8_t external = 0;

  private:
    Chip &chip_;
    uint8_t enables_ = 0;
    uint8_t latch_ = 0;
};

} // namespace zsim
