// Milliseconds since a moment, as the flash steps and the busy wait count them: a monotonic
// clock, rounded to the nearest millisecond, so a clock set back during a run cannot make a
// step take negative time.
#pragma once

#include <chrono>

namespace zflash {

class stopwatch {
  public:
    stopwatch() : start_(std::chrono::steady_clock::now()) {}
    int elapsed_ms() const {
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start_)
                            .count();
        return static_cast<int>((us + 500) / 1000);
    }

  private:
    std::chrono::steady_clock::time_point start_;
};

} // namespace zflash
