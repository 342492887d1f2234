#include "board_open.h"

#include <cstdio>

#include "bridges.h"
#include "morvel_flash/morvel_zelp7x_flash.h"

zelp_io_init_args io_init_args(board_settings &settings) {
    zelp_io_init_args args{};
    args.spidev = settings.spi_dev ? settings.spi_dev->data() : nullptr;
    args.spi_default_speed = settings.spi_default_speed;
    args.spi_mcu_read_speed = settings.spi_mcu_read_speed;
    args.spi_pcm_input_speed = settings.spi_sample_write_speed;
    args.spi_split = settings.spi_split;
    args.spi_read_delay = settings.spi_read_delay;
    args.gpio = -1;
    args.usb_int_enable = 0;
    return args;
}

int open_board_io(board_settings &settings, morvel_evb_io_handle_t &io, int &io_device_type) {
    io = nullptr;
    const bridge_choice choice = choose_bridge(settings.spi_dev);
    if (!choice.note.empty()) std::fprintf(stderr, "%s\n", choice.note.c_str());
    if (choice.status != 0) return choice.status;
    zelp_io_init_args args = io_init_args(settings);
    const int status = zelp_linux_io_init(&args, &io);
    io_device_type = args.device_type;
    return status;
}

void choose_input_freq(board_settings &settings, int io_device_type) {
    if (settings.input_freq >= 0) return;
    settings.input_freq = morvel_zelp7x_flash_default_input_freq(io_device_type);
}

int start_device(morvel_zelp_integration_interfaces_s iif, morvel_zelp_init_mode_e mode,
                 morvel_zelp_device_s *&zelp) {
    // The library keeps its own copy of the record inside the handle.
    return morvel_zelp_init(&zelp, &iif, mode);
}
