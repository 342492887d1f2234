// Runs the built programs as a user would: the flash tool with its output captured, and the
// board simulator daemon serving a pseudo-terminal for as long as the object lives.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/process/board_sim_process.h"
#include "support/process/temp_files.h"

namespace ztest {

struct ToolOutcome {
    int status = -1; // exit status, -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `args` in `dir`, standard input from /dev/null.
ToolOutcome run_program(const std::string &program, const std::vector<std::string> &args,
                        const std::filesystem::path &dir);

// zelp7x_board_sim --flash-file FLASH plus `options`, stopped on destruction. `dir` is kept for
// callers that name the run's directory; the link lives where BoardSimProcess puts it.
class BoardDaemon {
  public:
    BoardDaemon(const std::string &program, const std::filesystem::path &dir,
                const std::filesystem::path &flash, const std::vector<std::string> &options = {});

    // The port name to give the tool; empty when the daemon did not come up.
    std::string port() const { return sim_.running() ? sim_.link() : std::string(); }

  private:
    BoardSimProcess sim_;
};

} // namespace ztest
