// zelp7x_flash end to end against a simulated board, in the tool's own process ("-s sim:FILE")
// and behind the board simulator daemon's pseudo-terminal, through the real serial code.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "support/process/tool_process.h"

namespace {

namespace fs = std::filesystem;
using Options = std::vector<std::pair<std::string, std::string>>;
using ztest::ToolOutcome;

enum class Board { in_process, daemon };

// The figure that `sum` prints first for a file.
std::string sum_of(const fs::path &file) {
    std::unique_ptr<FILE, int (*)(FILE *)> p(popen(("sum " + file.string()).c_str(), "r"), pclose);
    char buf[128] = {};
    if (!p || std::fgets(buf, sizeof buf, p.get()) == nullptr) return "?";
    return std::string(buf).substr(0, std::string(buf).find(' '));
}

size_t count_matches(const std::string &text, const char *pattern) {
    const std::regex re(pattern);
    return static_cast<size_t>(
        std::distance(std::sregex_iterator(text.begin(), text.end(), re), std::sregex_iterator()));
}

constexpr const char *erase_line = "[0-9]+ bytes erased in [0-9]+\\.[0-9]{3} sec, [0-9]+ bits/s\n";
constexpr const char *write_line =
    "sum = [0-9]{5} \\(0x[0-9a-f]{4}\\) [0-9]+ bytes written in [0-9]+\\.[0-9]{3} sec, [0-9]+ "
    "bits/s\n";
constexpr const char *read_line =
    "sum = [0-9]{5} \\(0x[0-9a-f]{4}\\) [0-9]+ bytes read in [0-9]+\\.[0-9]{3} sec, [0-9]+ "
    "bits/s\n";

class ToolFlashE2E : public testing::TestWithParam<Board> {
  protected:
    ztest::TempDir dir{"tool_flash_e2e"};
    fs::path flash = dir.path() / "flash.bin";

    void SetUp() override {
        ztest::write_bytes(dir.path() / "image", ztest::pseudo_random_bytes(5000, 1));
        ztest::write_bytes(dir.path() / "other", ztest::pseudo_random_bytes(5000, 2));
    }

    // One run of the tool on the board, shaped by the simulator's `options`; `params`
    // (",name=value" pairs) go on the port name whatever the board.
    ToolOutcome tool(std::vector<std::string> args, const Options &options = {},
                     const std::string &params = "") {
        if (GetParam() == Board::in_process) {
            std::string port = "sim:" + flash.string();
            for (const auto &[n, v] : options) port += "," + n + "=" + v;
            args.insert(args.begin(), {"-s", port + params});
            return ztest::run_program(ZELP_FLASH_BIN, args, dir.path());
        }
        std::vector<std::string> flags;
        for (const auto &[n, v] : options) flags.push_back("--" + n + "=" + v);
        ztest::BoardDaemon board(ZELP_BOARD_SIM_BIN, dir.path(), flash, flags);
        if (board.port().empty()) return {-1, "", "board simulator did not start"};
        args.insert(args.begin(), {"-s", board.port() + params});
        return ztest::run_program(ZELP_FLASH_BIN, args, dir.path());
    }

