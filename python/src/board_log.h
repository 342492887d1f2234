// Where a board's lines go: the board I/O layer's lines (its failures, their reasons, advice and
// traces) and what the choice of a bridge says, to the Python logger "zelp7x", never to the
// process's streams. The first reason the layer gives in a call is kept for that call's
// zelp7x.Error.
#pragma once

#include <string>

#include "morvel_evb_io/zelp_linux_io.h"

namespace zelp7x_py {

class board_log {
  public:
    // For the board options: the layer's lines, and the bridge choice's lines.
    zelp_io_report_s io_report() { return {&board_log::io_line, this}; }
    static void message(const char *line, void *user);

    // The first reason line since the last start_call(), or "".
    const std::string &reason() const { return reason_; }
    void start_call() { reason_.clear(); }

  private:
    static void io_line(const zelp_io_line_s *line, void *user);

    std::string reason_;
};

} // namespace zelp7x_py
