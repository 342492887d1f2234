#include "serial_transfer.h"

#include <array>

#include "host_commands.h"
#include "morvel_devlib/morvel_zelp7x.h"

namespace {

constexpr std::array interfaces{
    named_value<unsigned int>{"i2c", MORVEL_ZELP7X_SERIAL_INTERFACE_I2C},
    named_value<unsigned int>{"spi0", MORVEL_ZELP7X_SERIAL_INTERFACE_SPI0},
    named_value<unsigned int>{"spi1", MORVEL_ZELP7X_SERIAL_INTERFACE_SPI1},
    named_value<unsigned int>{"spi2", MORVEL_ZELP7X_SERIAL_INTERFACE_SPI2},
    named_value<unsigned int>{"spi3", MORVEL_ZELP7X_SERIAL_INTERFACE_SPI3},
};

} // namespace

std::optional<unsigned int> serial_interface_named(std::string_view name) {
    return value_named(interfaces, name);
}
