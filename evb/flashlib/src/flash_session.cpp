#include "flash_session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "flash_ops.h"
#include "flash_range.h"
#include "morvel_board/morvel_zelp7x_board.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "zelp_linux_io.h"

namespace zflash {

namespace {

constexpr morvel_zelp7x_flash_board_calls_s board_io_calls = {
    zelp_linux_io_usb_serial_flash_rw_command, zelp_linux_io_pipeline_begin,
    zelp_linux_io_pipeline_end};

} // namespace

void fail_call(const char *step, int status) {
    char text[sizeof(morvel_zelp7x_flash_failure_s::message)];
    morvel_zelp_error_step_failed(step, status, text, sizeof text);
    throw flash_failure{MORVEL_ZELP7X_FLASH_FAILED_CALL, status, step, text};
}

void fail_wait(int elapsed_ms) {
    char text[64];
    std::snprintf(text, sizeof text, "flash wait expired after %d MS", elapsed_ms);
    throw flash_failure{MORVEL_ZELP7X_FLASH_FAILED_WAIT, MORVEL_ZELP_ERROR_TIMEOUT, "flash wait",
                        text};
}

void fail_argument(const char *step, const char *message) {
    throw flash_failure{MORVEL_ZELP7X_FLASH_FAILED_ARGUMENT, MORVEL_ZELP_ERROR_ARG, step, message};
}

void fail_busy() {
    throw flash_failure{MORVEL_ZELP7X_FLASH_FAILED_ARGUMENT, MORVEL_ZELP_ERROR_BUSY,
                        "flash session", "flash session already in a call"};
}

void record_failure(morvel_zelp7x_flash_failure_s *out, const flash_failure &f) {
    if (out == nullptr) return;
    out->status = f.status;
    out->kind = f.kind;
    out->step = f.step;
    const size_t n = std::min(f.message.size(), sizeof out->message - 1);
    std::memcpy(out->message, f.message.data(), n);
    out->message[n] = '\0';
}

session::session(morvel_zelp7x_flash_s &f)
    : f_(f), board_(f.board != nullptr ? f.board : &board_io_calls), path_(&path_of(f.path)) {}

void session::check_range(uint64_t address, uint64_t count, const char *step) const {
    const std::string problem = range_problem(f_.capacity, address, count, step);
    if (!problem.empty()) fail_argument(step, problem.c_str());
}

morvel_evb_io_handle_t session::io() const {
    return morvel_zelp7x_board_device_io(f_.zelp);
}

} // namespace zflash
