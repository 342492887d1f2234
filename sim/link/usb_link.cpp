#include "link/usb_link.h"

#include <algorithm>

#include "board.h"

namespace zsim {

UsbLink::UsbLink(Board &board) : board_(board), options_(board.options().link) {}

UsbLink::Clock::duration UsbLink::transit(size_t bytes) const {
    if (options_.rate == 0) return Clock::duration::zero();
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(uint64_t{bytes} * 1000000000u / options_.rate));
}

// The bridge parses its input byte by byte, so feeding it one byte at a time gives every answer
// the arrival time of the byte that completed its request.
void UsbLink::send_to_bridge(std::span<const uint8_t> bytes, Clock::time_point now) {
    counts_.to_bridge += bytes.size();
    const Clock::time_point start = std::max(now, to_bridge_free_);
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::vector<uint8_t> answer = board_.receive(bytes.subspan(i, 1));
        if (!answer.empty()) queue_answer(std::move(answer), start + transit(i + 1));
    }
    to_bridge_free_ = start + transit(bytes.size());
}

void UsbLink::queue_answer(std::vector<uint8_t> bytes, Clock::time_point request_arrived) {
    const Clock::time_point leaves =
        request_arrived + std::chrono::microseconds(options_.latency_us);
    const Clock::time_point arrives = std::max(leaves, to_host_free_) + transit(bytes.size());
    to_host_free_ = arrives;
    counts_.to_host += bytes.size();
    ++counts_.answers;
    on_the_way_.push_back({arrives, std::move(bytes)});
}

std::vector<uint8_t> UsbLink::take_arrived(Clock::time_point now) {
    std::vector<uint8_t> out;
    while (!on_the_way_.empty() && on_the_way_.front().arrives <= now) {
        const std::vector<uint8_t> &bytes = on_the_way_.front().bytes;
        out.insert(out.end(), bytes.begin(), bytes.end());
        on_the_way_.pop_front();
    }
    return out;
}

std::optional<UsbLink::Clock::time_point> UsbLink::next_arrival() const {
    if (on_the_way_.empty()) return std::nullopt;
    return on_the_way_.front().arrives;
}

void UsbLink::reset() {
    board_.bridge().reset_link();
    on_the_way_.clear();
    to_bridge_free_ = to_host_free_ = {};
}

} // namespace zsim
