// The bridge's serial function as a POSIX terminal device: exclusive, raw, and driven through
// poll so every call ends within its time limit.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "byte_port.h"

namespace zio {

namespace {

using Clock = std::chrono::steady_clock;

int millis_left(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<Millis>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` until the deadline. 1 ready, 0 timed out, -1 failed or hung up.
int wait_for(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, millis_left(deadline));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return r;
        if (p.revents & events) return 1;
        return -1; // POLLERR, POLLHUP or POLLNVAL without the event asked for
    }
}

class SerialPort final : public BytePort {
  public:
    explicit SerialPort(int fd) : fd_(fd) {}
    ~SerialPort() override { close(); }
    SerialPort(const SerialPort &) = delete;
    SerialPort &operator=(const SerialPort &) = delete;

    // Keeps writing until every byte is out, as a blocking write would, but no longer than limit.
    // The device normally has room, so the write comes first and the wait only when it is full.
    int write(std::span<const uint8_t> bytes, Millis limit) override {
        const auto deadline = Clock::now() + limit;
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) return done ? static_cast<int>(done) : -1;
            const int ready = wait_for(fd_, POLLOUT, deadline);
            if (ready <= 0) return done ? static_cast<int>(done) : ready;
        }
        return static_cast<int>(done);
    }

    // Returns as soon as some bytes are there. During a pipelined read the answer has often
    // arrived already, so the read comes first and the wait only when nothing is there yet.
    int read(std::span<uint8_t> bytes, Millis limit) override {
        const auto deadline = Clock::now() + limit;
        for (;;) {
            const ssize_t n = ::read(fd_, bytes.data(), bytes.size());
            if (n > 0) return static_cast<int>(n);
            if (n < 0 && errno == EINTR) continue;
            if (n == 0 || errno != EAGAIN) return -1; // end of file or a failed link
            const int ready = wait_for(fd_, POLLIN, deadline);
            if (ready <= 0) return ready;
        }
    }

    void discard_input() override { ::tcflush(fd_, TCIFLUSH); }

    bool close() override {
        if (fd_ < 0) return true;
        // Give the exclusive hold back so the next client can open the device.
        ::ioctl(fd_, TIOCNXCL);
        const int r = ::close(fd_);
        fd_ = -1;
        return r == 0;
    }

  private:
    int fd_;
};

// Bytes must pass unchanged: no echo, no line editing, no translation, no flow control.
bool make_raw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return false;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

} // namespace

// A bare name ("ttyACM0") lives in /dev; anything with a slash is a path as given.
std::string serial_device_path(const std::string &name) {
    if (name.empty() || name.find('/') != std::string::npos) return name;
    return "/dev/" + name;
}

namespace {

// The name of group `gid`, or its number when the system has no name for it.
std::string group_name(gid_t gid) {
    std::vector<char> buffer(4096);
    group entry{};
    group *found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->gr_name;
    return std::to_string(gid);
}

// Who may mend a refused open: the group that owns the device at `path`, and whether its members
// may read and write it.
void describe_owner(const std::string &path, OpenFailure &failure) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return;
    failure.group = group_name(st.st_gid);
    failure.group_may_open = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
}

// Fills `failure` from errno, which it keeps.
void describe_failure(const std::string &path, OpenFailure *failure) {
    const int code = errno;
    if (failure) {
        // EBUSY is what an exclusive terminal answers, EWOULDBLOCK what a held lock does.
        const bool held = code == EBUSY || code == EWOULDBLOCK;
        failure->reason = held ? "in use by another process" : std::strerror(code);
        failure->permission = code == EACCES || code == EPERM;
        if (failure->permission) describe_owner(path, *failure);
    }
    errno = code;
}

} // namespace

std::unique_ptr<BytePort> open_serial_port(const std::string &path, OpenFailure *failure) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        describe_failure(path, failure);
        return nullptr;
    }
    // TIOCEXCL does not bind the superuser, so an advisory lock, held as long as the descriptor
    // is open, keeps two tools of any user from sharing one bridge.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0 || !make_raw(fd)) {
        describe_failure(path, failure);
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return nullptr;
    }
    return std::make_unique<SerialPort>(fd);
}

} // namespace zio
