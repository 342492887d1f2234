// The command line of zelp7x_flash.
#pragma once

#include <string_view>
#include <vector>

#include "number_arg.h"
#include "run_options.h"

enum class parse_outcome { run, exit_success, exit_failure };

// Parses the whole command line into `run` (its `device_type` reset to 0 first),
// printing whatever the outcome calls for: the usage for -h, the error and the usage for a bad
// option. Stops at the first option that ends the run, so options after -h are not parsed.
parse_outcome parse_options(int argc, char **argv, run_options &run);

// The flash option letters, as zelp7x_flash and zelp7x_gang both read them with getopt.
inline constexpr const char *flash_option_string = "3a:Ab:B:c:deEF:hr:Rs:t:qQUv:w:";

// Where a flash option letter's value goes besides the run, and the usage an error prints.
struct flash_option_context {
    int &device_type; // -t
    void (*usage)();
};

// Applies one letter getopt returned (anything but -h, which each tool answers itself) with the
// messages zelp7x_flash prints for a bad value or an unknown letter.
parse_outcome apply_flash_option(int letter, const char *arg, run_options &run,
                                 const flash_option_context &context);

// Takes `arg` when it is one of the long options that shape a run (--skip-unchanged).
bool apply_run_long_option(const char *arg, run_options &run);
// Their names, each with its "--".
std::vector<std::string_view> run_long_option_names();
