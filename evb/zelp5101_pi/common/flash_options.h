// zelp7x_flash's option letters and long options, as zelp7x_flash and zelp7x_gang both read them.
#pragma once

#include <string_view>
#include <vector>

#include "run_options.h"

enum class parse_outcome { run, exit_success, exit_failure };

// The flash option letters, for getopt.
inline constexpr const char *flash_option_string = "3a:Ab:B:c:deEF:hr:Rs:t:qQUv:w:";

// Applies one letter getopt returned (anything but -h, which each tool answers itself) with the
// messages zelp7x_flash prints for a bad value or an unknown letter; `usage` prints the tool's
// usage after such a message.
parse_outcome apply_flash_option(int letter, const char *arg, run_options &run, void (*usage)());

// Takes `arg` when it is one of the long options that shape a run (--skip-unchanged).
bool apply_run_long_option(const char *arg, run_options &run);
// Their names, each with its "--".
std::vector<std::string_view> run_long_option_names();
