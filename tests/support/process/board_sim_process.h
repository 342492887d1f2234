// Runs zelp7x_board_sim as a child process for end-to-end tests: started with a link to its
// pseudo-terminal, stopped with SIGTERM.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "support/process/run_as.h"

namespace ztest {

class BoardSimProcess {
  public:
    // Starts `binary` with "--link LINK" and `args`, as `as` when given; waits until the
    // terminal is served.
    BoardSimProcess(const std::string &binary, const std::vector<std::string> &args = {},
                    const std::optional<RunAs> &as = {});
    ~BoardSimProcess();
    BoardSimProcess(const BoardSimProcess &) = delete;
    BoardSimProcess &operator=(const BoardSimProcess &) = delete;

    bool running() const { return pid_ > 0 && !pty_path_.empty(); }
    const std::string &link() const { return link_; }
    const std::string &pty_path() const { return pty_path_; }

    // Sends SIGTERM and returns the exit status (-1 when it did not exit normally in time).
    int stop();

  private:
    pid_t pid_ = -1;
    std::string link_;
    std::string pty_path_;
};

} // namespace ztest
