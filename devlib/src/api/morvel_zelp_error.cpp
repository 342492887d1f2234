#include "morvel_devlib/morvel_zelp_error.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

extern "C" {

// Sized by the enumeration: a code added without its name leaves a null entry, which the check
// below refuses at compile time, and a name too many does not compile.
constexpr const char *morvel_zelp_error_names[MORVEL_ZELP_ERROR_LAST + 1] = {
    "none", "fail",    "arg",  "uninit", "package", "unsup",           "nomem",
    "busy", "timeout", "more", "config", "crc",     "invalid_network", "data_reread",
};

const char *morvel_zelp_error_name(int e) {
    if (e < 0 || e >= static_cast<int>(std::size(morvel_zelp_error_names))) return "*unknown*";
    return morvel_zelp_error_names[e];
}

int morvel_zelp_error_step_failed(const char *step, int status, char *text, size_t size) {
    return std::snprintf(size > 0 ? text : nullptr, size, "%s failed: %s", step ? step : "",
                         morvel_zelp_error_name(status));
}

} // extern "C"

static_assert(std::ranges::none_of(morvel_zelp_error_names,
                                   [](const char *name) { return name == nullptr; }),
              "every error code of morvel_zelp_errors_e needs its name");
