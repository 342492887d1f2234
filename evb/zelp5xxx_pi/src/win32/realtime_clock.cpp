// The real-time clock behind the interval timers: the system time, as seconds and nanoseconds
// since 1970 like the POSIX clock, so the timers round the same on every system.
#include <windows.h>

#include "io_internal.h"

namespace {
// FILETIME counts 100 ns ticks since 1601-01-01.
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
} // namespace

bool read_realtime_clock(zelp_linux_io_timer_t &out) {
    FILETIME ft{};
    GetSystemTimePreciseAsFileTime(&ft);
    const int64_t ticks =
        static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    out.tv_sec = ticks / kTicksPerSecond - kSecondsFrom1601To1970;
    out.tv_nsec = static_cast<int32_t>(ticks % kTicksPerSecond * 100);
    return true;
}
