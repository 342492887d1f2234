#include "host_mailbox_wait.h"

#include "morvel_devlib/morvel_zelp7x.h"

namespace {

morvel_zelp_device_s *watched = nullptr;

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
    }
    return MORVEL_ZELP_ERROR_TIMEOUT;
}
