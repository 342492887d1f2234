// The command line of zelp7x_gang: the boards, the flash options every board runs with (read as
// zelp7x_flash reads them), and the report.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "run_options.h"

struct gang_options {
    run_options run;                // the flash options, for every board alike
    int device_type = 0;            // -t; 0: each board's chip says
    std::vector<std::string> ports; // -s, in order
    bool all = false;               // --all: every supported bridge attached
    std::optional<std::string> json_file;
};

enum class gang_parse { run, exit_success, exit_failure, usage_error };

// Parses the whole command line, printing what the outcome calls for (the usage for -h or a bad
// option). A board named twice, no board at all, or -r - (a dump has one standard output to go
// to) is a usage error.
gang_parse parse_gang_options(int argc, char **argv, gang_options &options);

void gang_usage();

// What a board's name opens, so two names of one board share it: the device node (its device
// number, however it is reached: "-s /dev/ttyACM0 -s /dev/serial/by-id/..."), or a simulated
// board's flash file (the file itself, however its path is written). None for a simulated board
// in memory, which every "sim" makes anew.
std::optional<std::string> board_key(const std::string &port);
