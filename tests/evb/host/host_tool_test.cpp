// zelp7x_host end to end: the sample packages loaded into a plain and a secured simulated chip,
// in the tool's own process and behind the board simulator daemon, which later runs adopt with
// -m restart; then the failures a user meets and the command-line errors.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "support/chip/ramp.h"
#include "support/process/tool_process.h"

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

enum class Board { in_process, daemon };
enum class Chip { plain, secured };

std::string info_lines(Chip chip) {
    return std::string("device type: 0x20\nsecured: ") + (chip == Chip::secured ? "yes" : "no") +
           "\nfirmware: running\nfirmware version: sample-fw 1.0\n"
           "parameters version: sample-net 1.0\npackage version: sample-pkg 1.0\nlabels: 12 "
           "bytes\n";
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

std::string match_line(uint32_t cls) {
    std::array<char, 80> line{};
    std::snprintf(line.data(), line.size(),
                  "match: summary 0x%08x, snr 30, confidence 200, noise 0\n",
                  cls | 30u << 8 | 200u << 16);
    return line.data();
}

uint32_t le32_at(const std::vector<uint8_t> &b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

// A WAV file read as a player reads it: the format fields and the samples, the sizes checked
// against the file's.
struct Wav {
    unsigned format = 0, channels = 0, bits = 0;
    uint32_t rate = 0, frames = 0;
    std::vector<uint8_t> samples;
};

Wav read_wav(const fs::path &path) {
    const auto b = ztest::read_bytes(path);
    Wav w;
    if (b.size() < 44 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
        le32_at(b, 4) != b.size() - 8 || std::string(b.begin() + 8, b.begin() + 16) != "WAVEfmt " ||
        le32_at(b, 16) != 16 || std::string(b.begin() + 36, b.begin() + 40) != "data" ||
        le32_at(b, 40) != b.size() - 44)
        return w;
    w.format = b[20] | b[21] << 8;
    w.channels = b[22] | b[23] << 8;
    w.rate = le32_at(b, 24);
    w.bits = b[34] | b[35] << 8;
    const unsigned align = b[32] | b[33] << 8;
    if (align == 0 || le32_at(b, 28) != w.rate * align) return {};
    w.frames = le32_at(b, 40) / align;
    w.samples.assign(b.begin() + 44, b.end());
    return w;
}

// Results out of a loaded chip, each by a run of its own on the daemon, whose firmware matches the
// sample's three classes in turn, the first one period after its start.
TEST_F(HostTool, ResultsComeOutOfALoadedChipOnTheDaemon) {
    // Long enough that a loaded machine still starts each run well inside one period.
    constexpr int period_ms = 1000;
    ztest::BoardDaemon daemon(ZELP_BOARD_SIM_BIN, dir.path(), dir.path() / "flash.bin",
                              {"--match-every", std::to_string(period_ms)});
    ASSERT_FALSE(daemon.port().empty());
    const auto on_board = [&](Args args) {
        args.insert(args.begin(), {"-s", daemon.port()});
        return host(args);
    };
    ASSERT_EQ(on_board({"load", "all.pkg"}).status, 0);
    auto r = on_board({"watch", "-n", "3"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, match_line(0) + match_line(1) + match_line(2));
    // The same for programs: a JSON object a line, in time order, with the sample's labels.
    r = on_board({"watch", "--json", "-n", "3"});
    EXPECT_EQ(r.status, 0);
    double last_seconds = 0;
    size_t at = 0;
    for (uint32_t cls = 0; cls < 3; ++cls) {
        const size_t end = r.out.find('\n', at);
        ASSERT_NE(end, std::string::npos) << r.out;
        const std::string line = r.out.substr(at, end - at);
        at = end + 1;
        double seconds = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "{\"seconds\": %lf,", &seconds), 1) << line;
        EXPECT_GT(seconds, last_seconds) << line;
        last_seconds = seconds;
        const char *labels[] = {"go", "stop", "off"};
        EXPECT_TRUE(
            line.ends_with(", \"class\": " + std::to_string(cls) + ", \"label\": \"" + labels[cls] +
                           "\", \"summary\": " + std::to_string(cls | 30u << 8 | 200u << 16) +
                           ", \"snr\": 30, \"confidence\": 200, \"noise\": 0}"))
            << line;
    }
    EXPECT_EQ(at, r.out.size()) << r.out;
    EXPECT_LT(last_seconds, 10.0);

    // An unbroken ramp that ends where the match left the tank, as the firmware's ring entry for
    // the match (class 0 again) says.
    r = on_board({"extract", "input", "-f", "match", "-n", "256", "-o", "match.raw"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), match_line(0));
    EXPECT_NE(r.out.find("\n256 bytes extracted, "), std::string::npos) << r.out;
    const auto samples = ztest::read_bytes(dir.path() / "match.raw");
    ASSERT_EQ(samples.size(), 256u);
    const uint32_t last = ztest::last_sample(samples);
    ztest::expect_ramp(samples, last);
    EXPECT_EQ(on_board({"dump", "fw", "-o", "state.bin"}).out, "8584 bytes dumped\n");
    const auto state = ztest::read_bytes(dir.path() / "state.bin");
    ASSERT_EQ(state.size(), 8584u);
    int entries = 0;
    for (size_t at = 12; at < 92; at += 8)
        entries += le32_at(state, at) == 0x00C81E00 &&
                   (le32_at(state, at + 4) & ~3u) == 2 * (last + 1) % 2048;
    EXPECT_EQ(entries, 1);
    // "-o -": the bytes alone on standard output, the report on standard error, no file "-".
    r = on_board({"extract", "input", "-n", "64", "-o", "-"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<uint8_t> piped(r.out.begin(), r.out.end());
    ASSERT_EQ(piped.size(), 64u);
    ztest::expect_ramp(piped, ztest::last_sample(piped));
    EXPECT_EQ(r.err.find("64 bytes extracted, "), 0u) << r.err;
    EXPECT_FALSE(fs::exists(dir.path() / "-"));
    // A name ending in .wav: the same samples behind a WAV header for 16-bit mono at 16 kHz.
    r = on_board({"extract", "input", "-n", "64", "-o", "in.wav"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("64 bytes extracted, "), 0u) << r.out;
    const Wav wav = read_wav(dir.path() / "in.wav");
    EXPECT_EQ(std::tuple(wav.format, wav.channels, wav.rate, wav.bits, wav.frames),
              std::tuple(1u, 1u, 16000u, 16u, 32u));
    ztest::expect_ramp(wav.samples, ztest::last_sample(wav.samples));

    // Pins and the I2C device keep what one run set for the next.
    r = on_board({"gpio", "-e", "0xff=0x0f", "-v", "0xff=0x05", "-i", "1"});
    EXPECT_EQ(r.out, "outputs 0x0f, values 0x05, input enable 1\n");
    r = on_board({"gpio", "-e", "0x0c=0", "-i", "0"});
    EXPECT_EQ(r.out, "outputs 0x03, values 0x01, input enable 0\n");
    EXPECT_EQ(on_board({"serial", "i2c", "0x19", "-w", "10a1b2c3"}).status, 0);
    EXPECT_EQ(on_board({"serial", "i2c", "0x19", "-w", "11", "-r", "2"}).out, "b2 c3\n");
    EXPECT_EQ(on_board({"serial", "i2c", "0x18", "-r", "1"}).out, "serial failed: fail\n");

    // With no host answering, the firmware skips its reports. Right after the match a watch
    // takes, nothing new has come, and status -c reports the skipped ones and clears them.
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * period_ms));
    ASSERT_EQ(on_board({"watch"}).status, 0);
    const std::string zeros = "h2m requests 0, responses 0, unexpected 0, errors 0\n"
                              "m2h requests 0, responses 0, unexpected 0, errors 0\n";
    r = on_board({"status", "-c"});
    ASSERT_EQ(r.out.substr(0, zeros.size()), zeros);
    EXPECT_GE(std::stoul(r.out.substr(zeros.size() + std::string("missed frames ").size())), 1u);
    EXPECT_EQ(on_board({"status"}).out, zeros + "missed frames 0\n");
}

// Breaks in a ramp of 16-bit samples: places where a sample is not its predecessor plus one.
size_t ramp_breaks(const std::vector<uint8_t> &b) {
    size_t breaks = 0;
    for (size_t i = 2; i + 1 < b.size(); i += 2)
        breaks += (((b[i] | b[i + 1] << 8) - (b[i - 2] | b[i - 1] << 8)) & 0xFFFF) != 1;
    return breaks;
}

// The daemon's "record: N samples, M gaps" line, as {N, M}; {0, 0} when it is not there.
std::pair<size_t, size_t> recorded(const std::string &out) {
    size_t samples = 0, gaps = 0;
    if (std::sscanf(out.c_str(), "record: %zu samples, %zu gaps\n", &samples, &gaps) != 2)
        return {};
    return {samples, gaps};
}

// Recording on the daemon: every sample the tank made while the link keeps up, and over a link
// too slow for the tank (each answer 20 ms late, a ring lasts 64 ms) the gaps counted, never
// patched: between them the samples still run on by one.
TEST_F(HostTool, RecordingIsARampApartFromTheGapsItReports) {
    ztest::BoardDaemon daemon(ZELP_BOARD_SIM_BIN, dir.path(), dir.path() / "flash.bin");
    ztest::BoardDaemon slow(ZELP_BOARD_SIM_BIN, dir.path(), dir.path() / "slow.bin",
                            {"--latency", "20000"});
    ASSERT_FALSE(daemon.port().empty());
    ASSERT_FALSE(slow.port().empty());
    ASSERT_EQ(host({"-s", daemon.port(), "load", "all.pkg"}).status, 0);
    auto r = host({"-s", daemon.port(), "record", "-d", "2", "-o", "two.wav"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto [samples, gaps] = recorded(r.out);
    const Wav wav = read_wav(dir.path() / "two.wav");
    EXPECT_EQ(std::tuple(wav.format, wav.channels, wav.rate, wav.bits, wav.frames),
              std::tuple(1u, 1u, 16000u, 16u, uint32_t(samples)))
        << r.out;
    EXPECT_GT(samples + gaps * 1024, 30000u) << r.out; // two seconds at 16 kHz, a ring a gap
    EXPECT_LE(ramp_breaks(wav.samples), gaps) << r.out;

    ASSERT_EQ(host({"-s", slow.port(), "load", "all.pkg"}).status, 0);
    r = host({"-s", slow.port(), "record", "-d", "1", "-f", "unread", "-o", "slow.raw"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto [slow_samples, slow_gaps] = recorded(r.out);
    const auto raw = ztest::read_bytes(dir.path() / "slow.raw");
    EXPECT_EQ(raw.size(), 2 * slow_samples) << r.out;
    EXPECT_GT(slow_gaps, 0u) << r.out;
    EXPECT_LE(ramp_breaks(raw), slow_gaps) << r.out;

    // Where the recording cannot go, the system's reason; a file the run made is taken away
    // again, and a device that was there stays.
    fs::create_directory(dir.path() / "folder");
    const struct {
        std::string file;
        size_t file_limit; // a disk that fills up after so many bytes
        std::string reason;
        bool remains;
    } unwritable[] = {
        {"/dev/full", 0, "No space left on device", true},
        {"folder", 0, "Is a directory", true},
        {"full.wav", 8192, "File too large", false},
        {"full.raw", 8192, "File too large", false},
    };
    for (const auto &u : unwritable) {
        r = ztest::run_program(ZELP_HOST_BIN,
                               {"-s", daemon.port(), "record", "-d", "1", "-o", u.file}, dir.path(),
                               {}, {.file_bytes = u.file_limit});
        EXPECT_EQ(r.status, 1) << u.file;
        EXPECT_EQ(r.out, "") << u.file;
        EXPECT_EQ(r.err, "zelp7x_host: cannot write " + u.file + ": " + u.reason + "\n");
        EXPECT_EQ(fs::exists(dir.path() / u.file), u.remains) << u.file;
    }
}

// A package the reader refuses never reaches the chip, so the firmware goes on; a reset, as the
// flash tool makes, stops it, and info then finds nothing that answers.
TEST_F(HostTool, ABadPackageLeavesTheFirmwareRunningUntilAResetStopsIt) {
    ztest::BoardDaemon daemon(ZELP_BOARD_SIM_BIN, dir.path(), dir.path() / "flash.bin");
    ASSERT_FALSE(daemon.port().empty());
    const auto on_board = [&](Args args) {
        args.insert(args.begin(), {"-s", daemon.port()});
        return host(args);
    };
    ASSERT_EQ(on_board({"load", "all.pkg"}).status, 0);
    auto bad = ztest::read_bytes(dir.path() / "all.pkg");
    bad[bad.size() / 2] ^= 0x10;
    ztest::write_bytes(dir.path() / "bad.pkg", bad);
    auto r = on_board({"load", "all.pkg", "bad.pkg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "load failed: package\nbad.pkg: package error -4 "
                     "(MORVEL_PACKAGE_ERROR_CHECKSUM) at byte " +
                         std::to_string(bad.size()) + "\n");
    EXPECT_EQ(on_board({"info"}).out, info_lines(Chip::plain));
    r = ztest::run_program(ZELP_FLASH_BIN, {"-s", daemon.port(), "-d"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(on_board({"info"}).out, "device type: 0x20\nsecured: no\nfirmware: not loaded\n");
}

TEST_F(HostTool, FailingLoadsNameTheLibrarysErrorAndEndTheRun) {
    auto bad = ztest::read_bytes(dir.path() / "firmware.pkg");
    bad[100] ^= 1; // inside the image: only the boot loader's CRC check can tell
    ztest::write_bytes(dir.path() / "bad.pkg", bad);
    bad.resize(1000);
    ztest::write_bytes(dir.path() / "short.pkg", bad);
    const struct {
        std::string port, package, out;
    } cases[] = {
        // Both found by the package reader before the chip is touched, with where it stopped.
        {"sim:,secured", "bad.pkg",
         "load failed: package\nbad.pkg: package error -4 (MORVEL_PACKAGE_ERROR_CHECKSUM) at "
         "byte 4152\n"},
        {"sim", "short.pkg",
         "load failed: package\nshort.pkg: package error -999 "
         "(MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR) at byte 1000\n"},
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
                        {"posterior", "-C", "1"},
                        {"watch", "-n", "0"},
                        {"watch", "-n", "-1"},
                        {"watch", "-n", "1000001"},
                        {"watch", "-n", "2147483648"},
                        {"watch", "-j"},
                        {"info", "--json"},
                        {"extract", "input", "-n", "6", "-o", "x.raw"},
                        {"extract", "accel", "-f", "match", "-o", "x.raw"},
                        {"dump", "fw"},
                        {"record", "-o", "x.wav"},
                        {"record", "-d", "0", "-o", "x.wav"},
                        {"record", "-d", "1", "-f", "match", "-o", "x.wav"},
                        {"gpio", "-e", "0x100=1"},
                        {"serial", "i2c", "0x19", "-w", "1"}};
    for (const Args &args : bad) {
        const auto r = host(args);
        EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
        EXPECT_NE(r.err.find("usage: zelp7x_host"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    auto r = host({"-s", "sim", "load", "all.pkg", "missing.pkg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "") << "nothing is loaded before every package is read";
    EXPECT_EQ(r.err, "zelp7x_host: cannot read missing.pkg\n");
    // The largest count is a wait like any other, here one that ends without a match.
    r = host({"-s", "sim", "watch", "-n", "1000000", "-w", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.find("usage"), std::string::npos) << r.err;
    r = host({"-h", "info"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("  posterior [-S STATE [-C CLASS]]   the posterior tables\n"),
              std::string::npos);
}

} // namespace
