// Sizes and markers the front-end steps share: how many network and tank inputs there are, and
// the channel select value that leaves the chip's setting alone.
#pragma once

#include "morvel_devlib/morvel_zelp7x_config.h"

namespace zelp7x::frontend {

constexpr unsigned DNN_INPUTS = MORVEL_ZELP7X_CONFIG_DNN_INPUT_MAX + 1;
constexpr unsigned TANK_INPUTS = MORVEL_ZELP7X_CONFIG_TANK_INPUT_MAX + 1;
constexpr int KEEP = -1; // the input does not use the channel select; leave it as it is

} // namespace zelp7x::frontend
