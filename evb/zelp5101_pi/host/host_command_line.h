// The command line of zelp7x_host: the board options, then a command and its arguments.
#pragma once

#include <cstdio>
#include <optional>
#include <string_view>

#include "board_open.h"
#include "host_commands.h"

struct host_options : board_settings {
    std::optional<morvel_zelp_init_mode_e> mode; // -m; the command's own default otherwise
    const host_command *command = nullptr;
    command_args args;
};

enum class host_parse_outcome { run, help, version, list, usage_error, refused };

// Parses the whole command line into `options`. A bad argument is named on standard error
// (usage_error: the usage follows); refused: a check has said why it stops the run.
host_parse_outcome parse_host_command_line(int argc, char **argv, host_options &options);

// The usage; with `extensions` (for --help) the options and forms beyond the commands too.
void print_host_usage(std::FILE *stream, bool extensions = false);
