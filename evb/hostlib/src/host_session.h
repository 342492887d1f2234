// One opened board with the device library started on it, as zelp7x_host uses it: opened through
// the board library in the command's init mode, with a mailbox wait that takes the firmware's
// answers in, and given back when the session ends.
#pragma once

#include "board_open.h"
#include "morvel_devlib/morvel_zelp.h"

class host_session {
  public:
    host_session() = default;
    host_session(const host_session &) = delete;
    host_session &operator=(const host_session &) = delete;

    // Opens the board, inits the library in `mode` and puts the chip on its input clock, except
    // in NO_TOUCH mode. A secured chip lets the host at its clock registers only through running
    // firmware, so there the clock waits until a load has started one.
    int open(const board_settings &settings, morvel_zelp_init_mode_e mode);
    // Sets the input clock if it is still due and the chip now allows it.
    int settle_input_clock() { return morvel_zelp7x_board_settle_clock(board_.get()); }

    morvel_zelp7x_board_s *board() const { return board_.get(); }
    morvel_zelp_device_s *zelp() const { return morvel_zelp7x_board_device(board_.get()); }
    morvel_evb_io_handle_t io() const { return morvel_zelp7x_board_io(board_.get()); }

  private:
    board_ptr board_;
};
