// Writing a range: erase and program it whole, or touch only the sectors and pages that differ.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "flash_session.h"

namespace zflash {

// Bytes that must land at `address`.
struct write_piece {
    uint32_t address;
    std::span<const uint8_t> data;
    uint64_t end() const { return uint64_t{address} + data.size(); }
};

struct write_request {
    write_piece data;
    // Further pieces, in address order; none overlaps another or the data.
    std::vector<write_piece> more;
    // Bytes from the data's address to erase as well, as the tool's -e does; every sector of that
    // span ends blank but for the pieces.
    uint32_t erase_count = 0;

    // The data and the further pieces.
    std::vector<write_piece> all() const;
};

// Reads the sectors the request covers and sends only what differs (see flash_write.cpp).
morvel_zelp7x_flash_write_stats_s write_changed(const session &s, const write_request &r);
// Erases the sectors the request covers and programs the data and the pieces into them.
void write_whole(const session &s, const write_request &r);

} // namespace zflash
