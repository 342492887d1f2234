// What the host takes out of the chip: the rings and feature areas by name, where a take starts,
// how much room a take wants when none is asked for, and the take itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "morvel_devlib/morvel_zelp.h"

struct extract_source {
    int type;
    bool ring;
    uint32_t size; // 0: the tank, whose size the chip's configuration sets
};

// "input", "features", "static" or "accel".
std::optional<extract_source> extract_source_named(std::string_view name);
// "match", "unread", "oldest" or "newest".
std::optional<int> extract_start_named(std::string_view name);

// A whole area, or as much of a ring as the start allows.
uint32_t default_room(const extract_source &source, int from, const morvel_zelp7x_device_s &z);

// Up to `room` bytes (a multiple of 4) from `from` into `data`, which is resized to what came;
// `avail` is what the library reported available. Returns the library's status.
int extract_bytes(morvel_zelp_device_s *zelp, int type, int from, uint32_t room,
                  std::vector<uint8_t> &data, unsigned int &avail);
