// Interval timers over the real-time clock, which the backend reads, and the I2C clock setter
// the bridge has no use for. The timers belong to no handle: their lines are always printed.
#include "io_internal.h"
#include "zelp_linux_io.h"

unsigned int timer_elapsed_us(const zelp_linux_io_timer_t &start, zelp_linux_io_timer_t now) {
    if (now.tv_nsec < start.tv_nsec) {
        now.tv_nsec += 1000000000;
        now.tv_sec -= 1;
    }
    // Nearest microsecond, halves up.
    const auto micros = static_cast<unsigned int>((now.tv_nsec - start.tv_nsec + 500) / 1000);
    const auto seconds = static_cast<unsigned int>(now.tv_sec - start.tv_sec);
    if (seconds > 1000)
        zio::Reporter{}.error_out("seconds place of delta time unexpectedly large: " +
                                  std::to_string(static_cast<int>(seconds)));
    return seconds * 1000000u + micros;
}

extern "C" {

void zelp_linux_io_timer_start(zelp_linux_io_timer_t *timer) {
    if (!timer) return;
    if (!read_realtime_clock(*timer)) zio::Reporter{}.system_error("error reading start time");
}

unsigned int zelp_linux_io_timer_read(zelp_linux_io_timer_t *timer) {
    zelp_linux_io_timer_t now{};
    if (!timer) return 0;
    if (!read_realtime_clock(now)) {
        zio::Reporter{}.system_error("error reading end time");
        return 0;
    }
    return timer_elapsed_us(*timer, now);
}

unsigned int zelp_linux_io_timer_read_sec(zelp_linux_io_timer_t *timer) {
    zelp_linux_io_timer_t now{};
    if (!timer) return 0;
    if (!read_realtime_clock(now)) {
        zio::Reporter{}.system_error("error reading end time");
        return 0;
    }
    return static_cast<unsigned int>(now.tv_sec - timer->tv_sec);
}

int zelp5xxx_pi_i2c_clock_set(char *, int) {
    return 0;
}

} // extern "C"
