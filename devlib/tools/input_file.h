// Input files as the tools read them: piece by piece, or whole, and never past a bound. An input
// without end (/dev/zero, a FIFO whose writer never stops) or one far larger than anything the
// tools take is refused as soon as it passes the bound, instead of filling memory or running on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <vector>

namespace mvpkg {

// How reading ended. `error` is the system's errno for the failures, EFBIG past the bound.
struct input_read {
    enum outcome { done, stopped, cannot_open, read_error, too_large } result = done;
    int error = 0;
    size_t bytes = 0; // bytes handed to the taker
    bool failed() const {
        return result == cannot_open || result == read_error || result == too_large;
    }
};

// The bound of every input the tools take: a flash image, a package, a file sent to the chip.
// 16 MiB is all that 3-byte flash addresses reach, and far more than the firmware and network of
// a package or any static feature block.
inline constexpr size_t input_limit = size_t{1} << 24;
inline constexpr size_t no_input_limit = std::numeric_limits<size_t>::max();

// The largest piece read_input_pieces hands over, whatever piece size is asked for.
inline constexpr size_t max_piece = size_t{1} << 20;

using piece_taker = std::function<bool(std::span<const uint8_t>)>;

// Opens `path` and hands `take` the file in order, at most `piece` bytes (and max_piece) at a
// time, until the file ends (`done`), `take` returns false (`stopped`) or more than `limit` bytes
// would have been taken (`too_large`; a regular file longer than that is refused before its first
// piece). Only one piece is held at once.
input_read read_input_pieces(const char *path, size_t piece, size_t limit, const piece_taker &take);
// The same from a stream the caller opened, from where it stands; the caller closes it.
input_read read_input_pieces(std::FILE *f, size_t piece, size_t limit, const piece_taker &take);

// The whole file into `bytes`, within `limit`.
input_read read_input_file(const char *path, size_t limit, std::vector<uint8_t> &bytes);

// Why `path` could not be read, as "NAME: REASON" with the system's text for the error.
std::string input_failure(const std::string &path, const input_read &r);

} // namespace mvpkg
