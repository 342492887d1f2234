// A device on the chip's I2C bus: 256 byte registers behind a register pointer, the usual layout
// of sensors. The first byte written after a start sets the pointer; each further byte written
// goes to the register the pointer names, and each byte read comes from it, the pointer then
// moving on by one (wrapping at 256). So a register reads back what was last written to it (0 until
// then), and a read without a pointer byte goes on from where the last access stopped.
#pragma once

#include <array>
#include <cstdint>

namespace zsim {

class I2cRegisterDevice {
  public:
    // The board's device: I2C address 0x19.
    static constexpr uint8_t board_address = 0x19;

    explicit I2cRegisterDevice(uint8_t address = board_address) : address_(address) {}

    uint8_t address() const { return address_; }

    // A start (or repeated start) addressed for writing: the next byte written is the pointer.
    void start_write() { pointer_next_ = true; }
    void write(uint8_t value);
    uint8_t read() { return registers_[pointer_++]; }

    // For tests; no side effects.
    uint8_t peek(uint8_t reg) const { return registers_[reg]; }

  private:
    uint8_t address_;
    std::array<uint8_t, 256> registers_{};
    uint8_t pointer_ = 0;
    bool pointer_next_ = false;
};

} // namespace zsim
