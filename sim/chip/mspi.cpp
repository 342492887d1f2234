#include "chip/mspi.h"

namespace zsim {

bool Mspi::claims(uint32_t address) const {
    return address == control_address || address == transmit_address || address == receive_address;
}

uint32_t Mspi::read_word(uint32_t address) {
    if (address == control_address) return control_;
    if (address == transmit_address) return transmit_;
    return receive_;
}

void Mspi::write_word(uint32_t address, uint32_t value) {
    if (address == control_address)
        control(value);
    else if (address == transmit_address)
        transmit_ = value;
    // The receive register is read-only.
}

void Mspi::reset() {
    control_ = 0;
    transmit_ = 0;
    receive_ = 0;
    set_select(false);
}

void Mspi::set_select(bool on) {
    if (on == selected_) return;
    selected_ = on;
    if (on)
        flash_.select();
    else
        flash_.deselect();
}

void Mspi::control(uint32_t value) {
    control_ = value;
    // Without its enable bit the port is off, which also ends any transaction.
    if ((value & port_enable) == 0) {
        ++misuse_;
        set_select(false);
        return;
    }
    switch (value & 3u) {
    case mode_idle:
        set_select(false);
        break;
    case mode_enable:
        set_select(true);
        break;
    case mode_transfer:
        transfer(((value >> 2) & 3u) + 1);
        break;
    default: // update: the transaction stays open while the next word is loaded
        break;
    }
}

// The low `bytes` bytes of the transmit word go out most significant first; the bytes clocked
// in land in the receive word first byte lowest.
void Mspi::transfer(unsigned bytes) {
    ++transfers_;
    if (!selected_) ++misuse_;
    uint32_t in = 0;
    for (unsigned k = 0; k < bytes; ++k) {
        const auto out = static_cast<uint8_t>(transmit_ >> (8 * (bytes - 1 - k)));
        const uint8_t b = selected_ ? flash_.exchange(out) : 0xFF;
        in |= uint32_t{b} << (8 * k);
    }
    receive_ = in;
}

} // namespace zsim
