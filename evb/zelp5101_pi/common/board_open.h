// Opening the evaluation board, shared by the board tools: the board I/O layer's init, the device
// library's init over the tools' callbacks, and the chip's input clock. Each step returns the
// library's status; what a failure ends in is the tool's choice.
#pragma once

#include <optional>
#include <string>

#include "morvel_devlib/morvel_zelp.h"
#include "zelp_linux_io.h"

// What the opening steps need from a command line. Negative `input_freq` means "not given".
struct board_settings {
    std::optional<std::string> spi_dev;
    int spi_default_speed = 1000000;
    int spi_mcu_read_speed = 0;
    int spi_sample_write_speed = 0;
    int spi_split = 0;
    int spi_read_delay = 1;
    int input_freq = -1;
};

zelp_io_init_args io_init_args(board_settings &settings);

// The board I/O layer's init, on the port the settings name, the bridge with the serial number
// they name ("serial=S"), or the first supported bridge; `io_device_type` tells what kind of
// board answered. What the choice has to say goes to standard error first.
int open_board_io(board_settings &settings, morvel_evb_io_handle_t &io, int &io_device_type);

// A missing input clock frequency becomes the board kind's default.
void choose_input_freq(board_settings &settings, int io_device_type);

// The library's init in `mode` over `iif`. With `zelp` empty the library allocates the handle;
// a host that needs the handle before init returns (its mbwait does) passes its own.
int start_device(morvel_zelp_integration_interfaces_s iif, morvel_zelp_init_mode_e mode,
                 morvel_zelp_device_s *&zelp);
