#include "flash_range.h"

#include <cstdio>

#include "flash_constants.h"

namespace zflash {

// A NOR flash ignores the address bits above its size, so a range past its end would wrap onto
// its start; commands carry three address bytes, so nothing reaches past 16 MiB.
std::string range_problem(uint32_t capacity, uint64_t address, uint64_t count, const char *what) {
    const uint64_t end = address + count;
    char text[160];
    if (capacity != 0 && capacity <= FLASH_ADDRESS_LIMIT) {
        if (end <= capacity) return {};
        std::snprintf(text, sizeof text,
                      "flash range 0x%llx to 0x%llx does not fit the %u-byte flash",
                      static_cast<unsigned long long>(address),
                      static_cast<unsigned long long>(end), capacity);
        return text;
    }
    if (end <= FLASH_ADDRESS_LIMIT) return {};
    std::snprintf(text, sizeof text,
                  "%s at 0x%llx, %llu bytes, goes beyond the 16 MiB that 3-byte flash addresses "
                  "reach",
                  what, static_cast<unsigned long long>(address),
                  static_cast<unsigned long long>(count));
    return text;
}

} // namespace zflash
