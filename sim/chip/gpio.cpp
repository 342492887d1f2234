#include "chip/gpio.h"

namespace zsim {

namespace {
uint8_t mask_of(uint32_t masked_window_address) {
    return static_cast<uint8_t>((masked_window_address - Gpio::masked_address) >> 2);
}
} // namespace

bool Gpio::claims(uint32_t address) const {
    return address == values_address || address == enable_address ||
           address == enable_clear_address || (address >= masked_address && address < masked_end);
}

uint8_t Gpio::pins() const {
    const bool inputs_on = (chip_.peek_mcu(chip_control_address) & input_enable) != 0;
    const uint8_t undriven = static_cast<uint8_t>(~enables_);
    return static_cast<uint8_t>((latch_ & enables_) | (inputs_on ? external & undriven : 0));
}

uint32_t Gpio::read_word(uint32_t address) {
    if (address == values_address) return pins();
    if (address == enable_address || address == enable_clear_address) return enables_;
    return pins() & mask_of(address);
}

void Gpio::write_word(uint32_t address, uint32_t value) {
    const auto bits = static_cast<uint8_t>(value);
    if (address == enable_address) {
        enables_ |= bits;
    } else if (address == enable_clear_address) {
        enables_ &= static_cast<uint8_t>(~bits);
    } else if (address != values_address) {
        const uint8_t mask = mask_of(address);
        latch_ = static_cast<uint8_t>((latch_ & ~mask) | (bits & mask));
    }
}

} // namespace zsim
