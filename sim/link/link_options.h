// How the simulated USB link between host and bridge spends time, as given on a simulator command
// line or in a port name: latency=US and rate=BYTES_PER_SECOND, and the answer faults
// drop-answer=N and short-answer=N.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zsim {

struct LinkOptions {
    // Microseconds from a request's arrival at the bridge to its answer leaving the bridge.
    uint32_t latency_us = 0;
    // Bytes per second the link moves in each direction.
    uint32_t rate = 0;
    // Faults: the bridge's answer of this number, counted from 1 since the board started, is
    // never sent, or sent without its last byte (0: none).
    uint32_t drop_answer = 0;
    uint32_t short_answer = 0;
    // 0 for both: answers come back at once, as on a bare pseudo-terminal.
    bool instant() const { return latency_us == 0 && rate == 0; }
};

bool is_link_option(std::string_view name);

// Applies "latency", "rate", "drop-answer" or "short-answer", a decimal number (0 switches it
// off). False with the reason in `error` for a value it cannot use.
bool parse_link_option(std::string_view name, std::string_view value, LinkOptions &options,
                       std::string &error);

} // namespace zsim
