#include "board_record.h"

#include "morvel_devlib/morvel_zelp_error.h"

namespace zboard {

void fill_failure(morvel_zelp7x_board_failure_s *out, const char *step, int status,
                  const std::string &reason) {
    if (out == nullptr) return;
    *out = {};
    if (status == 0) return;
    out->status = status;
    out->step = step;
    morvel_zelp_error_step_failed(step, status, out->message, sizeof out->message);
    copy_text(out->reason, reason);
}

} // namespace zboard
