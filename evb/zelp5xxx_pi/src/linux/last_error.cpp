// The calling thread's last system error, as the I/O layer says it.
#include <cerrno>
#include <cstring>

#include "io_internal.h"

void print_win32_err(const zio::Reporter &report) {
    const int code = errno;
    report.reason("err " + std::to_string(code) + ": " + std::strerror(code));
}
