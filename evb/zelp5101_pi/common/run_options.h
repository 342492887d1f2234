// Everything one run of zelp7x_flash knows: the options as parsed, the counts derived from them
// and the image files, and the buffers the write and read steps share.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "board_open.h"

// The board's own settings (port, bridge speeds, input clock) are those every board tool shares.
struct run_options : board_settings {
    // Options. Negative `count` means "not given".
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

    // Derived once the image files are read. `count` above is then the data byte count (>= 0).
    int encoded_count = 0; // bytes on the flash: after 3-byte encoding, a multiple of 4
    int erase_count = 0;   // bytes that -e erases
    // Bytes the flash holds, as its JEDEC capacity code gives them; 0 when the ID was not read
    // (-Q) or its code is unknown, so only the 24-bit flash addresses bound the run.
    uint32_t flash_size = 0;

    // File contents: present when -w / -v was given. Each holds at least `count` bytes.
    std::optional<std::vector<uint8_t>> write_data;
    std::optional<std::vector<uint8_t>> verify_data;
    // Flash image of the data (`encoded_count` bytes). Built by the write step and reused by the
    // read step; the read step sizes it itself when there was no write step.
    std::optional<std::vector<uint8_t>> encoded_data;

    // Atmel dongle descriptor (-A): size word then magic word, each least significant byte first,
    // already shifted for 3-byte encoding, and the flash address it goes to.
    std::array<uint8_t, 8> dongle_descriptor{};
    uint32_t dongle_descriptor_address = 0;
};
