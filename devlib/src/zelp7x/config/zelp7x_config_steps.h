// Checks the configuration engine makes before it touches the chip.
#pragma once

#include "morvel_devlib/morvel_zelp7x_config.h"

namespace zelp7x {

// A flagged clock rate of 0 would be a divisor later on; refuse it before anything is written.
int check_clock_rates(const morvel_zelp7x_config_s &config);

} // namespace zelp7x
