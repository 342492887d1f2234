#include "host_commands.h"

#include <algorithm>
#include <array>
#include <limits>

namespace {

constexpr size_t any_number = std::numeric_limits<size_t>::max();
// A chunk's length is an int at the library's interface.
constexpr std::array load_options{
    command_option{'c', option_kind::number, 1, std::numeric_limits<int>::max()}};
constexpr std::array posterior_options{command_option{'S'}, command_option{'C'}};

constexpr std::array commands{
    host_command{"load", "load [-c N] PACKAGE...",
                 "load each package in order, N bytes per call (default 1024)",
                 MORVEL_ZELP_INIT_MODE_RESET, load_options, 1, any_number, check_load, run_load},
    host_command{"info",
                 "info",
                 "what the chip holds",
                 MORVEL_ZELP_INIT_MODE_RESTART,
                 {},
                 0,
                 0,
                 nullptr,
                 run_info},
    host_command{"posterior", "posterior [-S STATE [-C CLASS]]", "the posterior tables",
                 MORVEL_ZELP_INIT_MODE_RESTART, posterior_options, 0, 0, check_posterior,
                 run_posterior},
};

} // namespace

std::span<const host_command> host_commands() {
    return commands;
}

const host_command *find_host_command(std::string_view name) {
    const auto *found = std::ranges::find(commands, name, &host_command::name);
    return found == commands.end() ? nullptr : found;
}
