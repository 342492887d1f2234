// Opening the evaluation board as the board tools do, through the board library: the options a
// command line gives, and the lines the bridge choice has to say printed on standard error.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "morvel_board/morvel_zelp7x_board.h"

// What the opening steps need from a command line. Negative `input_freq` means "not given".
struct board_settings {
    std::optional<std::string> spi_dev;
    int spi_default_speed = 1000000;
    int spi_mcu_read_speed = 0;
    int spi_sample_write_speed = 0;
    int spi_split = 0;
    int spi_read_delay = 1;
    int input_freq = -1;
    int device_type = 0; // -t; 0: read the type from the chip
};

// The board library's options for `settings` (whose port name they point into), with
// zelp7x_flash's defaults for the rest and the choice's lines going to standard error.
morvel_zelp7x_board_options_s board_options(const board_settings &settings);

// A board that is closed when it goes.
struct board_closer {
    void operator()(morvel_zelp7x_board_s *b) const { morvel_zelp7x_board_close(b); }
};
using board_ptr = std::unique_ptr<morvel_zelp7x_board_s, board_closer>;
