// Package files as the package programs read and write them, as raw bytes: read piece by piece,
// written whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace mvpkg {

// How reading a file piece by piece ended. `error` is the system's errno for the failures.
struct piece_read {
    enum outcome { done, stopped, cannot_open, read_error } result;
    int error = 0;
    size_t bytes = 0; // bytes handed to the taker
};

// The largest piece read_package_pieces hands over, whatever piece size is asked for.
inline constexpr size_t max_piece = size_t{1} << 20;

// Opens `path` and hands `take` the file in order, at most `piece` bytes (and max_piece) at a
// time, until the file ends (`done`) or `take` returns false (`stopped`). Only one piece is held
// at once, so files of any length, endless ones too, read in bounded memory.
piece_read read_package_pieces(const char *path, size_t piece,
                               const std::function<bool(std::span<const uint8_t>)> &take);

// The whole file; empty when it cannot be opened or read.
std::optional<std::vector<uint8_t>> read_package_file(const char *path);
// False when the file cannot be written whole.
bool write_package_file(const char *path, std::span<const uint8_t> bytes);

} // namespace mvpkg
