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
// A million matches: more than a day of a match every 100 ms.
constexpr uint32_t max_watch_count = 1000000;
constexpr std::array watch_options{command_option{'n', option_kind::number, 1, max_watch_count},
                                   command_option{'w'},
                                   command_option{'j', option_kind::flag, 0, UINT32_MAX, "json"}};
// A megabyte of room: more than any ring or area of the chip holds.
constexpr std::array extract_options{command_option{'f', option_kind::text},
                                     command_option{'n', option_kind::number, 0, 1u << 20},
                                     command_option{'o', option_kind::text}};
constexpr std::array send_options{command_option{'o'}};
constexpr std::array gpio_options{command_option{'e', option_kind::text},
                                  command_option{'v', option_kind::text},
                                  command_option{'i', option_kind::number, 0, 1}};
constexpr std::array serial_options{command_option{'w', option_kind::text},
                                    command_option{'r', option_kind::number, 0, 1u << 16}};
constexpr std::array status_options{command_option{'c', option_kind::flag}};
constexpr std::array dump_options{command_option{'o', option_kind::text}};
// Up to a day: 2.7 GB of 16-bit samples, which a WAV file still holds.
constexpr std::array record_options{command_option{'d', option_kind::number, 1, 86400},
                                    command_option{'o', option_kind::text},
                                    command_option{'f', option_kind::text}};

constexpr std::array commands{
    host_command{"load", "load [-c N] PACKAGE...",
                 "load each package in order, N bytes per call (default 1024)",
                 MORVEL_ZELP_INIT_MODE_RESET, load_options, 1, any_number, check_load, run_load,
                 prepare_load},
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
    host_command{"watch", "watch [-n COUNT] [-w MS]",
                 "poll and print matches until COUNT were seen (default 1) or MS ms passed "
                 "(default 10000)",
                 MORVEL_ZELP_INIT_MODE_RESTART, watch_options, 0, 0, nullptr, run_watch},
    host_command{"extract",
                 "extract input|features|static|accel [-f match|unread|oldest|newest] [-n BYTES] "
                 "-o FILE",
                 "bytes out of a ring or feature area into FILE (default from newest)",
                 MORVEL_ZELP_INIT_MODE_RESTART, extract_options, 1, 1, check_extract, run_extract},
    host_command{"send", "send FILE [-o OFFSET]",
                 "stream a file to the chip, or (with -o) into static feature memory",
                 MORVEL_ZELP_INIT_MODE_RESTART, send_options, 1, 1, check_send, run_send},
    host_command{"gpio", "gpio [-e MASK=VALUES] [-v MASK=VALUES] [-i 0|1]",
                 "set output enables, pin values, input enable; always prints the state",
                 MORVEL_ZELP_INIT_MODE_RESTART, gpio_options, 0, 0, check_gpio, run_gpio},
    host_command{"serial", "serial i2c|spi0..spi3 ADDR [-w HEX] [-r N]",
                 "a serial transfer through the chip", MORVEL_ZELP_INIT_MODE_RESTART,
                 serial_options, 2, 2, check_serial, run_serial},
    host_command{"status", "status [-c]", "mailbox counters and missed frames; -c clears them",
                 MORVEL_ZELP_INIT_MODE_RESTART, status_options, 0, 0, nullptr, run_status},
    host_command{"dump", "dump fw|agc|ph -o FILE", "a firmware state record",
                 MORVEL_ZELP_INIT_MODE_RESTART, dump_options, 1, 1, check_dump, run_dump},
    host_command{"record", "record -d SECONDS -o FILE [-f unread|newest]",
                 "the tank's audio for SECONDS without a break into FILE (default from newest)",
                 MORVEL_ZELP_INIT_MODE_RESTART, record_options, 0, 0, check_record, run_record},
};

} // namespace

std::span<const host_command> host_commands() {
    return commands;
}

const host_command *find_host_command(std::string_view name) {
    const auto *found = std::ranges::find(commands, name, &host_command::name);
    return found == commands.end() ? nullptr : found;
}
