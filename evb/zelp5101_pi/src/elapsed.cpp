#include "elapsed.h"

#include <algorithm>
#include <climits>

timeval tv_sub(const timeval &end, const timeval &start) {
    timeval td{};
    td.tv_sec = end.tv_sec - start.tv_sec;
    td.tv_usec = end.tv_usec - start.tv_usec;
    if (td.tv_usec < 0) {
        td.tv_usec += 1000000;
        td.tv_sec -= 1;
    }
    return td;
}

int run_ms(const timeval &td) {
    return static_cast<int>(td.tv_sec * 1000 + (td.tv_usec + 500) / 1000);
}

int bit_rate(int64_t bytes, int ms) {
    // A clock stepped back gives no time to divide by.
    if (ms <= 0) return 0;
    // 16 MiB moved within a millisecond (a simulated board) is beyond an int: show the largest
    // rate rather than a wrapped, negative one.
    return static_cast<int>(std::min<int64_t>(bytes * 8000 / ms, INT_MAX));
}

timeval time_now() {
    timeval now{};
    gettimeofday(&now, nullptr);
    return now;
}
