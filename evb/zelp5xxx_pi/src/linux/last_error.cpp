// The calling thread's last system error, as the I/O layer prints it.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "io_internal.h"

void print_win32_err() {
    const int code = errno;
    std::fprintf(stderr, "err %ld: %s\n", static_cast<long>(code), std::strerror(code));
}
