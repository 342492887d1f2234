// One package through the library's load entry, in pieces of a chosen size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "morvel_devlib/morvel_zelp.h"

// The start call, then `chunk` bytes per call until the library has taken the whole package.
// `loaded` counts the bytes handed over. Returns the library's status: success, its error, or
// MORVEL_ZELP_ERROR_MORE for a package that ends before the library saw its end.
int load_package(morvel_zelp_device_s *zelp, std::span<const uint8_t> package, size_t chunk,
                 size_t &loaded);
