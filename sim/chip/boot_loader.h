// The boot ROM's loader. When the core comes out of reset it announces itself on mbout with
// BOOTING (0x91: owner bit and request 17) and waits on mbin. The host asks with a request code in
// bits 0-6 and a flip of bit 7; the loader answers in mbin_resp with bit 7 set to the request's
// owner bit:
//   LOAD (9)   -> 1: ready; a package stream starts
//   BURST (1)  -> 1: more; 0: the package is complete and checked; 0x20 | e: error
//   other      -> 0x20 (plain failure)
// Each burst hands over what the host wrote into the open RAM (0x20017C00, 1024 bytes) since the
// last one. A burst carries no byte count, so the model takes the extent of the host's writes into
// the open RAM since the last burst as the window's fill: a modelled choice.
// After a failure the loader answers every request with the same error until the next reset.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "chip/boot_package.h"
#include "chip/chip.h"

namespace zsim {

class BootLoader {
  public:
    static constexpr uint8_t BOOTING = 17, LOAD = 9, BURST = 1;
    static constexpr uint8_t DONE = 0, MORE = 1, ERROR = 0x20;
    static constexpr uint8_t OWNER = 0x80;
    static constexpr uint32_t window_address = 0x20017C00;
    static constexpr uint32_t window_size = 1024;

    enum class Fault {
        none,
        silent,  // announces itself but never answers
        refuses, // answers a complete, correct package with a plain failure
    };

    BootLoader(Chip &chip, size_t max_image) : chip_(chip), max_image_(max_image) {}

    // The core runs the boot ROM: announce and wait for the host.
    void boot();
    // The host wrote mbin while the loader runs.
    void on_mbin(uint8_t value);
    // The host wrote `count` bytes at `address` in MCU space.
    void on_host_mcu_write(uint32_t address, size_t count);

    // The package is complete and checked: the loader hands the image to the firmware.
    bool complete() const { return done_; }
    const std::vector<uint8_t> &image() const { return package_->image(); }
    // Every byte the bursts took since the last LOAD, in order (the first 16 MiB).
    const std::vector<uint8_t> &streamed() const { return streamed_; }
    unsigned bursts() const { return bursts_; }

    Fault fault = Fault::none;

  private:
    uint8_t take_request(uint8_t request);
    uint8_t take_burst();

    Chip &chip_;
    size_t max_image_;
    uint8_t seen_ = 0;       // mbin as last taken
    uint8_t failure_ = 0;    // nonzero: the sticky error answer
    bool done_ = false;      // answered DONE
    size_t window_fill_ = 0; // extent of the host's writes into the window since the last burst
    std::optional<BootPackage> package_; // from the first LOAD on
    std::vector<uint8_t> streamed_;
    unsigned bursts_ = 0;
};

} // namespace zsim
