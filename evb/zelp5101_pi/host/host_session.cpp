#include "host_session.h"

#include <cstdlib>

#include "callbacks.h"
#include "host_mailbox_wait.h"
#include "input_clock.h"

namespace {

bool firmware_runs(const morvel_zelp7x_device_s &z) {
    return z.fw_loaded != 0 || z.fw_state_addr != 0;
}

} // namespace

host_session::~host_session() {
    stop_watching_mailbox_of(zelp_);
    // NO_TOUCH: the chip stays as the command left it; only the handle is given back.
    if (zelp_ != nullptr && zelp_->init)
        morvel_zelp_uninit(zelp_, 1, MORVEL_ZELP_INIT_MODE_NO_TOUCH);
    else
        std::free(zelp_);
    if (io_ != nullptr) zelp_linux_io_uninit(io_);
}

int host_session::open(board_settings &settings, morvel_zelp_init_mode_e mode) {
    int io_device_type = 0;
    int s = open_board_io(settings, io_, io_device_type);
    if (s != 0) return s;
    choose_input_freq(settings, io_device_type);
    input_freq_ = settings.input_freq;
    // The mailbox wait needs the handle during init already (a restart on a secured chip reads
    // through the firmware), so the host allocates it rather than the library.
    zelp_ = static_cast<morvel_zelp_device_s *>(std::calloc(1, sizeof(morvel_zelp_device_s)));
    if (zelp_ == nullptr) return MORVEL_ZELP_ERROR_NOMEM;
    watch_mailbox_of(zelp_);
    morvel_zelp_integration_interfaces_s iif = zelp7x_flash_interfaces(io_);
    iif.mbwait = zelp7x_host_mbwait;
    s = start_device(iif, mode, zelp_);
    if (s != 0) return s;
    clock_due_ = mode != MORVEL_ZELP_INIT_MODE_NO_TOUCH;
    return settle_input_clock();
}

int host_session::settle_input_clock() {
    const morvel_zelp7x_device_s &z = zelp_->d.zelp7x;
    if (!clock_due_ || (z.secured && !firmware_runs(z))) return MORVEL_ZELP_ERROR_NONE;
    clock_due_ = false;
    return set_input_clock(zelp_, input_freq_);
}
