// Numeric command-line arguments as both board tools read them: strtoul in base 0, 32 bits.
#pragma once

#include <cstdint>

// Converts `arg` as strtoul does in base 0 with a 32-bit unsigned long: magnitudes above
// 0xFFFFFFFF are out of range and a minus sign negates modulo 2^32. Sets errno as strtoul does.
uint32_t strtoul32(const char *arg, char **end);

// Parses one numeric argument into `*value`. Returns 1 after printing (when `report` is set) the
// invalid or out-of-range message naming `value_name`; 0 on success.
int get_int0(const char *arg, const char *value_name, uint32_t *value, int report);

// get_int0 with reporting, storing the 32-bit result into a signed option (2^31 and above land
// negative). Returns false when the argument was rejected.
bool get_int(const char *arg, const char *value_name, int &field);
