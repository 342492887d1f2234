#include "match_wait.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "host_commands.h"
#include "morvel-firmware/zelp7x_firmware.h"

namespace {

using clock_type = std::chrono::steady_clock;

// Short against the chip's default tank (64 ms of audio), so that the audio before a match is
// still there when the host learns of it; a bridge with an interrupt report wakes the host sooner.
constexpr auto poll_interval = std::chrono::milliseconds(2);

void print_match(std::FILE *report, uint32_t summary) {
    std::fprintf(report, "match: summary 0x%08x, snr %u, confidence %u, noise %u\n", summary,
                 (summary & ZELP7X_MATCH_SNR_MASK) >> ZELP7X_MATCH_SNR_SHIFT,
                 (summary & ZELP7X_MATCH_CONFIDENCE_MASK) >> ZELP7X_MATCH_CONFIDENCE_SHIFT,
                 (summary & ZELP7X_MATCH_NOISE_THRESHOLD_MASK) >>
                     ZELP7X_MATCH_NOISE_THRESHOLD_SHIFT);
}

// The firmware reports matches through the mailbox; a chip without firmware raises the match
// cause. Causes already enabled stay so.
int enable_match_interrupts(morvel_zelp_device_s *zelp) {
    int causes = -1;
    const int s = morvel_zelp_interrupts(zelp, &causes);
    if (s != 0) return s;
    causes |= MORVEL_ZELP_INTERRUPT_MATCH | MORVEL_ZELP_INTERRUPT_MAILBOX_IN;
    return morvel_zelp_interrupts(zelp, &causes);
}

// Until the board's interrupt report arrives or `most` has passed; a board without the report
// (a bare serial port, the simulated board) just lets `most` pass.
void await_interrupt(host_session &session, clock_type::duration most) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(most);
    const int s =
        zelp_linux_io_wait(session.io(), static_cast<int>(ms.count()), session.zelp()->device_type);
    if (s != MORVEL_ZELP_ERROR_NONE && s != MORVEL_ZELP_ERROR_TIMEOUT)
        std::this_thread::sleep_for(most);
}

} // namespace

int wait_for_matches(host_session &session, uint32_t count, uint32_t wait_ms, std::FILE *report) {
    return wait_for_matches(session, count, wait_ms, match_output{report, report, {}});
}

int wait_for_matches(host_session &session, uint32_t count, uint32_t wait_ms,
                     const match_output &output) {
    morvel_zelp_device_s *zelp = session.zelp();
    int s = enable_match_interrupts(zelp);
    if (s != 0) return s;
    const auto deadline = clock_type::now() + std::chrono::milliseconds(wait_ms);
    uint32_t seen = 0;
    for (;;) {
        uint32_t notifications = 0;
        s = morvel_zelp_poll(zelp, &notifications, 1);
        if (s != 0) return s;
        // Poll reports MATCH for as long as the ring holds matches not taken yet.
        if (notifications & MORVEL_ZELP_NOTIFICATION_MATCH) {
            uint32_t summary = 0;
            s = morvel_zelp_get_match_summary(zelp, &summary);
            if (s != 0) return s;
            if (output.print)
                output.print(output.lines, summary);
            else
                print_match(output.lines, summary);
            if (++seen >= count) return MORVEL_ZELP_ERROR_NONE;
            continue;
        }
        const auto now = clock_type::now();
        if (now >= deadline) {
            std::fprintf(output.timeout, "no match within %u ms\n", wait_ms);
            return failure_reported;
        }
        await_interrupt(session, std::min<clock_type::duration>(poll_interval, deadline - now));
    }
}
