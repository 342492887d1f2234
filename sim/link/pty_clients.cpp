#include "link/pty_clients.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace zsim {

std::unique_ptr<PtyClients> PtyClients::watch(const std::string &path, std::string &error) {
    // Opened before the watch, so the server's own descriptor is never counted as a client.
    const int held = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int watch = held < 0 ? -1 : ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0 || ::inotify_add_watch(watch, path.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        error = std::string("client side of ") + path + ": " + std::strerror(errno);
        if (watch >= 0) ::close(watch);
        if (held >= 0) ::close(held);
        return nullptr;
    }
    return std::make_unique<PtyClients>(held, watch);
}

PtyClients::~PtyClients() {
    ::close(watch_);
    ::close(held_);
}

PtyClients::Change PtyClients::take_changes() {
    Change change;
    alignas(inotify_event) std::array<char, 4096> buffer{};
    ssize_t n = 0;
    while ((n = ::read(watch_, buffer.data(), buffer.size())) > 0) {
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer.data() + at);
            if (event->mask & IN_OPEN) {
                ++open_;
                change.came = true;
            }
            if ((event->mask & IN_CLOSE) && open_ > 0 && --open_ == 0) change.left = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    change.present = open_ > 0;
    return change;
}

void PtyClients::release_exclusive() const {
    ::ioctl(held_, TIOCNXCL);
}

void PtyClients::discard_unread() const {
    ::tcflush(held_, TCIFLUSH);
}

} // namespace zsim
