// One package through the library's load entry, in pieces of a chosen size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "input_file.h"
#include "morvel_devlib/morvel_zelp.h"

// The start call, then `chunk` bytes per call until the library has taken the whole package.
// `loaded` counts the bytes handed over. Returns the library's status: success, its error, or
// MORVEL_ZELP_ERROR_MORE for a package that ends before the library saw its end.
int load_package(morvel_zelp_device_s *zelp, std::span<const uint8_t> package, size_t chunk,
                 size_t &loaded);

// The same for the package in file `path`, read `chunk` bytes at a time and each piece handed on
// as it is read, so no more than one piece is held, and never past the input bound. `read` tells
// how reading the file ended.
int load_package_file(morvel_zelp_device_s *zelp, const char *path, size_t chunk, size_t &loaded,
                      mvpkg::input_read &read);
