// Every input a tool reads, given an input without end (/dev/zero, a FIFO whose writer never
// stops) or one that is no file (a folder): each is refused with "NAME: REASON" (or, for a
// package, the package reader's verdict) and status 1, within a memory limit and well before a
// generous time bound, instead of reading on.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "support/process/temp_files.h"
#include "support/process/tool_process.h"

#ifndef _WIN32

namespace {

namespace fs = std::filesystem;

// A FIFO that each reader opening it finds full of zeros without end: a writer that waits for
// the next reader whenever the last one has gone.
class EndlessFifo {
  public:
    explicit EndlessFifo(const fs::path &path) : path_(path) {
        if (::mkfifo(path.c_str(), 0600) == 0) writer_ = std::thread([this] { write_zeros(); });
    }
    ~EndlessFifo() {
        if (!writer_.joinable()) return;
        stop_ = true;
        // A writer waiting for a reader gets this one and then sees the stop.
        const int unblock = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
        writer_.join();
        if (unblock >= 0) ::close(unblock);
    }
    EndlessFifo(const EndlessFifo &) = delete;
    EndlessFifo &operator=(const EndlessFifo &) = delete;

  private:
    void write_zeros() {
        // A reader that goes makes the write fail with EPIPE; the signal stays off this thread.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        const std::vector<char> zeros(1 << 16);
        while (!stop_) {
            const int fd = ::open(path_.c_str(), O_WRONLY);
            if (fd < 0) return;
            while (!stop_ && ::write(fd, zeros.data(), zeros.size()) > 0) {
            }
            ::close(fd);
        }
    }

    fs::path path_;
    std::atomic<bool> stop_{false};
    std::thread writer_;
};

// What one reader of an input does with each kind of bad input; NAME stands for the input's name.
struct Outcome {
    std::string out, err;
};
struct Reader {
    std::string name;
    std::string program;
    std::vector<std::string> args; // the input goes last
    Outcome zero, folder, fifo;
};

std::string named(std::string text, const std::string &name) {
    for (size_t at; (at = text.find("NAME")) != std::string::npos;) text.replace(at, 4, name);
    return text;
}

// Python's board calls on a path: the exception's text on standard error and status 1.
constexpr const char *python_call = R"(
import sys, zelp7x
call, path = sys.argv[1], sys.argv[2]
with zelp7x.Board("sim") as board:
    try:
        getattr(board, call)(*([0, path] if call == "write" else [path]))
    except (OSError, zelp7x.Error) as e:
        sys.exit(str(e))
)";

std::vector<Reader> readers() {
    const Outcome too_large{"", "NAME: File too large\n"};
    const Outcome is_folder{"", "NAME: Is a directory\n"};
    const Outcome no_seek{"", "error seeking end of NAME: Illegal seek\n"};
    const Outcome not_package{
        "load failed: package\nNAME: package error -1 (MORVEL_PACKAGE_ERROR_HEADER) at byte 0\n",
        ""};
    std::vector<Reader> r = {
        {"flash -w", ZELP_FLASH_BIN, {"-s", "sim", "-w"}, too_large, is_folder, no_seek},
        {"flash -v", ZELP_FLASH_BIN, {"-s", "sim", "-v"}, too_large, is_folder, no_seek},
        {"gang -w", ZELP_GANG_BIN, {"-q", "-s", "sim", "-w"}, too_large, is_folder, no_seek},
        {"host send", ZELP_HOST_BIN, {"-s", "sim", "send"}, too_large, is_folder, too_large},
        {"host load", ZELP_HOST_BIN, {"-s", "sim", "load"}, not_package, is_folder, not_package},
        {"daemon --image",
         ZELP_BOARD_SIM_BIN,
         {"--image"},
         {"", "zelp7x_board_sim: NAME: not a regular file\n"},
         {"", "zelp7x_board_sim: NAME: Is a directory\n"},
         {"", "zelp7x_board_sim: NAME: not a regular file\n"}},
    };
#ifdef ZELP_PYTHON
    const Outcome py_too_large{"", "[Errno 27] File too large: 'NAME'\n"};
    const Outcome py_folder{"", "[Errno 21] Is a directory: 'NAME'\n"};
    const Outcome py_package{"", "load failed: package\n"};
    r.push_back({"python load",
                 ZELP_PYTHON,
                 {"-c", python_call, "load"},
                 py_package,
                 py_folder,
                 py_package});
    r.push_back({"python write",
                 ZELP_PYTHON,
                 {"-c", python_call, "write"},
                 py_too_large,
                 py_folder,
                 py_too_large});
#endif
    return r;
}

TEST(ToolInputBounds, EndlessInputsAndFoldersAreRefusedWithinMemoryAndTime) {
    const ztest::TempDir dir{"tool_input_bounds"};
    fs::create_directory(dir.path() / "dir");
    const EndlessFifo fifo(dir.path() / "fifo");
#ifdef ZELP_PYTHON
    ::setenv("PYTHONPATH", ZELP_PYTHON_DIR, 1);
    ::setenv("OPENBLAS_NUM_THREADS", "1", 1); // NumPy's import reserves no memory per core
#endif
    // Far below what reading on would take, far above what any of these needs; the alarm only
    // ends a run that would otherwise never end.
    const ztest::ProcessLimits limits{.memory_bytes = size_t{512} << 20, .seconds = 60};
    for (const Reader &reader : readers()) {
        for (const auto &[input, outcome] :
             {std::pair{"/dev/zero", reader.zero}, std::pair{"dir", reader.folder},
              std::pair{"fifo", reader.fifo}}) {
            std::vector<std::string> args = reader.args;
            args.push_back(input);
            const auto r = ztest::run_program(reader.program, args, dir.path(), {}, limits);
            const std::string what = reader.name + " " + input;
            EXPECT_EQ(r.status, 1) << what << ": " << r.err;
            EXPECT_EQ(r.out, named(outcome.out, input)) << what;
            EXPECT_EQ(r.err, named(outcome.err, input)) << what;
        }
    }
}

// The bound is the largest flash: an image that fills it is taken, one byte more is not.
TEST(ToolInputBounds, AnImageUpToTheBoundIsTakenOneByteMoreIsRefused) {
    const ztest::TempDir dir{"tool_input_bound_edge"};
    for (const auto &[size, status, err] :
         {std::tuple{size_t{1} << 24, 0, std::string()},
          std::tuple{(size_t{1} << 24) + 1, 1, std::string("big.bin: File too large\n")}}) {
        ztest::write_bytes(dir.path() / "big.bin", {});
        fs::resize_file(dir.path() / "big.bin", size);
        const auto r = ztest::run_program(
            ZELP_FLASH_BIN, {"-q", "-s", "sim", "-w", "big.bin", "-c", "4"}, dir.path());
        EXPECT_EQ(r.status, status) << size << r.out << r.err;
        EXPECT_EQ(r.err, err) << size;
    }
}

} // namespace

#endif
