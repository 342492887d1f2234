// Elapsed time and bit rate of the tool's summary lines.
#pragma once

#include <cstdint>
#include <sys/time.h>

// end - start, field by field, borrowing a second when the microseconds go negative.
timeval tv_sub(const timeval &end, const timeval &start);

// An elapsed time rounded to the nearest millisecond.
int run_ms(const timeval &td);

// Bits per second for `bytes` moved in `ms` milliseconds; 0 when no time passed, and at most
// INT_MAX, the most a summary line's %d can show.
int bit_rate(int64_t bytes, int ms);

timeval time_now();

// Times one operation: construct before it, call elapsed_ms() after it.
class stopwatch {
  public:
    stopwatch() : start_(time_now()) {}
    int elapsed_ms() const { return run_ms(tv_sub(time_now(), start_)); }

  private:
    timeval start_;
};
