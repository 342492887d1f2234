// Runs zelp7x_board_sim as a child process for end-to-end tests and benchmarks: started with a
// link to its pseudo-terminal, ready once the daemon closes its --ready-fd descriptor (Python's
// fixture waits the same way), stopped with SIGTERM. Every C++ start of the daemon goes through
// here.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "support/process/run_as.h"

namespace ztest {

class BoardSimProcess {
  public:
    // Starts `binary` with "--link LINK" and `args`, as `as` when given; waits until every board
    // is served. A "--link PATH" among `args` names the link (with --boards, the prefix of the
    // links); otherwise a fresh one under /tmp.
    BoardSimProcess(const std::string &binary, const std::vector<std::string> &args = {},
                    const std::optional<RunAs> &as = {});
    ~BoardSimProcess();
    BoardSimProcess(const BoardSimProcess &) = delete;
    BoardSimProcess &operator=(const BoardSimProcess &) = delete;

    bool running() const { return pid_ > 0 && !pty_paths_.empty(); }
    const std::string &link() const { return link_; }
    // The first board's terminal, and every board's.
    const std::string &pty_path() const;
    const std::vector<std::string> &pty_paths() const { return pty_paths_; }

    // Sends SIGTERM and returns the exit status (-1 when it did not exit normally in time).
    int stop();

  private:
    pid_t pid_ = -1;
    std::string link_;
    std::vector<std::string> pty_paths_;
};

} // namespace ztest
