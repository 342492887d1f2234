// Image files on the host: read whole for a flash job, written back from what a run read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

// The whole file. Any failure throws run_failure with the text the tool reports; a file that
// opens but does not read (a directory) gives "NAME: REASON", one that holds more than the largest
// flash (or a device without end, such as /dev/zero) "NAME: File too large".
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
