// What the HID match needs from a report descriptor: the top-level usage and the input report
// length.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace zio {

struct HidTopLevel {
    uint16_t usage_page = 0;
    uint16_t usage = 0;
    // Longest input report in bytes, plus the report ID byte, as the Windows HID API counts it.
    uint16_t input_report_length = 0;
};

// Null when the descriptor is cut short inside an item.
std::optional<HidTopLevel> parse_hid_report_descriptor(std::span<const uint8_t> descriptor);

} // namespace zio
