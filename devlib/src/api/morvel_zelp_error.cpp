#include "morvel_devlib/morvel_zelp_error.h"

#include <iterator>

extern "C" {

const char *const morvel_zelp_error_names[12] = {
    "none",  "fail", "arg",     "uninit", "package", "unsup",
    "nomem", "busy", "timeout", "more",   "config",  "crc",
};

const char *morvel_zelp_error_name(int e) {
    if (e < 0 || e >= static_cast<int>(std::size(morvel_zelp_error_names))) return "*unknown*";
    return morvel_zelp_error_names[e];
}

} // extern "C"
