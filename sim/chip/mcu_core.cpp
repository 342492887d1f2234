#include "chip/mcu_core.h"

namespace zsim {

McuCore::McuCore(Chip &chip, BootLoader &boot_loader, Firmware &firmware)
    : boot_loader_(boot_loader), firmware_(firmware) {
    chip.on_host_write = [this](uint8_t address, uint8_t value) { on_host_write(address, value); };
    chip.on_host_read = [this](uint8_t address) { on_host_read(address); };
    chip.on_host_mcu_write = [this](uint32_t address, size_t count) {
        if (runs_ == Runs::boot_loader) boot_loader_.on_host_mcu_write(address, count);
    };
}

void McuCore::write_word(uint32_t, uint32_t value) {
    clkctl0_ = value;
    if ((value & core_clock) == 0) {
        halted_ = true;
        run(Runs::nothing);
    } else if (halted_ && out_of_reset_) {
        halted_ = false;
        run(Runs::firmware);
    }
}

void McuCore::on_host_write(uint8_t address, uint8_t value) {
    hand_over_if_loaded();
    if (address == Chip::CTL) {
        const bool release = (value & ctl_run) != 0;
        if (!release) {
            run(Runs::nothing);
            if (out_of_reset_ && on_reset) on_reset();
        } else if (!out_of_reset_) {
            halted_ = false; // modelled: a reset also ends a halt
            run(Runs::boot_loader);
        }
        out_of_reset_ = release;
    }
    if (address != Chip::MBIN) return;
    if (runs_ == Runs::boot_loader)
        boot_loader_.on_mbin(value);
    else if (runs_ == Runs::firmware)
        firmware_.on_mbin(value);
}

void McuCore::on_host_read(uint8_t address) {
    if (address != Chip::MBIN_RESP) hand_over_if_loaded();
}

void McuCore::hand_over_if_loaded() {
    if (runs_ != Runs::boot_loader || !boot_loader_.complete()) return;
    firmware_.install(boot_loader_.image());
    run(Runs::firmware);
}

void McuCore::run(Runs what) {
    if (runs_ == Runs::firmware) firmware_.stop();
    runs_ = what;
    if (what == Runs::boot_loader) boot_loader_.boot();
    if (what == Runs::firmware) firmware_.start();
}

} // namespace zsim