    std::vector<uint8_t> flash_bytes(size_t at, size_t n) {
        const auto all = ztest::read_bytes(flash);
        if (all.size() < at + n) return {};
        return {all.begin() + static_cast<std::ptrdiff_t>(at),
                all.begin() + static_cast<std::ptrdiff_t>(at + n)};
    }
};

TEST_P(ToolFlashE2E, ErasesProgramsVerifiesReadsBackAndChecksums) {
    auto r = tool({"-e", "-w", "image", "-v", "image"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(count_matches(r.out, erase_line), 1u) << r.out;
    EXPECT_EQ(count_matches(r.out, write_line), 1u);
    EXPECT_EQ(count_matches(r.out, read_line), 1u);
    EXPECT_NE(r.out.find("5000 bytes erased in"), std::string::npos) << "-e erases the data span";
    EXPECT_NE(r.out.find("\rProgram : 100% ["), std::string::npos);
    EXPECT_NE(r.out.find("\rRead    : 100% ["), std::string::npos);
    EXPECT_EQ(flash_bytes(0, 5000), ztest::pseudo_random_bytes(5000, 1))
        << "on disk once the tool has exited";

    r = tool({"-r", "out", "-c", "5000", "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ztest::read_bytes(dir.path() / "out"), ztest::pseudo_random_bytes(5000, 1));

    r = tool({"-R", "-c", "5000", "-q"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 6 + 5), "sum = " + sum_of(dir.path() / "image")) << r.out;
}

TEST_P(ToolFlashE2E, DumpsHexSixteenBytesALineAndQuietPrintsOnlySummaries) {
    ASSERT_EQ(tool({"-e", "-w", "image", "-q"}).status, 0);
    auto r = tool({"-r", "-", "-a", "0x10", "-c", "40"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_matches(r.out, "\n?0x0000[123][0-9a-f]: ([0-9a-f]{2} ){16}\n"), 2u) << r.out;
    EXPECT_EQ(count_matches(r.out, "0x000030: ([0-9a-f]{2} ){8}\n"), 1u) << r.out;
    std::string first = "0x000010: ";
    char hex[4];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(hex, sizeof hex, "%02x ", ztest::pseudo_random_bytes(5000, 1)[0x10 + i]);
        first += hex;
    }
    EXPECT_NE(r.out.find(first), std::string::npos) << r.out;

    r = tool({"-q", "-e", "-w", "image", "-v", "image", "-r", "-"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(
        std::regex_match(r.out, std::regex(std::string(erase_line) + write_line + read_line)))
        << r.out;
}

TEST_P(ToolFlashE2E, VerifyAgainstADifferentFileReportsAndFails) {
    ASSERT_EQ(tool({"-e", "-w", "image", "-q"}).status, 0);
    const auto r = tool({"-v", "other"});
    EXPECT_EQ(r.status, 1);
    const size_t n =
        count_matches(r.out, "0x[0-9a-f]{6}: read 0x[0-9a-f]{2} != expected 0x[0-9a-f]{2}\n");
    EXPECT_GT(n, 4000u);
    EXPECT_EQ(r.err, std::to_string(n) + " miscomparing bytes\n");
    EXPECT_EQ(count_matches(r.out, read_line), 1u);
}

TEST_P(ToolFlashE2E, NoFlashAndStuckBusyEndTheRun) {
    auto r = tool({"-d"}, {{"fault", "absent"}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "no flash populated (vendor id == 0)\n");

    r = tool({"-e", "-q"}, {{"fault", "all-ones"}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "no flash answering (vendor id == 0xff)\n");

    r = tool({"-w", "image", "-q"}, {{"fault", "stuck-busy"}});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(std::regex_match(r.err, std::regex(" flash wait expired after [0-9]+ MS\n")))
        << r.err;

    r = tool({"-d"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "flash vendor id = 0xef, device id = 0x4016\n");
}

// Every device type the zelp7x driver lists opens, whether the chip reports it or -t names it;
// 0x22 is the secured part.
TEST_P(ToolFlashE2E, EveryZelp7xDeviceTypeReadsTheFlashId) {
    for (const char *type : {"0x02", "0x13", "0x14", "0x18", "0x20", "0x22", "0x24"}) {
        auto r = tool({"-d"}, {{"device-type", type}});
        EXPECT_EQ(r.status, 0) << type << ": " << r.err;
        EXPECT_EQ(r.out, "flash vendor id = 0xef, device id = 0x4016\n") << type;

        r = tool({"-t", type, "-d"});
        EXPECT_EQ(r.status, 0) << "-t " << type << ": " << r.err;
        EXPECT_EQ(r.out, "flash vendor id = 0xef, device id = 0x4016\n") << "-t " << type;
    }
}

// The ID is read before the image files, and the flash's size it names bounds the job.
TEST_P(ToolFlashE2E, RangesPastTheFlashAreRefusedBeforeAnyErase) {
    ASSERT_EQ(tool({"-e", "-w", "image", "-q"}).status, 0);
    ztest::write_bytes(dir.path() / "big", ztest::pseudo_random_bytes(5000000, 4));
    auto r = tool({"-e", "-w", "big"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "flash range 0x0 to 0x4c4b40 does not fit the 4194304-byte flash\n");
    EXPECT_EQ(r.out.find("erased"), std::string::npos);
    EXPECT_EQ(flash_bytes(0, 5000), ztest::pseudo_random_bytes(5000, 1))
        << "the flash wrapped nothing onto its start";
}

// The seconds a read summary line reports.
double read_seconds(const std::string &out) {
    std::smatch m;
    if (!std::regex_search(out, m, std::regex("bytes read in ([0-9]+\\.[0-9]{3}) sec"))) return -1;
    return std::stod(m[1]);
}

TEST_P(ToolFlashE2E, PipelinedReadBackHidesTheLinksLatency) {
    ASSERT_EQ(tool({"-e", "-w", "image", "-q"}).status, 0);
    const Options slow_link = {{"latency", "1000"}};
    const ToolOutcome plain = tool({"-R", "-c", "4096", "-q"}, slow_link);
    const ToolOutcome piped = tool({"-R", "-c", "4096", "-q"}, slow_link, ",pipeline=64");
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_GE(read_seconds(plain.out), 1.0) << "1024 round trips of a millisecond";
    EXPECT_LT(read_seconds(piped.out), read_seconds(plain.out) / 3) << piped.out;
    EXPECT_EQ(piped.out.substr(0, 19), plain.out.substr(0, 19)) << "the same checksum";
}

INSTANTIATE_TEST_SUITE_P(Boards, ToolFlashE2E, testing::Values(Board::in_process, Board::daemon),
                         [](const auto &info) {
                             return info.param == Board::in_process ? "InProcess" : "Daemon";
                         });

} // namespace
