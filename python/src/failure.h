// How the module's C++ side reports a failed step: the library's status, the step's name and the
// system's reason travel to one translator, which raises zelp7x.Error with them.
#pragma once

#include <string>
#include <string_view>

#include <pybind11/pybind11.h>

namespace zelp7x_py {

struct board_failure {
    std::string step;
    int status;
    std::string message = {}; // empty: "STEP failed: NAME"
    std::string reason = {};  // why, in the system's or the board I/O layer's words; may be empty
};

// Throws board_failure for a nonzero `status`, with `reason` when one is known.
void check(const char *step, int status, const std::string &reason = {});

// Text that comes from the system (a port's name, a reason, a USB serial number): UTF-8, with
// bytes that are none shown as replacement characters.
pybind11::str system_text(std::string_view text);

// Defines zelp7x.Error in `m` and turns board_failure into it.
void register_failure(pybind11::module_ &m);

} // namespace zelp7x_py
