// The host's lock around an operation on a device handle: its sync callback before, its unsync
// callback after, and one rule for the code the caller sees.
#pragma once

#include "morvel_devlib/morvel_zelp.h"

namespace devlib {

// Holds the host's lock from construction until release() or the end of the scope, and gives it
// back exactly once. The callbacks are copied when the lock is taken, so an operation that ends
// the handle (uninit) still unlocks through the host that locked.
class HostLock {
  public:
    explicit HostLock(const morvel_zelp_integration_interfaces_s &iif)
        : unsync_(iif.unsync), d_(iif.d), status_(iif.sync(iif.d)) {}
    ~HostLock() {
        if (held()) unsync_(d_);
    }
    HostLock(const HostLock &) = delete;
    HostLock &operator=(const HostLock &) = delete;

    // Sync's code: nonzero when the lock was not taken.
    int status() const { return status_; }

    // Gives the lock back and returns the code of the whole bracket: the operation's error wins;
    // unsync's error is reported only when the operation succeeded.
    int release(int result) {
        if (!held()) return result;
        released_ = true;
        const int u = unsync_(d_);
        return result != 0 ? result : u;
    }

  private:
    bool held() const { return status_ == 0 && !released_; }

    morvel_zelp_unsync_f unsync_;
    morvel_zelp_handle_t d_;
    int status_;
    bool released_ = false;
};

// Runs op under the host's lock. A failing sync is the result, and neither op nor unsync runs.
template <typename Op>
int with_host_lock(const morvel_zelp_integration_interfaces_s &iif, Op &&op) {
    HostLock lock(iif);
    if (lock.status() != 0) return lock.status();
    return lock.release(op());
}

} // namespace devlib
