#include "run_failure.h"

#include <cstdio>
#include <utility>

#include "morvel_devlib/morvel_zelp_error.h"

void fail_step(const char *step, int status) {
    throw run_failure{
        false, std::string(step) + " failed: " + morvel_zelp_error_name(status) + "\n", status};
}

void fail_message(std::string text) {
    throw run_failure{true, std::move(text)};
}

void fail_flash(const morvel_zelp7x_flash_failure_s &failure) {
    switch (failure.kind) {
    case MORVEL_ZELP7X_FLASH_FAILED_CALL:
        throw run_failure{false, std::string(failure.message).append("\n"), failure.status};
    case MORVEL_ZELP7X_FLASH_FAILED_WAIT:
        // The expiry follows a progress bar on the same line, hence the leading space.
        throw run_failure{true, std::string(" ").append(failure.message).append("\n"),
                          failure.status};
    default:
        throw run_failure{true, std::string(failure.message).append("\n"), failure.status};
    }
}

void report_failure(const run_failure &failure) {
    std::fputs(failure.text.c_str(), failure.on_stderr ? stderr : stdout);
}
