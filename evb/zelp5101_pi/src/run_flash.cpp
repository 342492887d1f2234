#include <cstdio>

#include "flash_steps.h"
#include "run_failure.h"

run_flash::run_flash(morvel_zelp_device_s *zelp, const run_options &run,
                     const morvel_zelp7x_flash_board_calls_s *board) {
    flash_.zelp = zelp;
    flash_.path = run.accel_op ? MORVEL_ZELP7X_FLASH_PATH_BRIDGE : MORVEL_ZELP7X_FLASH_PATH_MSPI;
    flash_.progress = run.quiet ? nullptr : show;
    flash_.progress_user = this;
    flash_.board = board;
}

run_flash::run_flash(morvel_zelp_device_s *zelp, const run_options &run,
                     morvel_zelp7x_flash_progress_f progress, void *user) {
    flash_.zelp = zelp;
    flash_.path = run.accel_op ? MORVEL_ZELP7X_FLASH_PATH_BRIDGE : MORVEL_ZELP7X_FLASH_PATH_MSPI;
    flash_.progress = progress;
    flash_.progress_user = user;
}

void run_flash::show(const char *phase, double fraction, void *user) {
    print_progress(fraction, phase);
    static_cast<run_flash *>(user)->shown_ = true;
}

void run_flash::fail_flash_call(const morvel_zelp7x_flash_failure_s &failure) {
    fail_flash(failure);
}

bool run_flash::end_line() {
    if (shown_) std::printf("\n");
    return shown_;
}
