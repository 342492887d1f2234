// The chip's microcontroller core, as far as the host steers what it runs:
// - ctl (SPI 0x04) bit 0 holds the core in reset while clear; setting it starts the boot ROM,
//   whose loader announces itself (the host's reset writes 0x0A, then 0x03). Modelled as a real
//   reset acts: clearing the bit stops a running firmware at once, so it no longer answers the
//   mailbox or fills its state block, while its image stays in the firmware RAM (the pointer
//   table there is then the image's own bytes) until a load replaces it;
// - clkctl0 (0x40009004) bit 22 gates the core's clock: clearing it halts whatever runs, and
//   setting it again while the core is out of reset starts the firmware RAM (the host's firmware
//   start sequence). The register otherwise reads back what was written.
// - When the boot loader has answered that the package is complete, it jumps to the firmware it
//   loaded. Modelled: it does so once the host has taken that answer, at the host's next access to
//   any SPI register other than a read of mbin_resp, so the firmware's first mailbox state never
//   overwrites the answer before the host has seen it.
// The core passes the host's mbin writes to the boot loader or the firmware, whichever runs.
#pragma once

#include <cstdint>
#include <functional>

#include "chip/boot_loader.h"
#include "chip/chip.h"
#include "firmware/firmware.h"

namespace zsim {

class McuCore : public McuPeripheral {
  public:
    static constexpr uint32_t clkctl0_address = 0x40009004;
    static constexpr uint32_t core_clock = 1u << 22;
    static constexpr uint8_t ctl_run = 0x01;

    enum class Runs { nothing, boot_loader, firmware };

    // Installs the chip's host hooks.
    McuCore(Chip &chip, BootLoader &boot_loader, Firmware &firmware);

    bool claims(uint32_t address) const override { return address == clkctl0_address; }
    uint32_t read_word(uint32_t) override { return clkctl0_; }
    void write_word(uint32_t address, uint32_t value) override;

    Runs runs() const { return runs_; }

    // Called when the host puts a running core into reset (ctl bit 0 cleared), for the chip's
    // other blocks that the same reset line clears.
    std::function<void()> on_reset;

  private:
    void on_host_write(uint8_t address, uint8_t value);
    void on_host_read(uint8_t address);
    void hand_over_if_loaded();
    void run(Runs what);

    BootLoader &boot_loader_;
    Firmware &firmware_;
    uint32_t clkctl0_ = 0;
    bool out_of_reset_ = false; // ctl bit 0 as last written
    bool halted_ = false;       // the host cleared the core clock
    Runs runs_ = Runs::nothing;
};

} // namespace zsim
