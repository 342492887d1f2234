#include "sim/board.h"

namespace zsim {

Board::Board(const BoardOptions &options)
    : options_(options), chip_(options.device_type, options.chip.secured), flash_(options.flash),
      bridge_(chip_, flash_) {
    attach_peripherals();
    firmware_.keeps_mbout = options.chip.mbout_stuck;
    if (options.chip.boot_silent) boot_loader_.fault = BootLoader::Fault::silent;
    if (options.chip.boot_refuses) boot_loader_.fault = BootLoader::Fault::refuses;
}

void Board::attach_peripherals() {
    chip_.attach(mspi_);
    chip_.attach(clock_);
    chip_.attach(firmware_);
    chip_.attach(core_);
}

} // namespace zsim
