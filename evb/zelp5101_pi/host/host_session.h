// One opened board with the device library started on it, as zelp7x_host uses it: opened as the
// flash tool opens it, with a mailbox wait that takes the firmware's answers in, and given back
// when the session ends.
#pragma once

#include "board_open.h"
#include "morvel_devlib/morvel_zelp.h"

class host_session {
  public:
    host_session() = default;
    ~host_session();
    host_session(const host_session &) = delete;
    host_session &operator=(const host_session &) = delete;

    // Opens the board, inits the library in `mode` and puts the chip on its input clock, except
    // in NO_TOUCH mode. A secured chip lets the host at its clock registers only through running
    // firmware, so there the clock waits until a load has started one.
    int open(board_settings &settings, morvel_zelp_init_mode_e mode);
    // Sets the input clock if it is still due and the chip now allows it.
    int settle_input_clock();

    morvel_zelp_device_s *zelp() const { return zelp_; }
    morvel_evb_io_handle_t io() const { return io_; }

  private:
    morvel_evb_io_handle_t io_ = nullptr;
    morvel_zelp_device_s *zelp_ = nullptr;
    int input_freq_ = 0;
    bool clock_due_ = false;
};
