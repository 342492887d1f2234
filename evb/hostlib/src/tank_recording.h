// Recording the tank without a break: repeated extractions of the bytes not read yet, each kept
// clear of the producer, for as long as asked. What the firmware overwrote before it was read is
// counted as a gap and left out, never papered over. The bytes go to a sink as they come, so the
// host tool writes them to a file and the Python package gathers them in memory.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "morvel_devlib/morvel_zelp.h"

// Called after every read with the sound bytes it brought, in the chip's own form (maybe none).
// A status other than 0 ends the recording with it.
using recording_sink = std::function<int(std::span<uint8_t> bytes)>;

struct recording_totals {
    uint64_t samples = 0;
    uint32_t gaps = 0;
};

// "unread" (from where the previous take stopped) or "newest" (from now).
std::optional<int> recording_start_named(std::string_view name);

// Records from `from` (MORVEL_ZELP_EXTRACT_FROM_UNREAD or _NEWEST) for `duration`, at least one
// read. Returns the library's status or the sink's; `totals` holds what was recorded either way.
int record_tank(morvel_zelp_device_s *zelp, int from, std::chrono::milliseconds duration,
                const recording_sink &sink, recording_totals &totals);
