#include "board_open.h"

#include <cstdio>

namespace {

void print_on_stderr(const char *line, void *) {
    std::fprintf(stderr, "%s\n", line);
}

} // namespace

morvel_zelp7x_board_options_s board_options(const board_settings &settings) {
    morvel_zelp7x_board_options_s o;
    morvel_zelp7x_board_options_init(&o);
    o.port = settings.spi_dev ? settings.spi_dev->c_str() : nullptr;
    o.spi_default_speed = settings.spi_default_speed;
    o.spi_mcu_read_speed = settings.spi_mcu_read_speed;
    o.spi_sample_write_speed = settings.spi_sample_write_speed;
    o.spi_split = settings.spi_split;
    o.spi_read_delay = settings.spi_read_delay;
    o.input_freq = settings.input_freq;
    o.device_type = static_cast<unsigned int>(settings.device_type);
    o.message = print_on_stderr;
    return o;
}
