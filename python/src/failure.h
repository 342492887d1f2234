// How the module's C++ side reports a failed step: the library's status and the step's name
// travel to one translator, which raises zelp7x.Error with both.
#pragma once

#include <string>

#include <pybind11/pybind11.h>

namespace zelp7x_py {

struct board_failure {
    std::string step;
    int status;
    std::string message = {}; // empty: "STEP failed: NAME"
};

// Throws board_failure for a nonzero `status`.
void check(const char *step, int status);

// Defines zelp7x.Error in `m` and turns board_failure into it.
void register_failure(pybind11::module_ &m);

} // namespace zelp7x_py
