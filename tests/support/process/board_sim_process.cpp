#include "support/process/board_sim_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace ztest {

namespace {

std::string unique_link() {
    static std::atomic<int> counter{0};
    return "/tmp/zelp_board_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
}

// The first line the simulator prints is its terminal's path.
std::string read_line(int fd, int timeout_ms) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char c = 0;
        if (read(fd, &c, 1) != 1) break;
        if (c == '\n') return line;
        line += c;
    }
    return {};
}

} // namespace

BoardSimProcess::BoardSimProcess(const std::string &binary, const std::vector<std::string> &args,
                                 const std::optional<RunAs> &as)
    : link_(unique_link()) {
    int out[2];
    if (pipe(out) != 0) return;
    std::vector<std::string> argv_text = {binary, "--link", link_};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        become(as);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    if (pid_ > 0) pty_path_ = read_line(out[0], 5000);
    close(out[0]);
}

BoardSimProcess::~BoardSimProcess() {
    if (pid_ > 0) stop();
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
