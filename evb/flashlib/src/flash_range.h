// Whether a range of flash addresses fits the flash, and the text that says why not: one text for
// the library's calls and the flash tools' run checks.
#pragma once

#include <cstdint>
#include <string>

namespace zflash {

// Empty when [address, address + count) fits a flash of `capacity` bytes (0: not known, then the
// 16 MiB that 3-byte addresses reach); else the reason, without a newline. `what` names the range
// in the reason given without a capacity.
std::string range_problem(uint32_t capacity, uint64_t address, uint64_t count, const char *what);

} // namespace zflash
