// The command line of zelp7x_flash.
#pragma once

#include <cstdint>

#include "run_options.h"

enum class parse_outcome { run, exit_success, exit_failure };

// Parses the whole command line into `run` and the process-wide `device_type` (reset to 0 first),
// printing whatever the outcome calls for: the usage for -h, the error and the usage for a bad
// option. Stops at the first option that ends the run, so options after -h are not parsed.
parse_outcome parse_options(int argc, char **argv, run_options &run);

// Converts `arg` as strtoul does in base 0 with a 32-bit unsigned long: magnitudes above
// 0xFFFFFFFF are out of range and a minus sign negates modulo 2^32. Sets errno as strtoul does.
uint32_t strtoul32(const char *arg, char **end);

// Parses one numeric argument into `*value`. Returns 1 after printing (when `report` is set) the
// invalid or out-of-range message naming `value_name`; 0 on success.
int get_int0(const char *arg, const char *value_name, uint32_t *value, int report);

// get_int0 with reporting, storing the 32-bit result into a signed option (2^31 and above land
// negative). Returns false when the argument was rejected.
bool get_int(const char *arg, const char *value_name, int &field);
