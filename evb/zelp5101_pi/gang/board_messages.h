// What the board I/O layer says while a board runs, kept with that board.
//
// The layer says its failures as it meets them, some without a newline ("Error during transfer
// on the Serial/SPI device"); printed on standard error, the lines of boards that run in threads
// of their own would run together, and no one could tell whose they were. So each board's open
// gives the layer a report callback that keeps the board's lines for standard error here, in the
// board's own record, touched only by the thread that runs the board; the few the layer prints on
// standard output go there as they always did.
#pragma once

#include <string>
#include <vector>

#include "zelp_linux_io.h"

class board_messages {
  public:
    board_messages() = default;
    board_messages(const board_messages &) = delete;
    board_messages &operator=(const board_messages &) = delete;

    // Where the board's open sends the layer's lines; valid as long as the object.
    zelp_io_report_s report();

    // The lines kept, in order, without their newlines; empty lines are left out.
    const std::vector<std::string> &lines() const { return lines_; }

  private:
    static void take(const zelp_io_line_s *line, void *user);

    std::vector<std::string> lines_;
};
