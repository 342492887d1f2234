// What the chip holds, as the info command shows it: its type, whether it boots secured, whether
// firmware runs, and the texts the loaded packages left in the host configuration area.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "morvel_board/morvel_zelp7x_board.h"

struct chip_info {
    unsigned int device_type = 0;
    bool secured = false;
    bool firmware_running = false; // a firmware answered a mailbox request
    // Each text up to its first NUL; none when no package stored it.
    std::optional<std::string> firmware_version, parameters_version, package_version;
    // The labels' bytes as stored (names, one NUL after each), at most what was read of them;
    // `labels_len` is the length the chip reports.
    std::vector<uint8_t> labels;
    unsigned int labels_len = 0;
};

// Returns the library's status.
int read_chip_info(morvel_zelp7x_board_s *board, chip_info &info);
