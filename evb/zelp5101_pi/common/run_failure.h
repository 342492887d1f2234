// How reading or writing a board tool's file ends its run: the failure is thrown as a run_failure
// carrying the text the tool prints for it on standard error, and the tool reports it and exits
// 1 in one place.
#pragma once

#include <string>

struct run_failure {
    std::string text; // printed as it is, newline included
};

// A message of the tool's own on standard error; `text` ends with its newline.
[[noreturn]] void fail_message(std::string text);

void report_failure(const run_failure &failure);
