// A transfer with a device behind the chip, on one of its serial interfaces by name.
#include <array>
#include <vector>

#include "host_record.h"

namespace {

using interface_name = zhost::named_value<unsigned int>;
constexpr std::array interfaces{
    interface_name{"i2c", MORVEL_ZELP7X_SERIAL_INTERFACE_I2C},
    interface_name{"spi0", MORVEL_ZELP7X_SERIAL_INTERFACE_SPI0},
    interface_name{"spi1", MORVEL_ZELP7X_SERIAL_INTERFACE_SPI1},
    interface_name{"spi2", MORVEL_ZELP7X_SERIAL_INTERFACE_SPI2},
    interface_name{"spi3", MORVEL_ZELP7X_SERIAL_INTERFACE_SPI3},
};

} // namespace

extern "C" {

int morvel_zelp7x_host_serial_interface_named(const char *name, unsigned int *interface) {
    return zhost::store_named(interfaces, name, interface);
}

int morvel_zelp7x_host_serial(morvel_zelp7x_host_s *host, unsigned int interface, uint32_t address,
                              const uint8_t *out, uint32_t out_count, uint8_t *in,
                              uint32_t in_count) {
    return zhost::in_call(host, [&](morvel_zelp_device_s *zelp) -> int {
        if (out_count > MORVEL_ZELP7X_HOST_SERIAL_MAX || in_count > MORVEL_ZELP7X_HOST_SERIAL_MAX ||
            (out == nullptr && out_count != 0) || (in == nullptr && in_count != 0))
            return MORVEL_ZELP_ERROR_ARG;
        // The library's call takes writable bytes.
        std::vector<uint8_t> o(out, out + out_count);
        return morvel_zelp7x_serial_transfer(zelp, interface, address, o.data(), out_count, in,
                                             in_count, 0);
    });
}

} // extern "C"
