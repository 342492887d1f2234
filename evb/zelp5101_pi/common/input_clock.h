// Step 5 of a run: put the chip on the board's input clock.
#pragma once

#include "morvel_devlib/morvel_zelp.h"

// A configuration call with only the input clock rate flagged. Returns the library's status.
int set_input_clock(morvel_zelp_device_s *zelp, int input_freq);
