#include "host_mailbox_wait.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "morvel_devlib/morvel_zelp7x.h"

namespace {

// The devices being watched, each found by its board's handle. Boards open and close on any
// thread, so the list has a lock of its own.
std::mutex watched_lock;
std::vector<morvel_zelp_device_s *> watched;

// A request takes a few dozen answers; a firmware that stops answering ends it, as the library's
// own waits do, after this many polls whatever the transport's speed.
constexpr int answer_polls = 8000;

morvel_zelp_device_s *watched_device(morvel_zelp_handle_t d) {
    const std::lock_guard lock(watched_lock);
    const auto it = std::ranges::find_if(watched, [d](auto *z) { return z->iif.d == d; });
    return it == watched.end() ? nullptr : *it;
}

} // namespace

void watch_mailbox_of(morvel_zelp_device_s *zelp) {
    const std::lock_guard lock(watched_lock);
    if (zelp != nullptr && std::ranges::find(watched, zelp) == watched.end())
        watched.push_back(zelp);
}

void stop_watching_mailbox_of(morvel_zelp_device_s *zelp) {
    const std::lock_guard lock(watched_lock);
    std::erase(watched, zelp);
}

// Called under the host lock, which the tool's sync leaves free, so the driver's poll may run.
int zelp7x_host_mbwait(morvel_zelp_handle_t d) {
    morvel_zelp_device_s *zelp = watched_device(d);
    if (zelp == nullptr) return MORVEL_ZELP_ERROR_FAIL;
    for (int i = 0; i < answer_polls; ++i) {
        uint32_t notifications = 0;
        if (const int s = morvel_zelp7x_poll(zelp, &notifications, 1); s != 0) return s;
        if (notifications & MORVEL_ZELP_NOTIFICATION_MAILBOX_IN) return MORVEL_ZELP_ERROR_NONE;
    }
    return MORVEL_ZELP_ERROR_TIMEOUT;
}
