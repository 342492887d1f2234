// The commands of zelp7x_host, one row each: the name, what its usage says, the init mode it
// opens the chip in unless -m says otherwise, the arguments it takes, and the function that runs
// it on the opened chip.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host_session.h"

// A command's arguments as given: options by letter, then the operands. A command may read its
// input files while its arguments are checked, so nothing touches the chip before a missing file
// is found.
struct command_args {
    std::map<char, uint32_t> numbers;
    std::map<char, std::string> texts; // text options; a flag holds ""
    std::vector<std::string> operands;
    std::vector<std::vector<uint8_t>> inputs;

    bool has(char letter) const { return numbers.contains(letter) || texts.contains(letter); }
    uint32_t number(char letter, uint32_t fallback) const {
        const auto it = numbers.find(letter);
        return it == numbers.end() ? fallback : it->second;
    }
};

// An option of a command: a number within [min, max], a text, or a flag without a value.
enum class option_kind { number, text, flag };
struct command_option {
    char letter;
    option_kind kind = option_kind::number;
    uint32_t min = 0;
    uint32_t max = UINT32_MAX;
};

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
    // Runs the command on the opened board; returns the library status the failure line names.
    int (*run)(host_session &session, const command_args &args);
};

std::span<const host_command> host_commands();
const host_command *find_host_command(std::string_view name);

// The commands' functions.
bool check_load(command_args &args, bool &usage);
int run_load(host_session &session, const command_args &args);
int run_info(host_session &session, const command_args &args);
bool check_posterior(command_args &args, bool &usage);
int run_posterior(host_session &session, const command_args &args);
