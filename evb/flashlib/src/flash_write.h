// Writing a range: erase and program it whole, or touch only the sectors and pages that differ.
#pragma once

#include <cstdint>
#include <span>

#include "flash_session.h"

namespace zflash {

struct write_request {
    uint32_t address;
    std::span<const uint8_t> data;
    // Bytes from `address` to erase as well, as the tool's -e does; sectors of it that the data
    // does not cover end blank.
    uint32_t erase_count = 0;
};

// Reads the sectors the request covers and sends only what differs (see flash_write.cpp).
morvel_zelp7x_flash_write_stats_s write_changed(const session &s, const write_request &r);
// Erases the range and programs the data into it.
void write_whole(const session &s, const write_request &r);

} // namespace zflash
