#include "support/process/board_sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

namespace ztest {

namespace {

// The descriptor the daemon is told of with --ready-fd, in the child.
constexpr int kReadyFd = 3;
// A generous bound on the start: a busy machine may take a while, a failed start ends at once.
constexpr auto kStartLimit = std::chrono::seconds(20);

std::string unique_link() {
    static std::atomic<int> counter{0};
    return "/tmp/zelp_board_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
}

// The last "--link PATH" (or "--link=PATH") in `args`, which the daemon takes over earlier ones.
std::optional<std::string> link_in(const std::vector<std::string> &args) {
    std::optional<std::string> link;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--link" && i + 1 < args.size()) link = args[i + 1];
        if (args[i].rfind("--link=", 0) == 0) link = args[i].substr(7);
    }
    return link;
}

// Everything the daemon writes on its ready descriptor until it closes it (or exits); empty when
// it did not within the bound.
std::string read_until_closed(int fd) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buf[256];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n == 0) return text;
        if (n < 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    return {};
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

} // namespace

BoardSimProcess::BoardSimProcess(const std::string &binary, const std::vector<std::string> &args,
                                 const std::optional<RunAs> &as)
    : link_(link_in(args).value_or(unique_link())) {
    // Close-on-exec, so that a daemon another thread starts meanwhile does not hold this one's
    // pipe open; the child's copy on kReadyFd is inherited.
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return;
    std::vector<std::string> argv_text = {binary, "--link", link_, "--ready-fd",
                                          std::to_string(kReadyFd)};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_ = fork();
    if (pid_ == 0) {
        // The paths go to the ready descriptor; standard output is not needed.
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, STDOUT_FILENO);
        if (ready[1] == kReadyFd)
            fcntl(kReadyFd, F_SETFD, 0);
        else
            dup2(ready[1], kReadyFd);
        become(as);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(ready[1]);
    if (pid_ > 0) pty_paths_ = lines_of(read_until_closed(ready[0]));
    close(ready[0]);
}

BoardSimProcess::~BoardSimProcess() {
    if (pid_ > 0) stop();
}

const std::string &BoardSimProcess::pty_path() const {
    static const std::string none;
    return pty_paths_.empty() ? none : pty_paths_.front();
}

int BoardSimProcess::stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
}

} // namespace ztest
