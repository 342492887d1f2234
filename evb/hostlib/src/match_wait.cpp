#include "match_wait.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "host_commands.h"
#include "morvel-firmware/zelp7x_firmware.h"
#include "zelp_linux_io.h"

namespace {

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

// Until the board's interrupt report arrives or `most` has passed; a board without the report
// (a bare serial port, the simulated board) just lets `most` pass.
void await_interrupt(host_session &session, match_clock::duration most) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(most);
    const int s =
        zelp_linux_io_wait(session.io(), static_cast<int>(ms.count()), session.zelp()->device_type);
    if (s != MORVEL_ZELP_ERROR_NONE && s != MORVEL_ZELP_ERROR_TIMEOUT)
        std::this_thread::sleep_for(most);
}

} // namespace

// The firmware reports matches through the mailbox; a chip without firmware raises the match
// cause.
int enable_match_interrupts(morvel_zelp_device_s *zelp) {
    int causes = -1;
    const int s = morvel_zelp_interrupts(zelp, &causes);
    if (s != 0) return s;
    causes |= MORVEL_ZELP_INTERRUPT_MATCH | MORVEL_ZELP_INTERRUPT_MAILBOX_IN;
    return morvel_zelp_interrupts(zelp, &causes);
}

int await_match(host_session &session, match_clock::time_point deadline, bool &matched,
                uint32_t &summary) {
    morvel_zelp_device_s *zelp = session.zelp();
    matched = false;
    for (;;) {
        uint32_t notifications = 0;
        int s = morvel_zelp_poll(zelp, &notifications, 1);
        if (s != 0) return s;
        // Poll reports MATCH for as long as the ring holds matches not taken yet.
        if (notifications & MORVEL_ZELP_NOTIFICATION_MATCH) {
            s = morvel_zelp_get_match_summary(zelp, &summary);
            matched = s == 0;
            return s;
        }
        const auto now = match_clock::now();
        if (now >= deadline) return MORVEL_ZELP_ERROR_NONE;
        await_interrupt(session, std::min<match_clock::duration>(poll_interval, deadline - now));
    }
}

int wait_for_matches(host_session &session, uint32_t count, uint32_t wait_ms, std::FILE *report) {
    return wait_for_matches(session, count, wait_ms, match_output{report, report, {}});
}

int wait_for_matches(host_session &session, uint32_t count, uint32_t wait_ms,
                     const match_output &output) {
    int s = enable_match_interrupts(session.zelp());
    if (s != 0) return s;
    const auto deadline = match_clock::now() + std::chrono::milliseconds(wait_ms);
    for (uint32_t seen = 0; seen < count; ++seen) {
        bool matched = false;
        uint32_t summary = 0;
        s = await_match(session, deadline, matched, summary);
        if (s != 0) return s;
        if (!matched) {
            std::fprintf(output.timeout, "no match within %u ms\n", wait_ms);
            return failure_reported;
        }
        if (output.print)
            output.print(output.lines, summary);
        else
            print_match(output.lines, summary);
    }
    return MORVEL_ZELP_ERROR_NONE;
}
