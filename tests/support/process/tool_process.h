// Runs the built programs as a user would: the flash tool with its output captured, and the
// board simulator daemon serving a pseudo-terminal for as long as the object lives.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/process/board_sim_process.h"
#include "support/process/run_as.h"
#include "support/process/temp_files.h"

namespace ztest {

struct ToolOutcome {
    int status = -1; // exit status, -1 when it did not exit normally
    std::string out;
    std::string err;
};

// What a child may use; 0 leaves a bound unset.
struct ProcessLimits {
    // Its address space. Not set under a sanitizer, whose shadow memory needs far more.
    size_t memory_bytes = 0;
    // The largest file it may write; a write past it fails with EFBIG, as on a full disk.
    size_t file_bytes = 0;
    // Seconds until it is killed with SIGALRM: a generous bound on a run that might not end.
    unsigned seconds = 0;
};

// Whether ProcessLimits::memory_bytes takes effect in this build.
bool memory_can_be_limited();

// Runs `program` with `args` in `dir`, standard input from /dev/null, as `as` when given, within
// `limits`.
ToolOutcome run_program(const std::string &program, const std::vector<std::string> &args,
                        const std::filesystem::path &dir, const std::optional<RunAs> &as = {},
                        const ProcessLimits &limits = {});

// `program` started in `dir`, its output discarded, for a test that kills it part-way; killed
// with SIGKILL when it still runs as the object goes.
class BackgroundProgram {
  public:
    BackgroundProgram(const std::string &program, const std::vector<std::string> &args,
                      const std::filesystem::path &dir, const std::optional<RunAs> &as = {});
    ~BackgroundProgram() { kill(); }
    BackgroundProgram(const BackgroundProgram &) = delete;
    BackgroundProgram &operator=(const BackgroundProgram &) = delete;

    // True while it has not exited.
    bool running();
    // SIGKILL, then waits for it.
    void kill();

  private:
    pid_t pid_ = -1;
};

// Copies of built programs in a folder every user may enter, for runs as another user: the build
// tree may lie under a folder only its owner may enter (a home folder of mode 0700), from where
// that user could not start the programs themselves.
class SharedPrograms {
  public:
    explicit SharedPrograms(const std::vector<std::string> &programs);
    // The copy of `program`.
    std::string operator[](const std::string &program) const;
    // Empty when `as` can run every copy, else why not.
    std::string unusable_by(const std::optional<RunAs> &as) const;

  private:
    TempDir dir_{"shared_programs"};
    std::vector<std::string> programs_;
};

// zelp7x_board_sim --flash-file FLASH plus `options`, stopped on destruction. `dir` is kept for
// callers that name the run's directory; the link lives where BoardSimProcess puts it.
class BoardDaemon {
  public:
    BoardDaemon(const std::string &program, const std::filesystem::path &dir,
                const std::filesystem::path &flash, const std::vector<std::string> &options = {},
                const std::optional<RunAs> &as = {});

    // The port name to give the tool; empty when the daemon did not come up.
    std::string port() const { return sim_.running() ? sim_.link() : std::string(); }
    // Where the link points now.
    std::string terminal() const;

  private:
    BoardSimProcess sim_;
};

} // namespace ztest
