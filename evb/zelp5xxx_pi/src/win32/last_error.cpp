// The calling thread's last system error with the system's text for it.
#include <windows.h>

#include <cstring>

#include "io_internal.h"

void print_win32_err(const zio::Reporter &report) {
    const DWORD code = GetLastError();
    char text[256] = "";
    // Without IGNORE_INSERTS a message with %1-style inserts would read arguments that are not
    // there.
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    // The system's texts end in a line break of their own; the line gets one.
    size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) text[--n] = '\0';
    report.reason(zio::format("err %ld: %s", static_cast<long>(code), text));
}
