// zelp7x_host end to end: the sample packages loaded into a plain and a secured simulated chip,
// in the tool's own process and behind the board simulator daemon, which later runs adopt with
// -m restart; then the failures a user meets and the command-line errors.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/tool_process.h"

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

enum class Board { in_process, daemon };
enum class Chip { plain, secured };

std::string info_lines(Chip chip) {
    return std::string("device type: 0x20\nsecured: ") + (chip == Chip::secured ? "yes" : "no") +
           "\nfirmware: running\nfirmware version: sample-fw 1.0\n"
           "parameters version: sample-net 1.0\npackage version: sample-pkg 1.0\nlabels: 12 bytes\n";
}

class HostTool : public testing::Test {
  protected:
    ztest::TempDir dir{"host_tool"};

    void SetUp() override {
        for (const char *part : {"all", "firmware", "model"})
            ASSERT_EQ(sample(part, std::string(part) + ".pkg"), 0);
    }
    int sample(const std::string &part, const std::string &file) {
        return ztest::run_program(ZELP_PKG_SAMPLE_BIN, {"-p", part, file}, dir.path()).status;
    }
    ztest::ToolOutcome host(const Args &args) {
        return ztest::run_program(ZELP_HOST_BIN, args, dir.path());
    }
};

class HostToolLoad : public HostTool,
                     public testing::WithParamInterface<std::tuple<Board, Chip>> {};

// A secured chip takes its firmware through the boot loader and the rest once that runs.
TEST_P(HostToolLoad, LoadsThenAdoptsTheChipWithItsTextsAndPosteriorTables) {
    const auto [board, chip] = GetParam();
    const Args packages =
        chip == Chip::secured ? Args{"firmware.pkg", "model.pkg"} : Args{"all.pkg"};
    std::string loaded;
    for (const std::string &p : packages)
        loaded += p + ": " + std::to_string(fs::file_size(dir.path() / p)) + " bytes loaded\n";
    Args load = {"load", "-c", "100"};
    load.insert(load.end(), packages.begin(), packages.end());
    if (board == Board::in_process) {
        Args args = {"-s", chip == Chip::secured ? "sim:,secured" : "sim"};
        args.insert(args.end(), load.begin(), load.end());
        const auto r = host(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, loaded + info_lines(chip));
        return;
    }
    const Args flags = chip == Chip::secured ? Args{"--secured"} : Args{};
    ztest::BoardDaemon daemon(ZELP_BOARD_SIM_BIN, dir.path(), dir.path() / "flash.bin", flags);
    ASSERT_FALSE(daemon.port().empty());
    const auto on_board = [&](Args args) {
        args.insert(args.begin(), {"-s", daemon.port()});
        return host(args);
    };
    auto r = on_board(load);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, loaded + info_lines(chip));
    r = on_board({"-m", "restart", "info"});
    EXPECT_EQ(r.out, info_lines(chip));
    r = on_board({"-m", "restart", "posterior", "-S", "0", "-C", "0"});
    EXPECT_EQ(r.out, "states 2, classes 3, type 0\nstate 0: timeout 0, timeout action state 0\n"
                     "class 0: window 10, threshold 200, backoff 20, queue 3, adaptive 1, action "
                     "state 1\n");
    r = on_board({"posterior", "-S", "1", "-C", "1"});
    EXPECT_EQ(r.out, "states 2, classes 3, type 0\nstate 1: timeout 50, timeout action state 0\n"
                     "class 1: window 12, threshold 300, backoff 30, queue 4, adaptive 0, action "
                     "stay 0\n");
}

std::string board_and_chip(const testing::TestParamInfo<std::tuple<Board, Chip>> &info) {
    const Board board = std::get<0>(info.param);
    const Chip chip = std::get<1>(info.param);
    return std::string(board == Board::daemon ? "Daemon" : "InProcess") +
           (chip == Chip::secured ? "Secured" : "Plain");
}

INSTANTIATE_TEST_SUITE_P(Boards, HostToolLoad,
                         testing::Combine(testing::Values(Board::in_process, Board::daemon),
                                          testing::Values(Chip::plain, Chip::secured)),
                         board_and_chip);

TEST_F(HostTool, FailingLoadsNameTheLibrarysErrorAndEndTheRun) {
    auto bad = ztest::read_bytes(dir.path() / "firmware.pkg");
    bad[100] ^= 1; // inside the image: only the boot loader's CRC check can tell
    ztest::write_bytes(dir.path() / "bad.pkg", bad);
    bad.resize(1000);
    ztest::write_bytes(dir.path() / "short.pkg", bad);
    const struct {
        std::string port, package, out;
    } cases[] = {
        {"sim:,secured", "bad.pkg", "load failed: package\n"},
        {"sim", "short.pkg", "load failed: more\n"},
        {"sim:,mbout-stuck", "all.pkg", "load failed: timeout\n"},
        {"sim:,boot-silent,secured", "all.pkg", "load failed: timeout\n"},
    };
    for (const auto &c : cases) {
        const auto start = std::chrono::steady_clock::now();
        const auto r = host({"-s", c.port, "load", c.package, "model.pkg"});
        EXPECT_EQ(r.status, 1) << c.port;
        EXPECT_EQ(r.out, c.out) << c.port;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << c.port;
    }
}

TEST_F(HostTool, BadArgumentsPrintTheUsageAndExitTwo) {
    const Args bad[] = {{},
                        {"frob"},
                        {"-m", "sideways", "info"},
                        {"-t", "x", "info"},
                        {"-s"},
                        {"info", "extra"},
                        {"load"},
                        {"load", "-c", "0", "all.pkg"},
                        {"load", "-q", "all.pkg"},
                        {"posterior", "-C", "1"}};
    for (const Args &args : bad) {
        const auto r = host(args);
        EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
        EXPECT_NE(r.err.find("usage: zelp7x_host"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    auto r = host({"-s", "sim", "load", "all.pkg", "missing.pkg"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "") << "nothing is loaded before every package is read";
    EXPECT_EQ(r.err, "zelp7x_host: cannot read missing.pkg\n");
    r = host({"-h", "info"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("  posterior [-S STATE [-C CLASS]]   the posterior tables\n"),
              std::string::npos);
}

} // namespace
