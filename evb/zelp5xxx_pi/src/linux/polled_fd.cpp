#include "linux/polled_fd.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace zio {

namespace {

using Clock = std::chrono::steady_clock;

int millis_left(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<Millis>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

int wait_until(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, millis_left(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return r;
        if (p.revents & events) return 1;
        return -1; // POLLERR, POLLHUP or POLLNVAL without the event asked for
    }
}

} // namespace

int wait_for(int fd, short events, Millis limit) {
    return wait_until(fd, events, Clock::now() + limit);
}

// The device normally has room, so the write comes first and the wait only when it is full.
int write_within(int fd, std::span<const uint8_t> bytes, Millis limit, WriteCall write_call) {
    const auto deadline = Clock::now() + limit;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write_call(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return done ? static_cast<int>(done) : -1;
        const int ready = wait_until(fd, POLLOUT, deadline);
        if (ready <= 0) return done ? static_cast<int>(done) : ready;
    }
    return static_cast<int>(done);
}

// During a pipelined read the answer has often arrived already, so the read comes first and the
// wait only when nothing is there yet.
int read_within(int fd, std::span<uint8_t> bytes, Millis limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const ssize_t n = ::read(fd, bytes.data(), bytes.size());
        if (n > 0) return static_cast<int>(n);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || errno != EAGAIN) return -1; // end of file or a failed link
        if (limit <= Millis(0)) return 0;
        const int ready = wait_until(fd, POLLIN, deadline);
        if (ready <= 0) return ready;
    }
}

} // namespace zio
