// Package files as the package programs write them, whole; they read them through input_file.h.
#pragma once

#include <cstdint>
#include <span>

#include "input_file.h"

namespace mvpkg {

// False when the file cannot be written whole.
bool write_package_file(const char *path, std::span<const uint8_t> bytes);

} // namespace mvpkg
