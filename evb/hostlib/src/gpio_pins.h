// The chip's eight GPIO pins as the host sets and shows them.
#pragma once

#include <cstdint>
#include <optional>

#include "morvel_devlib/morvel_zelp7x.h"

// The pins in `mask` (eight bits) take the bits of `values`.
struct pin_setting {
    uint32_t mask;
    uint32_t values;
};

struct pin_state {
    uint32_t outs;
    uint32_t values;
    uint32_t input_enable;
};

// Output enables, pin values and the input enable, each only when given; nothing touches the
// chip when none is. Returns the library's status.
int set_pins(morvel_zelp_device_s *zelp, std::optional<pin_setting> outs,
             std::optional<pin_setting> values, std::optional<uint32_t> input_enable);
// All eight pins' output enables and values, and the input enable.
int read_pins(morvel_zelp_device_s *zelp, pin_state &state);
