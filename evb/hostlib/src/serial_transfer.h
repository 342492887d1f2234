// The chip's serial interfaces by the names the host gives them.
#pragma once

#include <optional>
#include <string_view>

// "i2c" or "spi0" to "spi3": the interface's number at the library's serial transfer.
std::optional<unsigned int> serial_interface_named(std::string_view name);
