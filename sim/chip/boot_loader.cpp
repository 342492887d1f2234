#include "chip/boot_loader.h"

#include <algorithm>

namespace zsim {

namespace {
constexpr size_t streamed_limit = 16u << 20;
constexpr uint8_t PAYLOAD = 0x7F;
} // namespace

void BootLoader::boot() {
    seen_ = chip_.peek_spi(Chip::MBIN);
    failure_ = 0;
    done_ = false;
    window_fill_ = 0;
    package_.reset();
    streamed_.clear();
    bursts_ = 0;
    chip_.chip_post(Chip::MBOUT, OWNER | BOOTING);
}

void BootLoader::on_mbin(uint8_t value) {
    const bool request = ((value ^ seen_) & OWNER) != 0;
    seen_ = value;
    if (!request || fault == Fault::silent) return;
    const uint8_t answer = take_request(value & PAYLOAD);
    chip_.chip_post(Chip::MBIN_RESP, static_cast<uint8_t>((value & OWNER) | answer));
}

uint8_t BootLoader::take_request(uint8_t code) {
    if (failure_ != 0) return failure_;
    if (code == LOAD) {
        package_.emplace(max_image_);
        done_ = false;
        streamed_.clear();
        window_fill_ = 0;
        return MORE;
    }
    if (code == BURST && package_) return take_burst();
    return ERROR; // an unknown request, or a burst before LOAD
}

uint8_t BootLoader::take_burst() {
    ++bursts_;
    std::vector<uint8_t> window(window_fill_);
    chip_.mcu_read_block(window_address, window);
    window_fill_ = 0;
    const size_t keep =
        std::min(window.size(), streamed_limit - std::min(streamed_limit, streamed_.size()));
    streamed_.insert(streamed_.end(), window.begin(),
                     window.begin() + static_cast<std::ptrdiff_t>(keep));
    switch (package_->take(window)) {
    case BootPackage::State::reading:
        return MORE;
    case BootPackage::State::failed:
        failure_ = static_cast<uint8_t>(ERROR | package_->error());
        return failure_;
    case BootPackage::State::complete:
        break;
    }
    if (fault == Fault::refuses) {
        failure_ = ERROR;
        return failure_;
    }
    done_ = true;
    return DONE;
}

void BootLoader::on_host_mcu_write(uint32_t address, size_t count) {
    if (!package_ || address < window_address || address - window_address >= window_size) return;
    const size_t end = std::min<size_t>(address - window_address + count, window_size);
    window_fill_ = std::max(window_fill_, end);
}

} // namespace zsim
