// zelp7x_gang end to end against a rack of simulated boards in one daemon: every board flashed at
// once, the table and the JSON report pinned, one faulty board failing alone, and the command
// line's refusals.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "gang_run.h"
#include "support/board/fake_sysfs.h"
#include "support/process/tool_process.h"

namespace {

namespace fs = std::filesystem;

size_t count_of(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A rack of `boards` boards with flashes in DIR/flashK, `faults` as --fault-board takes them.
class GangRack : public testing::Test {
  protected:
    ztest::TempDir dir{"gang_rack"};
    std::unique_ptr<ztest::BoardSimProcess> sim;
    std::vector<uint8_t> img = ztest::pseudo_random_bytes(3000, 7);

    void start(int boards, const std::vector<std::string> &faults = {},
               const std::vector<std::string> &options = {}) {
        std::vector<std::string> args = {"--boards", std::to_string(boards), "--image",
                                         (dir.path() / "flash").string()};
        for (const std::string &f : faults) args.insert(args.end(), {"--fault-board", f});
        args.insert(args.end(), options.begin(), options.end());
        sim = std::make_unique<ztest::BoardSimProcess>(ZELP_BOARD_SIM_BIN, args);
        ASSERT_TRUE(sim->running());
        ztest::write_bytes(dir.path() / "img", img);
    }
    std::string port(int k) const { return sim->link() + std::to_string(k); }
    ztest::ToolOutcome gang(int boards, std::vector<std::string> args) {
        std::vector<std::string> all;
        for (int k = 0; k < boards; ++k) all.insert(all.end(), {"-s", port(k)});
        all.insert(all.end(), args.begin(), args.end());
        return ztest::run_program(ZELP_GANG_BIN, all, dir.path());
    }
    // Whether board k's flash file holds the image, erased flash after it.
    bool holds_image(int k) {
        const auto cells = ztest::read_bytes(dir.path() / ("flash" + std::to_string(k)));
        if (cells.size() < img.size() + 1) return false;
        return std::equal(img.begin(), img.end(), cells.begin()) && cells[img.size()] == 0xFF;
    }
};

// Three boards as a desk has them, four as the ThreadSanitizer run takes them.
class GangRackOf : public GangRack, public testing::WithParamInterface<int> {};

TEST_P(GangRackOf, EveryBoardHoldsTheImageAndTheReportListsEveryPass) {
    const int n = GetParam();
    start(n);
    const auto r = gang(n, {"-e", "-w", "img", "-v", "img", "--json", "r.json", "-r", "back"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    ASSERT_EQ(sim->stop(), 0);
    for (int k = 0; k < n; ++k) {
        EXPECT_TRUE(holds_image(k)) << "board " << k;
        EXPECT_EQ(ztest::read_bytes(dir.path() / ("back." + std::to_string(k))), img) << k;
        // Not on a terminal: one end line per board, then its table row.
        const std::regex row(port(k) + R"( +pass +[0-9]+\.[0-9]{3} +[0-9]{5} \(0x[0-9a-f]{4}\)\n)");
        EXPECT_TRUE(std::regex_search(r.out, row)) << r.out;
        EXPECT_NE(r.out.find(port(k) + ": pass in "), std::string::npos) << r.out;
    }
    const std::string all = std::to_string(n);
    EXPECT_NE(r.out.find(all + " of " + all + " boards passed\n"), std::string::npos) << r.out;

    const std::string json = [&] {
        const auto b = ztest::read_bytes(dir.path() / "r.json");
        return std::string(b.begin(), b.end());
    }();
    EXPECT_EQ(count_of(json, "\"result\": \"pass\""), size_t(n)) << json;
    EXPECT_NE(json.find("\"image\": {\"name\": \"img\", \"size\": 3000, \"checksum\": "),
              std::string::npos)
        << json;
    EXPECT_EQ(count_of(json, "\"write\": {\"seconds\": "), size_t(n)) << json;
    EXPECT_EQ(count_of(json, "\"read\": {\"seconds\": "), size_t(n)) << json;
    EXPECT_NE(json.find("\"passed\": " + all + ",\n  \"failed\": 0\n}\n"), std::string::npos)
        << json;
}

INSTANTIATE_TEST_SUITE_P(Boards, GangRackOf, testing::Values(3, 4),
                         [](const auto &info) { return std::to_string(info.param); });

TEST_F(GangRack, AStuckBoardFailsAloneWithItsStepAndTheOthersHoldTheImage) {
    start(3, {"1=stuck-busy"});
    const auto r = gang(3, {"-e", "-w", "img", "-v", "img", "--json", "r.json"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    ASSERT_EQ(sim->stop(), 0);
    EXPECT_TRUE(holds_image(0));
    EXPECT_TRUE(holds_image(2));
    const std::regex failed_row(
        port(1) + R"( +fail +[0-9.]+ +- +erase +flash wait expired after [0-9]+ MS\n)");
    EXPECT_TRUE(std::regex_search(r.out, failed_row)) << r.out;
    EXPECT_NE(r.out.find("2 of 3 boards passed\n"), std::string::npos) << r.out;
    const auto b = ztest::read_bytes(dir.path() / "r.json");
    const std::string json(b.begin(), b.end());
    EXPECT_EQ(count_of(json, "\"result\": \"pass\""), 2u) << json;
    EXPECT_NE(json.find("\"result\": \"fail\", \"seconds\": "), std::string::npos) << json;
    EXPECT_NE(json.find("\"failed_step\": \"erase\", \"error\": \"timeout\", \"message\": \"flash "
                        "wait expired after "),
              std::string::npos)
        << json;
}

// Boards whose links drop an answer: what the board I/O layer prints for each goes under that
// board's row in the table, its port in front, and in its record of the report, never onto the
// terminal where the boards' pieces would run together.
TEST_F(GangRack, EachBoardsLinkFailuresStayWithItsRow) {
    start(3, {}, {"--drop-answer", "200"});
    const auto r = gang(3, {"-R", "-c", "65536", "--json", "r.json"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    const std::string json = [&] {
        const auto b = ztest::read_bytes(dir.path() / "r.json");
        return std::string(b.begin(), b.end());
    }();
    for (int k = 0; k < 3; ++k) {
        const std::regex rows(port(k) + R"( +fail +[0-9.]+ +- +[a-z-]+ +[^\n]+\n)" + port(k) +
                              R"( {40,}Error during transfer on the Serial/SPI device\n)");
        EXPECT_TRUE(std::regex_search(r.out, rows)) << r.out;
    }
    EXPECT_EQ(
        count_of(json, "\"io_messages\": [\"Error during transfer on the Serial/SPI device\""), 3u)
        << json;
}

// Refusals of the command line (exit 2) and a rack with no bridge (exit 1), none touching a
// board's flash.
TEST_F(GangRack, UsageErrorsAndNoBridge) {
    start(1);
    struct Case {
        std::vector<std::string> args;
        int status;
        const char *err;
    };
    const std::vector<Case> cases = {
        {{"-s", port(0), "-s", port(0) + ",pipeline=8", "-R"}, 2, "the same board twice"},
        // One flash file, named two ways before it exists.
        {{"-s", "sim:" + (dir.path() / "f.bin").string(), "-s", "sim:f.bin", "-R"},
         2,
         "the same board twice"},
        {{"-s", "sim:f.bin", "-s", "sim:,image=./f.bin", "-R"}, 2, "the same board twice"},
        // A report that cannot be written is found before any board starts.
        {{"-s", port(0), "-e", "-w", "img", "--json", "."}, 1, "error writing .: Is a directory\n"},
        {{"-R"}, 2, "no board"},
        {{"-s", port(0), "--all"}, 2, "either -s PORT... or --all"},
        {{"-s", port(0), "-r", "-"}, 2, "-r - dumps one board"},
        {{"-s", port(0), "-a", "1x"}, 2, ""},
        {{"-s", port(0), "--bogus"}, 2, "unknown option: --bogus"},
        {{"-s", port(0), "-c", "16", "-w", "missing"}, 1, "missing"},
    };
    for (const Case &c : cases) {
        const auto r = ztest::run_program(ZELP_GANG_BIN, c.args, dir.path());
        EXPECT_EQ(r.status, c.status) << c.args[c.args.size() - 1] << ": " << r.out << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("boards passed"), std::string::npos) << r.out;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "f.bin"));
    ASSERT_EQ(sim->stop(), 0);
    EXPECT_FALSE(holds_image(0));
    // Two in-memory boards are two boards, each "sim" a new one.
    const auto two =
        ztest::run_program(ZELP_GANG_BIN, {"-s", "sim", "-s", "sim", "-d"}, dir.path());
    EXPECT_EQ(two.status, 0) << two.err;
    EXPECT_NE(two.out.find("2 of 2 boards passed\n"), std::string::npos) << two.out;
    // --all on a machine with no bridge attached: an empty device tree.
    ztest::FakeSysfs none;
    std::vector<std::string> args = {"zelp7x_gang", "--all", "-R"};
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_zelp7x_gang(3, argv.data()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "no supported bridge found\n");
}

} // namespace
