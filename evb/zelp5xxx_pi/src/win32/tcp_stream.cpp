// A TCP connection as a byte port through Winsock: non-blocking, every call bounded like the COM
// port's, and Nagle's delay off, since every packet to the bridge is small and waits for its
// answer.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>

#include "byte_port.h"
#include "win32/system_text.h"

namespace zio {

namespace {

using Clock = std::chrono::steady_clock;

// Bound on waiting for the peer's end of the connection at close.
constexpr Millis kCloseLimit{1000};

// Winsock counts its users; each connection is one, from its start to its close.
class WinsockUse {
  public:
    WinsockUse() {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockUse() {
        if (started_) WSACleanup();
    }
    WinsockUse(const WinsockUse &) = delete;
    WinsockUse &operator=(const WinsockUse &) = delete;
    bool started() const { return started_; }

  private:
    bool started_ = false;
};

// Waits until `s` can be written (or its connect ended) or read, up to the deadline: 1 ready,
// 0 timed out, -1 failed. select, not WSAPoll: older Windows never report a failed connect to
// WSAPoll.
int wait_socket(SOCKET s, bool for_write, Clock::time_point deadline) {
    using std::chrono::microseconds;
    const auto left =
        std::max(std::chrono::ceil<microseconds>(deadline - Clock::now()), microseconds(0));
    timeval tv{static_cast<long>(left.count() / 1000000),
               static_cast<long>(left.count() % 1000000)};
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    // A connect that fails shows in the exception set, not as writable.
    const int r =
        select(0, for_write ? nullptr : &ready, for_write ? &ready : nullptr, &failed, &tv);
    if (r == SOCKET_ERROR) return -1;
    if (r == 0) return 0;
    return FD_ISSET(s, &ready) ? 1 : -1;
}

class TcpStream final : public BytePort {
  public:
    TcpStream(std::unique_ptr<WinsockUse> winsock, SOCKET s)
        : winsock_(std::move(winsock)), socket_(s) {}
    ~TcpStream() override { close(); }
    TcpStream(const TcpStream &) = delete;
    TcpStream &operator=(const TcpStream &) = delete;

    // Keeps sending until every byte is out, as a blocking send would, but no longer than limit.
    int write(std::span<const uint8_t> bytes, Millis limit) override {
        const auto deadline = Clock::now() + limit;
        size_t done = 0;
        while (done < bytes.size()) {
            const int n = send(socket_, reinterpret_cast<const char *>(bytes.data() + done),
                               static_cast<int>(bytes.size() - done), 0);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (WSAGetLastError() != WSAEWOULDBLOCK) return done ? static_cast<int>(done) : -1;
            const int ready = wait_socket(socket_, true, deadline);
            if (ready <= 0) return done ? static_cast<int>(done) : ready;
        }
        return static_cast<int>(done);
    }

    // What has arrived is taken before any wait; the wait only when nothing is there yet.
    int read(std::span<uint8_t> bytes, Millis limit) override {
        const auto deadline = Clock::now() + limit;
        for (;;) {
            const int n = recv(socket_, reinterpret_cast<char *>(bytes.data()),
                               static_cast<int>(bytes.size()), 0);
            if (n > 0) return n;
            if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) return -1; // closed or failed
            if (limit <= Millis(0)) return 0;
            const int ready = wait_socket(socket_, false, deadline);
            if (ready <= 0) return ready;
        }
    }

    void discard_input() override {}

    // Ends the connection in order: the peer learns that nothing more comes and closes its side
    // first. A server that serves one client at a time is then done with this one by the time
    // the next connects, which it might otherwise turn away as if the port were still in use.
    bool close() override {
        if (socket_ == INVALID_SOCKET) return true;
        shutdown(socket_, SD_SEND);
        std::array<uint8_t, 512> sink{};
        while (read(sink, kCloseLimit) > 0) {
        }
        const bool ok = closesocket(socket_) == 0;
        socket_ = INVALID_SOCKET;
        return ok;
    }

  private:
    std::unique_ptr<WinsockUse> winsock_;
    SOCKET socket_;
};

// A connected socket to `address`, or INVALID_SOCKET with the system's error in `error`.
SOCKET connect_to(const addrinfo &address, Clock::time_point deadline, int &error) {
    const SOCKET s = socket(address.ai_family, address.ai_socktype, address.ai_protocol);
    if (s == INVALID_SOCKET) {
        error = WSAGetLastError();
        return s;
    }
    u_long non_blocking = 1;
    error = ioctlsocket(s, FIONBIO, &non_blocking) == 0 ? 0 : WSAGetLastError();
    if (error == 0 && connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            int size = sizeof error;
            if (wait_socket(s, true, deadline) == 0)
                error = WSAETIMEDOUT;
            else if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &size) !=
                     0)
                error = WSAGetLastError();
        }
    }
    const BOOL on = TRUE;
    if (error == 0 && setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on),
                                 sizeof on) != 0)
        error = WSAGetLastError();
    if (error == 0) return s;
    closesocket(s);
    return INVALID_SOCKET;
}

} // namespace

std::unique_ptr<BytePort> connect_tcp(const std::string &host, const std::string &port,
                                      Millis limit, std::string &reason) {
    auto winsock = std::make_unique<WinsockUse>();
    if (!winsock->started()) {
        reason = "the network is not available (WSAStartup failed)";
        return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo *found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
        reason = "cannot resolve " + host + ": " + system_text(WSAGetLastError());
        return nullptr;
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, freeaddrinfo);
    const auto deadline = Clock::now() + limit;
    int error = WSAECONNREFUSED;
    // A name may stand for several addresses (IPv6 and IPv4); the first that connects is taken.
    for (const addrinfo *a = list.get(); a != nullptr; a = a->ai_next) {
        const SOCKET s = connect_to(*a, deadline, error);
        if (s != INVALID_SOCKET) return std::make_unique<TcpStream>(std::move(winsock), s);
    }
    reason = system_text(static_cast<unsigned long>(error));
    return nullptr;
}

} // namespace zio
