// Minimal flash store; the command set comes with the MSPI model.
#include "sim/spi_flash.h"

#include <algorithm>

namespace zsim {

SpiFlash::SpiFlash(FlashConfig config) : config_(std::move(config)), cells_(config_.size, 0xFF) {}
SpiFlash::~SpiFlash() = default;

void SpiFlash::select() {
    selected_ = true;
}
uint8_t SpiFlash::exchange(uint8_t) {
    return 0xFF;
}
void SpiFlash::deselect() {
    selected_ = false;
}
bool SpiFlash::busy() const {
    return false;
}
void SpiFlash::save() const {}

void SpiFlash::bridge_start_of_file(uint32_t) {}

void SpiFlash::bridge_read(uint32_t address, std::span<uint8_t> out) {
    for (size_t i = 0; i < out.size(); ++i) out[i] = cells_[(address + i) % cells_.size()];
}

void SpiFlash::bridge_write(uint32_t address, std::span<const uint8_t> data) {
    for (size_t i = 0; i < data.size(); ++i) cells_[(address + i) % cells_.size()] &= data[i];
}

} // namespace zsim
