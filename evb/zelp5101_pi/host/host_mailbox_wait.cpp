#include "host_mailbox_wait.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <vector>

#include "morvel_devlib/morvel_zelp7x.h"
#include "morvel_devlib/morvel_zelp7x_mailbox.h"

namespace {

using clock_type = std::chrono::steady_clock;

// A device being watched, found by its board's handle. `deadline` is set while a probe runs on
// it: a wait that has not seen its answer by then gives up.
struct watched_device {
    morvel_zelp_device_s *zelp = nullptr;
    std::optional<clock_type::time_point> deadline;
};

// Boards open, close and probe on any thread, so the list has a lock of its own.
std::mutex watched_lock;
std::vector<watched_device> watched;

// A request takes a few dozen answers; a firmware that stops answering ends it, as the library's
// own waits do, after this many polls whatever the transport's speed.
constexpr int answer_polls = 8000;

// A copy, so that the wait polls without the lock.
std::optional<watched_device> watched_by_handle(morvel_zelp_handle_t d) {
    const std::lock_guard lock(watched_lock);
    const auto it =
        std::ranges::find_if(watched, [d](const auto &w) { return w.zelp->iif.d == d; });
    if (it == watched.end()) return std::nullopt;
    return *it;
}

void set_probe_deadline(morvel_zelp_device_s *zelp,
                        std::optional<clock_type::time_point> deadline) {
    const std::lock_guard lock(watched_lock);
    const auto it = std::ranges::find(watched, zelp, &watched_device::zelp);
    if (it != watched.end()) it->deadline = deadline;
}

} // namespace

void watch_mailbox_of(morvel_zelp_device_s *zelp) {
    const std::lock_guard lock(watched_lock);
    if (zelp != nullptr && std::ranges::find(watched, zelp, &watched_device::zelp) == watched.end())
        watched.push_back({zelp, std::nullopt});
}

void stop_watching_mailbox_of(morvel_zelp_device_s *zelp) {
    const std::lock_guard lock(watched_lock);
    std::erase_if(watched, [zelp](const auto &w) { return w.zelp == zelp; });
}

// Called under the host lock, which the tool's sync leaves free, so the driver's poll may run.
int zelp7x_host_mbwait(morvel_zelp_handle_t d) {
    const std::optional<watched_device> w = watched_by_handle(d);
    if (!w) return MORVEL_ZELP_ERROR_FAIL;
    for (int i = 0; i < answer_polls; ++i) {
        uint32_t notifications = 0;
        if (const int s = morvel_zelp7x_poll(w->zelp, &notifications, 1); s != 0) return s;
        if (notifications & MORVEL_ZELP_NOTIFICATION_MAILBOX_IN) return MORVEL_ZELP_ERROR_NONE;
        if (w->deadline && clock_type::now() >= *w->deadline) break;
    }
    return MORVEL_ZELP_ERROR_TIMEOUT;
}

int probe_firmware(morvel_zelp_device_s *zelp, std::chrono::milliseconds bound, bool &answers) {
    set_probe_deadline(zelp, clock_type::now() + bound);
    const int s = morvel_zelp7x_mb_nop(zelp);
    set_probe_deadline(zelp, std::nullopt);
    answers = s == MORVEL_ZELP_ERROR_NONE;
    // Silence, or an answer the protocol refused: no firmware that serves the host.
    if (s == MORVEL_ZELP_ERROR_TIMEOUT || s == MORVEL_ZELP_ERROR_FAIL)
        return MORVEL_ZELP_ERROR_NONE;
    return s;
}
