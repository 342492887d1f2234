// Package files as the package programs read and write them: whole, as raw bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace mvpkg {

// The whole file; empty when it cannot be opened or read.
std::optional<std::vector<uint8_t>> read_package_file(const char *path);
// False when the file cannot be written whole.
bool write_package_file(const char *path, std::span<const uint8_t> bytes);

} // namespace mvpkg
