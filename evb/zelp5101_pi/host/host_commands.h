// The commands of zelp7x_host, one row each: the name, what its usage says, the init mode it
// opens the chip in unless -m says otherwise, the arguments it takes, and the function that runs
// it on the opened chip.
#pragma once

#include "input_file.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "morvel_host/morvel_zelp7x_host.h"

// A command's arguments as given: options by letter, then the operands. A command may read its
// input files while its arguments are checked, so nothing touches the chip before a missing file
// is found.
struct command_args {
    std::map<char, uint32_t> numbers;
    std::map<char, std::string> texts; // text options; a flag holds ""
    std::vector<std::string> operands;

    bool has(char letter) const { return numbers.contains(letter) || texts.contains(letter); }
    uint32_t number(char letter, uint32_t fallback) const {
        const auto it = numbers.find(letter);
        return it == numbers.end() ? fallback : it->second;
    }
};

// An option of a command: a number within [min, max], a text, or a flag without a value. One with
// a long name is given only as --NAME (a flag); its letter is the key it is kept under.
enum class option_kind { number, text, flag };
struct command_option {
    char letter;
    option_kind kind = option_kind::number;
    uint32_t min = 0;
    uint32_t max = UINT32_MAX;
    std::string_view long_name = {};
};

// A word of the command line and what it stands for.
template <typename T>
struct named_value {
    std::string_view name;
    T value;
};

template <typename T, size_t N>
std::optional<T> value_named(const std::array<named_value<T>, N> &table, std::string_view name) {
    for (const named_value<T> &n : table)
        if (n.name == name) return n.value;
    return std::nullopt;
}

// A session that is closed when it goes.
struct host_closer {
    void operator()(morvel_zelp7x_host_s *h) const { morvel_zelp7x_host_close(h); }
};
using host_ptr = std::unique_ptr<morvel_zelp7x_host_s, host_closer>;

// What a command's run returns for a failure it has already described in its own words: the run
// ends with status 1 without a "COMMAND failed" line.
constexpr int failure_reported = -1;

struct host_command {
    std::string_view name;
    std::string_view synopsis; // the command and its arguments, as the usage shows them
    std::string_view summary;
    morvel_zelp_init_mode_e default_mode;
    std::span<const command_option> options;
    size_t min_operands;
    size_t max_operands;
    // Checks what the option and operand counts cannot; false after saying why, with `usage`
    // set when the usage should follow.
    bool (*check)(command_args &args, bool &usage);
    // Runs the command on the opened board; returns the library status the failure line names,
    // or failure_reported.
    int (*run)(morvel_zelp7x_host_s *host, const command_args &args);
    // What a command must know before the board is opened (opening may reset the chip): the
    // library status the failure line names, or failure_reported; none when it needs nothing.
    int (*prepare)(const command_args &args) = nullptr;
};

std::span<const host_command> host_commands();
const host_command *find_host_command(std::string_view name);

// Checks that each operand's file opens, reads and is within the input bound; false after naming
// the first that is not. The files themselves are read piece by piece when the command runs.
bool read_operand_files(command_args &args);
// Says why `path` could not be read as `r` tells: "cannot read" when it does not open, else
// "NAME: REASON".
void report_unreadable(const std::string &path, const mvpkg::input_read &r);
void report_unreadable(const std::string &path, const morvel_zelp7x_host_input_s &r);
// False after saying so when option `letter` is missing; the usage follows.
bool require_option(const command_args &args, char letter, bool &usage);
// Says what is wrong with an argument; the usage follows.
bool refuse_argument(const char *what, const std::string &arg, bool &usage);
// Where a command reports what it wrote to `path`: standard error when the bytes themselves went
// to standard output, so they arrive there alone.
std::FILE *report_stream(const std::string &path);

// How matches are shown: each one's line, and where "no match within MS ms" goes.
struct match_output {
    std::FILE *lines = stdout;
    std::FILE *timeout = stdout;
    std::function<void(std::FILE *lines, const morvel_zelp7x_host_match_s &match)> print = {};
};
// Takes matches in until `count` were seen or `wait_ms` passed, each one's line on `report` (or
// as `output` says). Returns the library's status, or failure_reported after "no match within
// MS ms".
int wait_for_matches(morvel_zelp7x_host_s *host, uint32_t count, uint32_t wait_ms,
                     std::FILE *report = stdout);
int wait_for_matches(morvel_zelp7x_host_s *host, uint32_t count, uint32_t wait_ms,
                     const match_output &output);

// The commands' functions.
bool check_load(command_args &args, bool &usage);
int prepare_load(const command_args &args);
int run_load(morvel_zelp7x_host_s *host, const command_args &args);
int run_info(morvel_zelp7x_host_s *host, const command_args &args);
bool check_posterior(command_args &args, bool &usage);
int run_posterior(morvel_zelp7x_host_s *host, const command_args &args);
bool check_extract(command_args &args, bool &usage);
int run_extract(morvel_zelp7x_host_s *host, const command_args &args);
int run_watch(morvel_zelp7x_host_s *host, const command_args &args);
bool check_send(command_args &args, bool &usage);
int run_send(morvel_zelp7x_host_s *host, const command_args &args);
bool check_gpio(command_args &args, bool &usage);
int run_gpio(morvel_zelp7x_host_s *host, const command_args &args);
bool check_serial(command_args &args, bool &usage);
int run_serial(morvel_zelp7x_host_s *host, const command_args &args);
int run_status(morvel_zelp7x_host_s *host, const command_args &args);
bool check_record(command_args &args, bool &usage);
int run_record(morvel_zelp7x_host_s *host, const command_args &args);
bool check_dump(command_args &args, bool &usage);
int run_dump(morvel_zelp7x_host_s *host, const command_args &args);
