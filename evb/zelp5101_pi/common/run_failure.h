// How a run of the tool ends early: a failure anywhere below the run is thrown as a run_failure
// carrying the text the tool prints for it, and run_zelp7x_flash reports it and exits 1 in one
// place.
#pragma once

#include <string>

#include "morvel_flash/morvel_zelp7x_flash.h"

struct run_failure {
    bool on_stderr;
    std::string text; // printed as it is, newline included
    int status = 0;   // the library error code behind it, 0 for a failure of the tool's own
};

// "<step> failed: <error name>" on standard output, for a library or board I/O call that failed.
[[noreturn]] void fail_step(const char *step, int status);
inline void check_step(const char *step, int status) {
    if (status != 0) fail_step(step, status);
}
// A message of the tool's own on standard error; `text` ends with its newline.
[[noreturn]] void fail_message(std::string text);
// What a flash library call reported, as the tool has always printed it.
[[noreturn]] void fail_flash(const morvel_zelp7x_flash_failure_s &failure);

void report_failure(const run_failure &failure);
