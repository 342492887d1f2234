#include "win32/system_text.h"

#include <windows.h>

namespace zio {

std::string system_text(unsigned long code) {
    char text[256] = "";
    // Without IGNORE_INSERTS a message with %1-style inserts would read arguments that are not
    // there.
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == '.'))
        line.pop_back();
    return line;
}

} // namespace zio
