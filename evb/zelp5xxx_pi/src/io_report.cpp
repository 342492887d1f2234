// The layer's lines: to the host's callback, or printed as the tools print them.
#include "io_report.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace zio {

void Reporter::say(zelp_io_line_kind_e kind, Stream stream, const std::string &text,
                   bool newline) const {
    const zelp_io_line_s line{kind, static_cast<int>(stream), text.c_str(), newline ? 1 : 0};
    if (report_.line)
        report_.line(&line, report_.user);
    else
        zelp_linux_io_print_line(&line);
}

void Reporter::system_error(const std::string &text) const {
    const int code = errno;
    reason(text + ": " + std::strerror(code));
    errno = code;
}

std::string format(const char *format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

} // namespace zio

extern "C" {

void zelp_linux_io_print_line(const zelp_io_line_s *line) {
    if (!line || !line->text) return;
    // One write, so another thread's line cannot land between the text and its newline.
    std::string text = line->text;
    if (line->newline) text += '\n';
    std::fwrite(text.data(), 1, text.size(), line->stream == 1 ? stdout : stderr);
}

void zelp_linux_io_unbuffer_stdout(void) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
}

} // extern "C"
