// A bridge answer lost or cut short anywhere in a run, on the board in the tool's process and on
// the daemon: the run ends with status 1 and the failing step's message in good time, and never
// reports success over wrong data or hangs; on the daemon the next run completes the image.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "support/process/tool_process.h"

namespace {

namespace fs = std::filesystem;

enum class Path { mspi, bridge };
enum class Board { in_process, daemon };

struct Row {
    const char *fault; // drop-answer or short-answer
    unsigned answer;   // which answer since the board started
    Path path;
    bool pipelined;
    Board board;
    const char *step; // what the tool reports failed; null: the run succeeds
};

// The job: the MSPI path reads the ID, erases, programs and verifies 600 bytes; -Q programs and
// verifies them through the bridge. Its answers in order: 1 the I/O layer's link probe, whose
// result is ignored; 2-3 the chip reset; 4-30 the input clock set-up; then on the MSPI path 31 the
// ID, 32-40 the erase's status polls, 41-49 the program's, 50-199 the read; with -Q 31-33 the
// write, 34-36 the read.
constexpr const char *reset = "zelp_init", *clock = "zelp7x_config input set",
                     *status = "mspi rw read", *read = "mspi read",
                     *qwrite = "bridge flash write sync", *qread = "bridge flash read";
constexpr auto mspi = Path::mspi, bridge = Path::bridge;
constexpr auto local = Board::in_process, daemon = Board::daemon;
constexpr const char *drop = "drop-answer", *cut = "short-answer";

const Row rows[] = {
    {drop, 1, mspi, false, local, nullptr},   {drop, 2, mspi, false, local, reset},
    {cut, 3, mspi, false, local, reset},      {drop, 10, mspi, false, local, clock},
    {cut, 30, mspi, false, local, clock},     {drop, 31, mspi, false, local, status},
    {cut, 31, mspi, true, local, status},     {drop, 35, mspi, false, local, status},
    {cut, 40, mspi, true, local, status},     {drop, 41, mspi, false, local, status},
    {cut, 49, mspi, false, local, status},    {drop, 50, mspi, false, local, read},
    {drop, 50, mspi, true, local, read},      {cut, 81, mspi, true, local, read},
    {drop, 120, mspi, true, local, read},     {cut, 199, mspi, false, local, read},
    {drop, 199, mspi, true, local, read},     {drop, 4, bridge, false, local, clock},
    {drop, 31, bridge, false, local, qwrite}, {cut, 33, bridge, true, local, qwrite},
    {drop, 34, bridge, false, local, qread},  {cut, 35, bridge, false, local, qread},
    {drop, 34, bridge, true, local, qread},   {cut, 36, bridge, true, local, qread},
    {drop, 31, mspi, false, daemon, status},  {cut, 100, mspi, true, daemon, read},
    {drop, 35, bridge, true, daemon, qread},
};

std::vector<uint8_t> image() {
    std::vector<uint8_t> v(600);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(i * 37 + 11);
    return v;
}

TEST(ToolLinkFaults, EveryLostOrShortAnswerEndsTheRunWithItsStepsMessage) {
    const ztest::TempDir dir("tool_link_faults");
    ztest::write_bytes(dir.path() / "img", image());
    int n = 0;
    for (const Row &row : rows) {
        const fs::path flash = dir.path() / ("flash" + std::to_string(n++));
        const std::string option = std::string(row.fault) + "=" + std::to_string(row.answer);
        const std::string params = row.pipelined ? ",pipeline=32" : "";
        std::vector<std::string> args = {"-q", "-w", "img", "-v", "img"};
        if (row.path == Path::mspi)
            args.insert(args.end(), {"-d", "-e"});
        else
            args.push_back("-Q");
        const std::string what = option + (row.path == Path::bridge ? " -Q" : "") + params +
                                 (row.board == Board::daemon ? " on the daemon" : "");

        std::unique_ptr<ztest::BoardDaemon> board;
        if (row.board == Board::daemon) {
            board = std::make_unique<ztest::BoardDaemon>(ZELP_BOARD_SIM_BIN, dir.path(), flash,
                                                         std::vector<std::string>{"--" + option});
            ASSERT_FALSE(board->port().empty()) << what;
            args.insert(args.begin(), {"-s", board->port() + params});
        } else {
            args.insert(args.begin(), {"-s", "sim:" + flash.string() + "," + option + params});
        }
        const auto start = std::chrono::steady_clock::now();
        const auto r = ztest::run_program(ZELP_FLASH_BIN, args, dir.path());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        board.reset();

        EXPECT_LT(took.count(), 5.0) << what;
        if (!row.step) {
            EXPECT_EQ(r.status, 0) << what << ": the probe's answer is not needed";
            const auto cells = ztest::read_bytes(flash);
            EXPECT_EQ(std::vector<uint8_t>(cells.begin(), cells.begin() + 600), image()) << what;
            continue;
        }
        EXPECT_EQ(r.status, 1) << what << ": " << r.out << r.err;
        const std::string message = std::string(row.step) + " failed: fail\n";
        EXPECT_TRUE(r.out.ends_with(message)) << what << ": " << r.out;
        EXPECT_EQ(r.err.rfind("Error during transfer on the Serial/SPI device", 0), 0u)
            << what << ": " << r.err;
    }
}

// A run cut off anywhere by a lost or short answer on the daemon, then run again: the second run
// completes the image, whatever state the first left the chip's MSPI port and the flash in
// (inside the read command, or busy with an erase or a page program nobody waited for). The
// image spans two sectors over noise, so each must be erased and programmed. Its answers: 31 the
// ID, 32-2079 the read of both sectors, 2080-2160 or so the erases' and programs' status polls,
// then the verify's read. Each cut has a daemon of its own, all at once: a first run waits out
// the I/O layer's time limit for the answer it lost.
TEST(ToolLinkFaults, AfterACutAnywhereTheNextRunCompletesTheImageOnTheDaemon) {
    const ztest::TempDir dir("tool_link_faults_again");
    const std::vector<uint8_t> img = ztest::pseudo_random_bytes(4196, 8);
    ztest::write_bytes(dir.path() / "img", img);
    struct Outcome {
        std::string what;
        bool served = false;
        ztest::ToolOutcome first, second;
        std::vector<uint8_t> cells;
    };
    const auto cut_and_rerun = [&](const char *fault, unsigned answer) {
        Outcome o;
        o.what = std::string(fault) + "=" + std::to_string(answer);
        const fs::path flash = dir.path() / ("flash" + std::to_string(answer));
        ztest::write_bytes(flash, ztest::pseudo_random_bytes(0x4000, answer));
        ztest::BoardDaemon board(ZELP_BOARD_SIM_BIN, dir.path(), flash, {"--" + o.what});
        o.served = !board.port().empty();
        if (!o.served) return o;
        const std::vector<std::string> args = {
            "-q", "-s", board.port(), "-a", "0x1f10", "--skip-unchanged", "-w", "img", "-v", "img"};
        o.first = ztest::run_program(ZELP_FLASH_BIN, args, dir.path());
        o.second = ztest::run_program(ZELP_FLASH_BIN, args, dir.path());
        o.cells = ztest::read_bytes(flash);
        return o;
    };
    const std::pair<const char *, unsigned> cuts[] = {
        {drop, 31},   {cut, 33},   {drop, 1000}, {cut, 2079}, {drop, 2080}, {cut, 2085},
        {drop, 2100}, {cut, 2120}, {drop, 2140}, {cut, 2158}, {drop, 2500},
    };
    std::vector<std::future<Outcome>> runs;
    for (const auto &[fault, answer] : cuts)
        runs.push_back(std::async(std::launch::async, cut_and_rerun, fault, answer));
    for (auto &run : runs) {
        const Outcome o = run.get();
        ASSERT_TRUE(o.served) << o.what;
        EXPECT_EQ(o.first.status, 1) << o.what << ": the cut falls inside the run";
        EXPECT_EQ(o.second.status, 0) << o.what << ": " << o.second.out << o.second.err;
        ASSERT_GE(o.cells.size(), 0x1F10 + img.size()) << o.what;
        EXPECT_TRUE(std::equal(img.begin(), img.end(), o.cells.begin() + 0x1F10)) << o.what;
    }
}

} // namespace
