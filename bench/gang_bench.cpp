// One gang job on one board and on four boards of one board simulator daemon: erase, write and
// verify 256 KiB (-e -w IMAGE -v IMAGE, pipeline=64) over links modelled as full-speed bridges
// (latency=1000, rate=1000000), each board on a link of its own. The link, not the host, is to be
// the limit, so four boards should take little longer than one: the row reports both walls and
// four_over_one, their ratio (target at most 1.2).
//
// Runs the built zelp7x_gang as a user does, on the daemon the tests' fixture starts.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/process/board_sim_process.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;

constexpr size_t image_size = 256u << 10;

pid_t spawn(std::vector<std::string> args, int out_fd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The job's wall time on `boards` boards, or a negative number when it did not pass.
double gang_wall(int boards, const fs::path &dir) {
    const std::string link = (dir / ("rack" + std::to_string(boards) + "_")).string();
    const ztest::BoardSimProcess rack(ZELP_BOARD_SIM_BIN,
                                      {"--boards", std::to_string(boards), "--link", link,
                                       "--latency", "1000", "--rate", "1000000"});
    if (!rack.running()) return -1;
    const std::string image = (dir / "image").string();
    std::vector<std::string> args = {ZELP_GANG_BIN, "-q"};
    for (int k = 0; k < boards; ++k)
        args.insert(args.end(), {"-s", link + std::to_string(k) + ",pipeline=64"});
    args.insert(args.end(), {"-e", "-w", image, "-v", image});
    const int null_fd = open("/dev/null", O_WRONLY);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = spawn(args, null_fd);
    int status = -1;
    if (pid > 0) waitpid(pid, &status, 0);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    close(null_fd);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? took.count() : -1;
}

void one_and_four_boards(benchmark::State &state) {
    const fs::path dir =
        fs::temp_directory_path() / ("zelp_gang_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    {
        std::ofstream img(dir / "image", std::ios::binary);
        for (size_t i = 0; i < image_size; ++i) img.put(static_cast<char>(i * 13 + (i >> 8)));
    }
    for (auto _ : state) {
        const double one = gang_wall(1, dir);
        const double four = gang_wall(4, dir);
        if (one <= 0 || four <= 0) {
            state.SkipWithError("the gang job did not pass");
            break;
        }
        state.counters["one_board_s"] = one;
        state.counters["four_boards_s"] = four;
        state.counters["four_over_one"] = four / one;
    }
    fs::remove_all(dir);
}

} // namespace

BENCHMARK(one_and_four_boards)
    ->Name("Gang_256KiB_pipeline64_one_vs_four_boards")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
