// Waiting for matches as a host does: the interrupts that bring them enabled, the board's
// interrupt report awaited where it has one, and the library's poll asked whether the firmware
// has reported a match, whose summary then comes out of the match ring.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>

#include "host_session.h"

using match_clock = std::chrono::steady_clock;

// Enables the causes that bring matches in; causes already enabled stay so.
int enable_match_interrupts(morvel_zelp_device_s *zelp);

// Takes the next match the chip reports, waiting until `deadline` at most; the match interrupts
// must be enabled. Returns the library's status; on success `matched` tells whether a match came,
// with its `summary`.
int await_match(host_session &session, match_clock::time_point deadline, bool &matched,
                uint32_t &summary);

// How the matches are shown: each one's line, and where "no match within MS ms" goes.
struct match_output {
    std::FILE *lines = stdout;
    std::FILE *timeout = stdout;
    std::function<void(std::FILE *lines, uint32_t summary)> print; // empty: the text line
};

// Takes matches in until `count` were seen or `wait_ms` passed, printing each one's line on
// `report`. Returns the library's status, or failure_reported after "no match within MS ms".
int wait_for_matches(host_session &session, uint32_t count, uint32_t wait_ms,
                     std::FILE *report = stdout);
// The same, shown as `output` says.
int wait_for_matches(host_session &session, uint32_t count, uint32_t wait_ms,
                     const match_output &output);
