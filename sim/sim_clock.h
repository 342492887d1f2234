// The board's time, which drives what the chip produces on its own: tank and sensor samples,
// network features and matches. Those models are brought up to the present only when the host
// looks (the chip's before_host_access), never by a thread of their own.
//
// Two sources, chosen when the board is made:
// - manual (the default): time stands still until advance() moves it, so a test sees exactly the
//   samples and matches it asked for;
// - real: time since the board was made, from the monotonic clock; the daemon and the in-process
//   "sim" port use it, so a host that waits sees matches arrive. advance() adds to it as well.
#pragma once

#include <chrono>

namespace zsim {

class SimClock {
  public:
    using Duration = std::chrono::nanoseconds;

    explicit SimClock(bool real_time)
        : real_time_(real_time), start_(std::chrono::steady_clock::now()) {}

    Duration now() const {
        const Duration passed = real_time_ ? std::chrono::steady_clock::now() - start_ : Duration{};
        return passed + advanced_;
    }
    void advance(Duration d) { advanced_ += d; }
    bool real_time() const { return real_time_; }

  private:
    bool real_time_;
    std::chrono::steady_clock::time_point start_;
    Duration advanced_{};
};

} // namespace zsim
