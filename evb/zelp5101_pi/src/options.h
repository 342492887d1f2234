// The command line of zelp7x_flash.
#pragma once

#include "flash_options.h"

// Parses the whole command line into `run` (its `device_type` reset to 0 first),
// printing whatever the outcome calls for: the usage for -h, the error and the usage for a bad
// option. Stops at the first option that ends the run, so options after -h are not parsed.
parse_outcome parse_options(int argc, char **argv, run_options &run);
