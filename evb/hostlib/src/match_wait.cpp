// Waiting for matches as a host does: the interrupts that bring them enabled, the board's
// interrupt report awaited where it has one, and the library's poll asked whether the firmware
// has reported a match, whose summary then comes out of the match ring.
#include <algorithm>
#include <chrono>
#include <thread>

#include "host_record.h"
#include "morvel-firmware/zelp7x_firmware.h"
#include "zelp_linux_io.h"

namespace {

using clock_type = std::chrono::steady_clock;

// Short against the chip's default tank (64 ms of audio), so that the audio before a match is
// still there when the host learns of it; a bridge with an interrupt report wakes the host sooner.
constexpr auto poll_interval = std::chrono::milliseconds(2);
// The summary's low bits name the class; bit 7 (ZELP7X_MATCH_NO_TANKPTR) is a flag.
constexpr uint32_t class_mask = 0x7F;

uint32_t field(uint32_t summary, uint32_t mask, int shift) {
    return (summary & mask) >> shift;
}

// Until the board's interrupt report arrives or `most` has passed; a board without the report
// (a bare serial port, the simulated board) just lets `most` pass.
void await_interrupt(morvel_zelp7x_board_s *board, clock_type::duration most) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(most);
    const int s = zelp_linux_io_wait(morvel_zelp7x_board_io(board), static_cast<int>(ms.count()),
                                     morvel_zelp7x_board_device(board)->device_type);
    if (s != MORVEL_ZELP_ERROR_NONE && s != MORVEL_ZELP_ERROR_TIMEOUT)
        std::this_thread::sleep_for(most);
}

int await_match(morvel_zelp7x_board_s *board, clock_type::time_point deadline, int &matched,
                uint32_t &summary) {
    morvel_zelp_device_s *zelp = morvel_zelp7x_board_device(board);
    matched = 0;
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
        const auto now = clock_type::now();
        if (now >= deadline) return MORVEL_ZELP_ERROR_NONE;
        await_interrupt(board, std::min<clock_type::duration>(poll_interval, deadline - now));
    }
}

} // namespace

extern "C" {

void morvel_zelp7x_host_match_of(uint32_t summary, morvel_zelp7x_host_match_s *match) {
    if (match == nullptr) return;
    match->summary = summary;
    match->class_index = summary & class_mask;
    match->snr = field(summary, ZELP7X_MATCH_SNR_MASK, ZELP7X_MATCH_SNR_SHIFT);
    match->confidence = field(summary, ZELP7X_MATCH_CONFIDENCE_MASK, ZELP7X_MATCH_CONFIDENCE_SHIFT);
    match->noise =
        field(summary, ZELP7X_MATCH_NOISE_THRESHOLD_MASK, ZELP7X_MATCH_NOISE_THRESHOLD_SHIFT);
    match->has_position = (summary & ZELP7X_MATCH_NO_TANKPTR) == 0;
}

// The firmware reports matches through the mailbox; a chip without firmware raises the match
// cause.
int morvel_zelp7x_host_watch_matches(morvel_zelp7x_host_s *host) {
    return zhost::in_call(host, [&](morvel_zelp_device_s *zelp) -> int {
        int causes = -1;
        const int s = morvel_zelp_interrupts(zelp, &causes);
        if (s != 0) return s;
        causes |= MORVEL_ZELP_INTERRUPT_MATCH | MORVEL_ZELP_INTERRUPT_MAILBOX_IN;
        return morvel_zelp_interrupts(zelp, &causes);
    });
}

int morvel_zelp7x_host_next_match(morvel_zelp7x_host_s *host, uint32_t wait_ms, int *matched,
                                  morvel_zelp7x_host_match_s *match) {
    return zhost::in_call(host, [&](morvel_zelp_device_s *) -> int {
        if (matched == nullptr) return MORVEL_ZELP_ERROR_ARG;
        const auto deadline = clock_type::now() + std::chrono::milliseconds(wait_ms);
        uint32_t summary = 0;
        const int s = await_match(host->board, deadline, *matched, summary);
        if (*matched) morvel_zelp7x_host_match_of(summary, match);
        return s;
    });
}

} // extern "C"
