#include "sim/board.h"

namespace zsim {

Board::Board(const BoardOptions &options)
    : options_(options), chip_(options.device_type), flash_(options.flash), bridge_(chip_, flash_) {
    attach_peripherals();
}

void Board::attach_peripherals() {
    chip_.attach(mspi_);
    chip_.attach(clock_);
}

} // namespace zsim
