// Short error names and the last system error, as the I/O layer prints them.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "io_internal.h"
#include "morvel_devlib/morvel_zelp_error.h"

const char *error_name(int e) {
    return morvel_zelp_error_name(e);
}

void print_win32_err() {
    const int code = errno;
    std::fprintf(stderr, "err %ld: %s\n", static_cast<long>(code), std::strerror(code));
}
