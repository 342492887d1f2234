#include "support/chip/chip_programs.h"

namespace ztest {

namespace {
constexpr uint32_t SMAP = 0x20017C00, SMAP_DATA = SMAP + 8;
constexpr uint32_t RUN = 0x1, STATUS_SHIFT = 3;
constexpr uint8_t LOAD_REQUEST = 0x89, H2M_OWNER = 0x08;
} // namespace

ChipPrograms::ChipPrograms(zsim::Chip &chip, Start start)
    : chip_(chip), booting_(start == Start::boot_loader) {
    if (booting_) chip.chip_post(zsim::Chip::MBOUT, 0x80 | 17);
    chip.on_host_write = [this](uint8_t address, uint8_t value) {
        if (address != zsim::Chip::MBIN) return;
        if (booting_)
            boot_request(value);
        else
            firmware_request(value);
        mbin_ = value;
    };
}

void ChipPrograms::boot_request(uint8_t mbin) {
    if (mbin == LOAD_REQUEST) {
        loading_ = true;
        chip_.chip_post(zsim::Chip::MBIN_RESP, 0x81);
        return;
    }
    if (!loading_) return; // the host's reset clearing mbin is no request
    std::vector<uint8_t> window(1024);
    chip_.mcu_read_block(SMAP, window);
    windows.push_back(window);
    const uint8_t answer = bursts < answers.size() ? answers[bursts] : 0;
    ++bursts;
    chip_.chip_post(zsim::Chip::MBIN_RESP, static_cast<uint8_t>((mbin & 0x80) | answer));
    if (answer != 0) return;
    booting_ = false; // the image runs and clears mbout
    chip_.chip_post(zsim::Chip::MBOUT, 0);
}

// Only a NOP request (the h2m owner bit flipped, code 0) runs the block's operation.
void ChipPrograms::firmware_request(uint8_t mbin) {
    if (((mbin ^ mbin_) & H2M_OWNER) == 0 || (mbin & 0x07) != 0) return;
    const uint32_t control = chip_.mcu_read(SMAP);
    if ((control & RUN) == 0) return;
    const uint32_t op = (control >> 1) & 3, count = (control >> 16) & 0x3FF;
    const uint32_t address = chip_.mcu_read(SMAP + 4);
    uint32_t status = 0;
    for (uint32_t i = 0; i < count; i += 4) {
        if (op == 0) chip_.mcu_write(SMAP_DATA + i, chip_.mcu_read(address + i));
        if (op == 1) chip_.mcu_write(address + i, chip_.mcu_read(SMAP_DATA + i));
    }
    if (op == 2) {
        load_counts.push_back(count);
        std::vector<uint8_t> data((count + 3) & ~3u);
        chip_.mcu_read_block(SMAP_DATA, data);
        loaded.insert(loaded.end(), data.begin(), data.begin() + count);
        status = load_status;
    }
    chip_.poke_mcu(SMAP, status << STATUS_SHIFT);
}

} // namespace ztest
