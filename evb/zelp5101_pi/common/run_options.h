// What zelp7x_flash's options ask of a run, as parsed: the board's settings and the flash job's.
#pragma once

#include <optional>
#include <string>

#include "board_open.h"

// The board's own settings (port, bridge speeds, input clock) are those every board tool shares.
struct run_options : board_settings {
    // Negative `count` means "not given".
    int print_device_id = 0;
    int address = 0; // used as an unsigned 24-bit flash address
    int count = -1;
    int three_byte = 0;
    int atmel_dongle = 0;
    int erase_region = 0;
    int erase_chip = 0;
    int checksum_flash = 0;
    int quiet = 0;
    int accel_op = 0;
    int skip_unchanged = 0; // --skip-unchanged: the write step sends only what differs
    std::optional<std::string> read_file_name;
    std::optional<std::string> write_file_name;
    std::optional<std::string> verify_file_name;
};
