// Checking a package file by walking it through the package reader, fed piece by piece exactly as
// a loader feeds it, so that a bad file is found before anything acts on it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "input_file.h"
#include "morvel_packager/morvel_package.h"

namespace mvpkg {

// The reader's verdict: MORVEL_PACKAGE_ERROR_NONE, or its error code with the byte offset in the
// file where it stopped (a file that ends inside a record:
// MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR at its length). `read` tells how reading the file
// ended; the verdict means nothing unless it read (done or stopped).
struct package_verdict {
    int result = MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    uint32_t offset = 0;
    uint32_t crc = 0;
    input_read read{};
};

// Walks the file at `path`, `chunk` bytes at a time (0: max_piece). Memory stays bounded by one
// piece whatever the file holds; the walk stops at the first error, at the checksum record or
// past `limit` bytes. `collect_log` as the reader takes it (nonzero prints each value).
package_verdict check_package_file(const char *path, size_t chunk = 0, int collect_log = 0,
                                   size_t limit = input_limit);

} // namespace mvpkg
