// Reading the sysfs tree for device discovery.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zio {

// Entry names of a directory, numbered names in numeric order ("tty2" before "tty10").
std::vector<std::string> sorted_entries(const std::filesystem::path &dir);

// First line of a small attribute file, without its newline.
std::optional<std::string> read_attribute(const std::filesystem::path &file);
std::optional<std::vector<uint8_t>> read_binary(const std::filesystem::path &file);

std::optional<unsigned long> parse_hex(const std::string &text);

// The USB device a sysfs device sits on: the first directory from `device` up, inside `sys`, with
// vendor and product IDs; and the interface number of the first USB interface on the way.
struct UsbDeviceDir {
    std::filesystem::path dir;
    uint16_t vid = 0;
    uint16_t pid = 0;
    std::optional<unsigned long> interface_number;
};
std::optional<UsbDeviceDir> usb_device_above(const std::filesystem::path &device,
                                             const std::filesystem::path &sys);

} // namespace zio
