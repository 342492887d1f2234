#include "run_failure.h"

#include <cstdio>
#include <utility>

void fail_message(std::string text) {
    throw run_failure{std::move(text)};
}

void report_failure(const run_failure &failure) {
    std::fputs(failure.text.c_str(), stderr);
}
