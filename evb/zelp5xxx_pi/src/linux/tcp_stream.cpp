// A TCP connection as a byte port: non-blocking, every call bounded like the serial port's, and
// Nagle's delay off, since every packet to the bridge is small and waits for its answer.
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "byte_port.h"
#include "linux/polled_fd.h"

namespace zio {

namespace {

using Clock = std::chrono::steady_clock;

// Bound on waiting for the peer's end of the connection at close.
constexpr Millis kCloseLimit{1000};

// A peer that went away must fail the call, not end the process with SIGPIPE.
ssize_t send_quietly(int fd, const void *bytes, size_t size) {
    return ::send(fd, bytes, size, MSG_NOSIGNAL);
}

class TcpStream final : public BytePort {
  public:
    explicit TcpStream(int fd) : fd_(fd) {}
    ~TcpStream() override { close(); }
    TcpStream(const TcpStream &) = delete;
    TcpStream &operator=(const TcpStream &) = delete;

    int write(std::span<const uint8_t> bytes, Millis limit) override {
        return write_within(fd_, bytes, limit, send_quietly);
    }
    int read(std::span<uint8_t> bytes, Millis limit) override {
        return read_within(fd_, bytes, limit);
    }
    void discard_input() override {}
    // Ends the connection in order: the peer learns that nothing more comes and closes its side
    // first. A server that serves one client at a time is then done with this one by the time
    // the next connects, which it might otherwise turn away as if the port were still in use.
    bool close() override {
        if (fd_ < 0) return true;
        ::shutdown(fd_, SHUT_WR);
        std::array<uint8_t, 512> sink{};
        while (read_within(fd_, sink, kCloseLimit) > 0) {
        }
        const int r = ::close(fd_);
        fd_ = -1;
        return r == 0;
    }

  private:
    int fd_;
};

// A connected socket to `address`, or -1 with the system's error in `error`.
int connect_to(const addrinfo &address, Millis limit, int &error) {
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            address.ai_protocol);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    error = 0;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            socklen_t size = sizeof error;
            if (wait_for(fd, POLLOUT, limit) == 0)
                error = ETIMEDOUT;
            else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                error = errno;
        }
    }
    const int on = 1;
    if (error == 0 && ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0)
        error = errno;
    if (error == 0) return fd;
    ::close(fd);
    return -1;
}

} // namespace

std::unique_ptr<BytePort> connect_tcp(const std::string &host, const std::string &port,
                                      Millis limit, std::string &reason) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (const int r = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); r != 0) {
        reason = "cannot resolve " + host + ": " + ::gai_strerror(r);
        return nullptr;
    }
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, ::freeaddrinfo);
    const auto deadline = Clock::now() + limit;
    int error = ECONNREFUSED;
    // A name may stand for several addresses (IPv6 and IPv4); the first that connects is taken.
    for (const addrinfo *a = list.get(); a != nullptr; a = a->ai_next) {
        const auto left = std::chrono::ceil<Millis>(deadline - Clock::now());
        const int fd = connect_to(*a, std::max(left, Millis(0)), error);
        if (fd >= 0) return std::make_unique<TcpStream>(fd);
    }
    reason = std::strerror(error);
    return nullptr;
}

} // namespace zio
