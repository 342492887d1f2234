// What the tools say of a long option they do not know: its name as given, and the known long
// option nearest to it when one is near enough to have been meant.
#pragma once

#include <span>
#include <string>
#include <string_view>

// "unknown option: --lsit (did you mean --list?)", or without the question when no known option
// is near. `given` is the argument as typed ("--NAME" or "--NAME=VALUE"); `known` the tool's long
// options, each with its "--".
std::string unknown_long_option(std::string_view given, std::span<const std::string_view> known);
