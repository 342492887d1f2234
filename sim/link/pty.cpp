#include "link/pty.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "link/terminal_link.h"

namespace zsim {

namespace {

// How often the loop looks at the stop flag.
constexpr int kPollMillis = 100;
// An answer that a client does not take within this time is dropped.
constexpr int kSendMillis = 2000;

// Until the next answer is due or the board next raises something by itself, or the stop-flag
// look when neither comes sooner.
timespec wait_for_next(const UsbLink &link, const InterruptReports *reports) {
    auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::milliseconds(kPollMillis));
    if (const auto next = link.next_arrival())
        wait = std::clamp(
            std::chrono::duration_cast<std::chrono::nanoseconds>(*next - UsbLink::Clock::now()),
            std::chrono::nanoseconds::zero(), wait);
    if (reports)
        if (const auto next = reports->next_look()) wait = std::min(wait, *next);
    const auto ns = wait.count();
    return {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

std::string errno_text(const char *what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Raw mode on the terminal: binary bytes pass unchanged both ways.
bool make_raw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return false;
    ::cfmakeraw(&tio);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

// A raw, non-blocking pseudo-terminal: its master side and its client path.
bool open_terminal(int &master, std::string &path, std::string &error) {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        error = errno_text("posix_openpt");
        return false;
    }
    const char *name = nullptr;
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || !(name = ::ptsname(master))) {
        error = errno_text("pseudo-terminal set-up");
        ::close(master);
        return false;
    }
    path = name;
    // The terminal's modes belong to its client side; set them there once.
    const int client = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    const bool raw = client >= 0 && make_raw(client);
    if (client >= 0) ::close(client);
    if (!raw) {
        error = errno_text("raw mode");
        ::close(master);
        return false;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    return true;
}

} // namespace

std::unique_ptr<PtyServer> PtyServer::open(std::string &error, const std::string &link) {
    int master = -1;
    std::string path;
    if (!open_terminal(master, path, error)) return nullptr;
    auto clients = PtyClients::watch(path, error);
    if (!clients || (!link.empty() && !make_terminal_link(link, path, error))) {
        ::close(master);
        return nullptr;
    }
    return std::make_unique<PtyServer>(master, path, std::move(clients), link);
}

PtyServer::~PtyServer() {
    if (!link_.empty()) remove_terminal_link(link_, path_);
    ::close(master_);
}

void PtyServer::send(const std::vector<uint8_t> &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        pollfd p{master_, POLLOUT, 0};
        const int r = ::poll(&p, 1, kSendMillis);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0 || !(p.revents & POLLOUT)) return;
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) return;
        done += static_cast<size_t>(n);
    }
}

void PtyServer::serve(Board &board, const std::atomic<bool> &stop, InterruptReports *reports) {
    UsbLink link(board);
    serve(link, stop, reports);
}

void PtyServer::serve(UsbLink &link, const std::atomic<bool> &stop, InterruptReports *reports) {
    // An answer is due at a given microsecond; the default timer slack would send it up to 50 us
    // late, which the link's latency would then be blamed for.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
    while (!stop.load(std::memory_order_relaxed))
        if (!serve_once(link, reports)) return;
}

bool PtyServer::serve_once(UsbLink &link, InterruptReports *reports) {
    send(link.take_arrived(UsbLink::Clock::now()));
    if (reports) reports->look();
    std::array<pollfd, 2> p{{{clients_->fd(), POLLIN, 0}, {master_, POLLIN, 0}}};
    const timespec wait = wait_for_next(link, reports);
    const int r = ::ppoll(p.data(), p.size(), &wait, nullptr);
    if (r < 0 && errno != EINTR) return false;
    if (r <= 0) return true;
    // Comings and goings first: a new client's bytes never arrive before the close of the
    // client it follows is known.
    if (p[0].revents & POLLIN) after_clients_changed(link);
    return !(p[1].revents & POLLIN) || take_input(link);
}

ssize_t PtyServer::read_input(std::span<uint8_t> into) {
    const ssize_t n = ::read(master_, into.data(), into.size());
    // The client has taken its exclusive hold by the time it talks.
    if (n > 0) clients_->release_exclusive();
    return n;
}

bool PtyServer::take_input(UsbLink &link) {
    std::array<uint8_t, 4096> buffer{};
    const ssize_t n = read_input(buffer);
    if (n < 0) return errno == EINTR || errno == EAGAIN;
    link.send_to_bridge({buffer.data(), static_cast<size_t>(n)}, UsbLink::Clock::now());
    return true;
}

std::vector<uint8_t> PtyServer::take_waiting_input() {
    std::vector<uint8_t> bytes;
    std::array<uint8_t, 4096> buffer{};
    for (pollfd p{master_, POLLIN, 0}; ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);) {
        const ssize_t n = read_input(buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + n);
    }
    return bytes;
}

// A client that has closed the terminal wrote its last bytes before it did, so they wait in the
// master now, ahead of any a newer client wrote. While no newer client has come, all that waits
// is the departed client's. Once one has, the two are told apart by the packet the bridge holds
// half of: a client that closes writes whole packets, so the bytes that finish it are the
// departed client's, and what follows are whole packets of either. Modelled: a client killed half
// way through a packet leaves one that the bytes waiting cannot finish, and those are the newer
// client's; but when the newer client has already written more than that packet lacks, the
// bridge takes them for its rest, as a bridge that never hears of the close would.
// Then the board forgets a half packet the departed client left, and the answers on their way to
// it, and saves its flash, whose operation under way then ends (Board::host_left); the newer
// client's bytes come after.
void PtyServer::after_clients_changed(UsbLink &link) {
    for (PtyClients::Change change = clients_->take_changes(); change.left;) {
        const std::vector<uint8_t> waiting = take_waiting_input();
        const PtyClients::Change later = clients_->take_changes();
        size_t departed = waiting.size();
        if (change.present || later.came) {
            const size_t finish = link.board().bridge().bytes_to_finish(waiting);
            departed = finish <= waiting.size() ? finish : 0;
        }
        const std::span<const uint8_t> all(waiting);
        link.send_to_bridge(all.first(departed), UsbLink::Clock::now());
        clients_->release_exclusive();
        clients_->discard_unread();
        link.reset();
        link.board().host_left();
        link.send_to_bridge(all.subspan(departed), UsbLink::Clock::now());
        change = later;
    }
}

} // namespace zsim
