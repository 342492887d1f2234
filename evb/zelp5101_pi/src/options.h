// The command line of zelp7x_flash.
#pragma once

#include "number_arg.h"
#include "run_options.h"

enum class parse_outcome { run, exit_success, exit_failure };

// Parses the whole command line into `run` and the process-wide `device_type` (reset to 0 first),
// printing whatever the outcome calls for: the usage for -h, the error and the usage for a bad
// option. Stops at the first option that ends the run, so options after -h are not parsed.
parse_outcome parse_options(int argc, char **argv, run_options &run);
