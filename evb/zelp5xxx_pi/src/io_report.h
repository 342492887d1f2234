// The one way out for the board I/O layer's lines: each goes to the report callback the host gave
// at init, or without one to the process's stream it belongs on, as the tools print it.
#pragma once

#include <string>

#include "zelp_linux_io.h"

namespace zio {

enum class Stream { out = 1, err = 2 };

class Reporter {
  public:
    Reporter() = default; // prints
    explicit Reporter(const zelp_io_report_s &report) : report_(report) {}

    // True when the lines are printed, not taken by a host.
    bool prints() const { return report_.line == nullptr; }

    // One line; `newline` false for the few the layer always printed without one.
    void say(zelp_io_line_kind_e kind, Stream stream, const std::string &text,
             bool newline = true) const;

    void error(const std::string &text, bool newline = true) const {
        say(ZELP_IO_LINE_ERROR, Stream::err, text, newline);
    }
    // A failure the layer has always printed on standard output.
    void error_out(const std::string &text) const { say(ZELP_IO_LINE_ERROR, Stream::out, text); }
    void reason(const std::string &text) const { say(ZELP_IO_LINE_REASON, Stream::err, text); }
    void advice(const std::string &text) const { say(ZELP_IO_LINE_ADVICE, Stream::err, text); }
    void trace(const std::string &text) const { say(ZELP_IO_LINE_TRACE, Stream::out, text); }
    // "TEXT: " and the system's text for errno, the reason perror prints.
    void system_error(const std::string &text) const;

  private:
    zelp_io_report_s report_{};
};

// printf into a string.
std::string format(const char *format, ...) __attribute__((format(printf, 1, 2)));

} // namespace zio
