// The bridge's serial function as a POSIX terminal device: exclusive, raw, and driven through
// poll so every call ends within its time limit.
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "byte_port.h"
#include "linux/polled_fd.h"

namespace zio {

namespace {

class SerialPort final : public BytePort {
  public:
    explicit SerialPort(int fd) : fd_(fd) {}
    ~SerialPort() override { close(); }
    SerialPort(const SerialPort &) = delete;
    SerialPort &operator=(const SerialPort &) = delete;

    // Keeps writing until every byte is out, as a blocking write would, but no longer than limit.
    int write(std::span<const uint8_t> bytes, Millis limit) override {
        return write_within(fd_, bytes, limit, ::write);
    }

    int read(std::span<uint8_t> bytes, Millis limit) override {
        return read_within(fd_, bytes, limit);
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
