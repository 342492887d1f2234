#include "support/process/ser2net_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace ztest {

namespace fs = std::filesystem;

namespace {

// Some other process may take a free port between our look and ser2net's bind; then ser2net
// goes on without it and another set of ports is tried.
constexpr int kAttempts = 5;

// True once every port has a listener on the loopback address (the kernel's table of IPv4
// sockets: local address as hex "0100007F:PORT", state 0A listening).
bool all_listening(const std::vector<uint16_t> &ports) {
    std::ifstream in("/proc/net/tcp");
    const std::string table((std::istreambuf_iterator<char>(in)), {});
    for (const uint16_t port : ports) {
        char local[32];
        std::snprintf(local, sizeof local, "0100007F:%04X 00000000:0000 0A", port);
        if (table.find(local) == std::string::npos) return false;
    }
    return true;
}

} // namespace

std::string ser2net_config(const std::vector<std::string> &devices,
                           const std::vector<uint16_t> &ports, const std::string &address) {
    std::ostringstream out;
    for (size_t k = 0; k < devices.size(); ++k)
        // nodelay: every answer leaves at once, not after the client's acknowledgement of the
        // last; chardelay off: ser2net does not hold what the bridge sends waiting for more;
        // buffers of 4096 bytes: a block of the bridge's flash commands moves in one read and
        // one write, not in pieces of 64 bytes.
        out << "connection: &board" << k << "\n"
            << "  accepter: telnet(rfc2217),tcp(nodelay)," << address << "," << ports.at(k) << "\n"
            << "  connector: serialdev," << devices[k] << ",115200n81,local\n"
            << "  options:\n"
            << "    max-connections: 1\n"
            << "    chardelay: false\n"
            << "    dev-to-net-bufsize: 4096\n"
            << "    net-to-dev-bufsize: 4096\n";
    return out.str();
}

uint16_t free_tcp_port() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    uint16_t port = 0;
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    if (s >= 0) ::close(s);
    return port;
}

std::string ser2net_program() {
    for (const char *dir : {"/usr/local/sbin", "/usr/sbin", "/usr/local/bin", "/usr/bin"}) {
        const fs::path p = fs::path(dir) / "ser2net";
        if (::access(p.c_str(), X_OK) == 0) return p.string();
    }
    return {};
}

Ser2netProcess::Ser2netProcess(std::vector<std::string> devices, fs::path dir)
    : devices_(std::move(devices)), dir_(std::move(dir)) {
    for (int attempt = 0; attempt < kAttempts && pid_ <= 0; ++attempt) {
        ports_.clear();
        for (size_t k = 0; k < devices_.size(); ++k) ports_.push_back(free_tcp_port());
        std::ofstream(dir_ / "ser2net.yaml") << ser2net_config(devices_, ports_);
        start();
    }
}

Ser2netProcess::~Ser2netProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

std::string Ser2netProcess::port_name(size_t k) const {
    return "rfc2217://127.0.0.1:" + std::to_string(ports_.at(k));
}

void Ser2netProcess::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

bool Ser2netProcess::reap() {
    if (pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
    return pid_ <= 0;
}

bool Ser2netProcess::restart() {
    kill();
    return start();
}

bool Ser2netProcess::wait_devices_closed() const {
    std::vector<fs::path> devices;
    for (const std::string &d : devices_) {
        std::error_code ec;
        devices.push_back(fs::canonical(d, ec));
    }
    const fs::path fds = "/proc/" + std::to_string(pid_) + "/fd";
    const auto holds_one = [&] {
        std::error_code ec;
        for (const auto &fd : fs::directory_iterator(fds, ec)) {
            const fs::path target = fs::read_symlink(fd.path(), ec);
            if (std::find(devices.begin(), devices.end(), target) != devices.end()) return true;
        }
        return false;
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (holds_one()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool Ser2netProcess::start() {
    const std::string program = ser2net_program();
    if (program.empty()) return false;
    const std::string config = (dir_ / "ser2net.yaml").string();
    const std::string log = (dir_ / "ser2net.log").string();
    pid_ = ::fork();
    if (pid_ == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        // Whatever signals the caller blocks, ser2net must take its SIGTERM.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        // -n: in the foreground; -d: with its messages on standard error.
        ::execl(program.c_str(), program.c_str(), "-n", "-d", "-c", config.c_str(), nullptr);
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
        if (all_listening(ports_)) return true;
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1; // gone already: its configuration did not take
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill();
    return false;
}

} // namespace ztest
