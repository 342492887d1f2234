#include "board.h"

#include <algorithm>

namespace zsim {

Board::Board(const BoardOptions &options)
    : options_(options), chip_(options.device_type, options.chip.secured), flash_(options.flash),
      time_(options.real_time), bridge_(chip_, flash_) {
    attach_peripherals();
    firmware_.keeps_mbout = options.chip.mbout_stuck;
    if (options.chip.boot_silent) boot_loader_.fault = BootLoader::Fault::silent;
    if (options.chip.boot_refuses) boot_loader_.fault = BootLoader::Fault::refuses;
    matches_.set_period(std::chrono::milliseconds(options.chip.match_every_ms));
    bridge_.drop_answer_at(options.link.drop_answer);
    bridge_.shorten_answer_at(options.link.short_answer);
}

void Board::attach_peripherals() {
    chip_.attach(mspi_);
    chip_.attach(clock_);
    chip_.attach(firmware_);
    chip_.attach(core_);
    chip_.attach(tank_);
    chip_.attach(features_);
    chip_.attach(gpio_);
    firmware_.serial().attach(i2c_device_);
    firmware_.on_start = [this] { restart_producers(); };
    // Modelled: the chip's reset also resets its MSPI controller, whose chip select then rises
    // and ends whatever command a killed run left the flash in.
    core_.on_reset = [this] { mspi_.reset(); };
    chip_.before_host_access = [this] { catch_up(); };
}

// Only the last ring's worth of matches can still be seen when the host looks; the earlier ones
// only move the schedule on.
void Board::catch_up() {
    now_ = std::max(now_, time_.now());
    uint64_t due = matches_.due_by(now_);
    if (due > Firmware::match_ring_entries) {
        matches_.pass_over(due - Firmware::match_ring_entries);
        due = Firmware::match_ring_entries;
    }
    for (; due > 0; --due) {
        tank_.run_until(matches_.next_time());
        matches_.make(tank_.position());
    }
    tank_.run_until(now_);
    sensor_ring_.run_until(now_);
    features_.run_until(now_);
}

std::optional<SimClock::Duration> Board::until_next_match() const {
    if (!matches_.scheduled()) return std::nullopt;
    return std::max(matches_.next_time() - time_.now(), SimClock::Duration::zero());
}

void Board::restart_producers() {
    tank_.restart(now_);
    matches_.restart(now_);
    sensor_ring_.restart(now_);
}

} // namespace zsim
