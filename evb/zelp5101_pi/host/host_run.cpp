#include "host_run.h"

#include <cstdio>

#include "bridges.h"
#include "host_command_line.h"
#include "morvel_devlib/morvel_zelp_error.h"

namespace {

constexpr int exit_ok = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

} // namespace

int run_zelp7x_host(int argc, char **argv) {
    host_options options;
    switch (parse_host_command_line(argc, argv, options)) {
    case host_parse_outcome::help:
        print_host_usage(stdout, true);
        return exit_ok;
    case host_parse_outcome::version:
        std::printf("zelp7x_host %s\n", ZELP_VERSION);
        return exit_ok;
    case host_parse_outcome::list:
        return list_bridges();
    case host_parse_outcome::usage_error:
        print_host_usage(stderr);
        return exit_usage;
    case host_parse_outcome::refused:
        return exit_failed;
    case host_parse_outcome::run:
        break;
    }
    const host_command &command = *options.command;
    // Opening the board is the command's first step after what it must know beforehand, and
    // fails in its name.
    int s = command.prepare != nullptr ? command.prepare(options.args) : 0;
    morvel_zelp7x_host_s *host = nullptr;
    if (s == 0) {
        morvel_zelp7x_board_options_s board = board_options(options);
        board.init_mode = options.mode.value_or(command.default_mode);
        s = morvel_zelp7x_host_open(&board, &host, nullptr);
    }
    const host_ptr session(host);
    if (s == 0) s = command.run(host, options.args);
    if (s == failure_reported) return exit_failed;
    if (s != 0) {
        std::printf("%.*s failed: %s\n", static_cast<int>(command.name.size()), command.name.data(),
                    morvel_zelp_error_name(s));
        return exit_failed;
    }
    return exit_ok;
}
