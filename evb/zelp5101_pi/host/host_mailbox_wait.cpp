#include "host_mailbox_wait.h"

#include <optional>

#include "morvel_devlib/morvel_zelp7x.h"
#include "morvel_devlib/morvel_zelp7x_mailbox.h"

namespace {

using clock_type = std::chrono::steady_clock;

morvel_zelp_device_s *watched = nullptr;
// Set while a probe runs: a wait that has not seen its answer by then gives up.
std::optional<clock_type::time_point> probe_deadline;

// A request takes a few dozen answers; a firmware that stops answering ends it, as the library's
// own waits do, after this many polls whatever the transport's speed.
constexpr int answer_polls = 8000;

} // namespace

void watch_mailbox_of(morvel_zelp_device_s *zelp) {
    watched = zelp;
}

// Called under the host lock, which the tool's sync leaves free, so the driver's poll may run.
int zelp7x_host_mbwait(morvel_zelp_handle_t d) {
    if (watched == nullptr || watched->iif.d != d) return MORVEL_ZELP_ERROR_FAIL;
    for (int i = 0; i < answer_polls; ++i) {
        uint32_t notifications = 0;
        if (const int s = morvel_zelp7x_poll(watched, &notifications, 1); s != 0) return s;
        if (notifications & MORVEL_ZELP_NOTIFICATION_MAILBOX_IN) return MORVEL_ZELP_ERROR_NONE;
        if (probe_deadline && clock_type::now() >= *probe_deadline) break;
    }
    return MORVEL_ZELP_ERROR_TIMEOUT;
}

int probe_firmware(morvel_zelp_device_s *zelp, std::chrono::milliseconds bound, bool &answers) {
    probe_deadline = clock_type::now() + bound;
    const int s = morvel_zelp7x_mb_nop(zelp);
    probe_deadline.reset();
    answers = s == MORVEL_ZELP_ERROR_NONE;
    // Silence, or an answer the protocol refused: no firmware that serves the host.
    if (s == MORVEL_ZELP_ERROR_TIMEOUT || s == MORVEL_ZELP_ERROR_FAIL)
        return MORVEL_ZELP_ERROR_NONE;
    return s;
}
