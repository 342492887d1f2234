// The real-time clock behind the interval timers.
#include <ctime>

#include "io_internal.h"

bool read_realtime_clock(zelp_linux_io_timer_t &out) {
    timespec now{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
    out.tv_sec = now.tv_sec;
    out.tv_nsec = static_cast<int32_t>(now.tv_nsec);
    return true;
}
