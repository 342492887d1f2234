// Image files on the host and the flash image of their data: plain, or in 3-byte encoding where
// every fourth flash byte (offsets 0, 4, 8, ...) is a 0xFF filler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "morvel_flash/morvel_zelp7x_flash.h"

// The whole file. Any failure throws run_failure with the text the tool reports; a file that
// opens but does not read (a directory) gives "NAME: REASON", one that holds more than the input
// bound (or a device without end, such as /dev/zero) "NAME: File too large".
std::vector<uint8_t> read_file(const char *file_name);

// How write_file hands the bytes to the stream (fwrite's shape); null means fwrite itself.
using file_put_f = size_t (*)(const void *data, size_t size, size_t n, std::FILE *f);

// Writes `buf` to the file, creating or truncating it. Open, write and close errors throw
// run_failure. A short write is reported and returns 1: the file on disk is incomplete, so the
// caller must end the run with status 1 once its own reporting is done. Returns 0 otherwise.
[[nodiscard]] int write_file(const char *file_name, std::span<const uint8_t> buf,
                             file_put_f put = nullptr);

// A failed file operation, with the system's reason as perror gives it.
[[noreturn]] void file_error(const char *operation, const char *file);

// Bytes on the flash for `count` data bytes: with 3-byte encoding a filler per three bytes, then
// rounded up to a multiple of 4. Computed in 64 bits so no count can overflow it.
int64_t encoded_size(int64_t count, bool three_byte);

// Whether flash offset `i` of an image holds a filler rather than data.
constexpr bool is_filler(size_t i, bool three_byte) {
    return three_byte && i % 4 == 0;
}

// Lays `data` out on `flash` (all of it; fillers and the tail past the data become 0xFF).
// Stops at the end of `flash` if it is too small to hold all the data.
void encode_image(std::span<const uint8_t> data, bool three_byte, std::span<uint8_t> flash);

// Picks the data bytes back out of `flash` into `data`, up to the end of either; returns the
// number of data bytes stored.
size_t decode_image(std::span<const uint8_t> flash, bool three_byte, std::span<uint8_t> data);
