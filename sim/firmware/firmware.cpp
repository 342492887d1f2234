#include "firmware/firmware.h"

#include <algorithm>
#include <array>

namespace zsim {

namespace {
// The open windows a secured firmware grants the host (addrprotlo0/hi0, addrprotlo1/hi1).
constexpr uint32_t addrprot_address = 0x40009034;
constexpr uint32_t open_ram_end = 0x20018000;

// Word 0 the state block, words 5 and 6 the tank; the host reads no other word.
constexpr std::array<uint32_t, Firmware::pointer_table_words> pointer_table = {
    Firmware::state_address, 0, 0, 0, 0, Firmware::tank_start, Firmware::tank_end, 0};
} // namespace

// A NOP runs whatever waits in the secure memory access block and the serial record; their
// outcome is in their own status fields, so the NOP itself succeeds. SER runs the serial record
// alone and fails when no request waits there (modelled).
Firmware::Firmware(Chip &chip)
    : chip_(chip), mailbox_(chip, {.nop =
                                       [this] {
                                           secure_access_.service();
                                           serial_.service();
                                           return true;
                                       },
                                   .serial = [this] { return serial_.service(); },
                                   .pointer_table = pointer_table_address}) {}

bool Firmware::claims(uint32_t address) const {
    return address >= ram_address && address - ram_address < ram_size;
}

// A real image carries its pointer table at 0xC0; the model serves it while the firmware runs
// and keeps the image's own bytes there untouched.
uint32_t Firmware::read_word(uint32_t address) {
    const uint32_t offset = address - ram_address;
    if (running_ && address >= pointer_table_address &&
        address < pointer_table_address + 4 * pointer_table_words)
        return pointer_table[(address - pointer_table_address) / 4];
    return uint32_t(ram_[offset]) | uint32_t(ram_[offset + 1]) << 8 |
           uint32_t(ram_[offset + 2]) << 16 | uint32_t(ram_[offset + 3]) << 24;
}

// A secured chip keeps the host out of the firmware RAM; only its boot loader fills it.
void Firmware::write_word(uint32_t address, uint32_t value) {
    if (chip_.secured()) return;
    const uint32_t offset = address - ram_address;
    for (uint32_t k = 0; k < 4; ++k) ram_[offset + k] = static_cast<uint8_t>(value >> (8 * k));
    image_size_ = std::max<size_t>(image_size_, offset + 4);
}

void Firmware::install(std::span<const uint8_t> image) {
    const size_t n = std::min(image.size(), ram_.size());
    std::copy_n(image.begin(), n, ram_.begin());
    image_size_ = n;
}

void Firmware::start() {
    running_ = true;
    clear_state_block();
    if (chip_.secured()) open_windows();
    secure_access_.reset();
    serial_.reset();
    mailbox_.start();
    if (!keeps_mbout) chip_.chip_post(Chip::MBOUT, 0); // the sign the host waits for
    if (on_start) on_start();
}

void Firmware::clear_state_block() {
    for (uint32_t offset = 0; offset < state_size; offset += 4)
        chip_.mcu_write(state_address + offset, 0);
    chip_.mcu_write(state_address + match_ring_size_offset, match_ring_entries);
}

// Modelled windows: the host configuration area with the open RAM, and the tank.
void Firmware::open_windows() {
    chip_.mcu_write(addrprot_address, host_config_address);
    chip_.mcu_write(addrprot_address + 4, open_ram_end);
    chip_.mcu_write(addrprot_address + 8, tank_start);
    chip_.mcu_write(addrprot_address + 12, tank_end);
}

} // namespace zsim
