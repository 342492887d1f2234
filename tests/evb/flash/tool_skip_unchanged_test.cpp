// Writes that touch only what changed: each kind of sector through the flash library on both
// paths, with the commands the flash saw; the tool's write step over random images, lengths and
// addresses; the tool's --skip-unchanged runs, a run killed in the middle of a write and run
// again, and two boards written from two threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "atmel_dongle.h"
#include "flash_steps.h"
#include "image_file.h"
#include "support/board/sim_device.h"
#include "support/process/tool_process.h"

namespace {

namespace fs = std::filesystem;
using bytes = std::vector<uint8_t>;
using ztest::SimDevice;

constexpr uint32_t sector = 4096;

// One sector case: what the flash holds in the four sectors 0x0000 to 0x4000, the data written
// at `address`, the span `erase_count` asks to erase, and what the write must send.
struct SectorCase {
    const char *name;
    bytes before;
    uint32_t address;
    bytes data;
    uint32_t erase_count;
    morvel_zelp7x_flash_write_stats_s stats;
    unsigned sector_erases, block_erases, page_programs;
};

std::vector<SectorCase> sector_cases() {
    bytes old = ztest::pseudo_random_bytes(4 * sector, 1);
    old[sector + 10] = 0xF0;
    old[sector + 700] = 0x81;
    old[2 * sector + 5] = 0x00;
    bytes cleared = old; // the same bytes with bits cleared in pages 0 and 2 of sector 1
    cleared[sector + 10] = 0x30;
    cleared[sector + 700] = 0x01;
    bytes gains = old; // sector 2 gains bits, so it must be erased
    gains[2 * sector + 5] = 0x81;
    bytes blank_tail = old; // sector 3 already blank
    std::fill(blank_tail.begin() + 3 * sector, blank_tail.end(), 0xFF);
    const auto part = [](const bytes &b, size_t from, size_t n) {
        return bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + n));
    };
    // A write of bytes 0x1100 to 0x2F00 that must erase sector 2: its pages outside the data hold
    // old bytes and are programmed back; every page of sector 2 holds data, so 16 are programmed.
    return {
        {"unchanged", old, sector, part(old, sector, 2 * sector), 0, {2, 2, 0, 0}, 0, 0, 0},
        {"bits only", old, sector, part(cleared, sector, 2 * sector), 0, {2, 1, 0, 2}, 0, 0, 2},
        {"gains bits", old, 0x1100, part(gains, 0x1100, 0x1E00), 0, {2, 1, 1, 16}, 1, 0, 16},
        {"erase span, blank tail",
         blank_tail,
         0,
         part(blank_tail, 0, sector),
         4 * sector,
         {1, 1, 2, 0},
         2,
         0,
         0},
    };
}

TEST(ToolSkipUnchanged, EachSectorIsLeftProgrammedOrErasedAsItNeeds) {
    for (const SectorCase &c : sector_cases()) {
        SimDevice dev;
        std::ranges::copy(c.before, dev.flash().cells().begin());
        auto f = dev.session();
        morvel_zelp7x_flash_write_options_s options{1, c.erase_count, nullptr, 0};
        morvel_zelp7x_flash_write_stats_s stats{};
        ASSERT_EQ(morvel_zelp7x_flash_write(&f, c.address, c.data.data(),
                                            static_cast<uint32_t>(c.data.size()), &options, &stats,
                                            nullptr),
                  0)
            << c.name;
        EXPECT_EQ(stats.sectors, c.stats.sectors) << c.name;
        EXPECT_EQ(stats.sectors_unchanged, c.stats.sectors_unchanged) << c.name;
        EXPECT_EQ(stats.sectors_erased, c.stats.sectors_erased) << c.name;
        EXPECT_EQ(stats.pages_programmed, c.stats.pages_programmed) << c.name;
        EXPECT_EQ(dev.flash().stats().sector_erases, c.sector_erases) << c.name;
        EXPECT_EQ(dev.flash().stats().block_erases, c.block_erases) << c.name;
        EXPECT_EQ(dev.flash().stats().page_programs, c.page_programs) << c.name;

        // The data landed, the erase span outside it is blank, and nothing else changed.
        bytes want = c.before;
        const uint32_t erase_end = std::min<uint32_t>(c.address + c.erase_count, 4 * sector);
        for (uint32_t a =
                 (c.address + static_cast<uint32_t>(c.data.size()) + sector - 1) / sector * sector;
             a < erase_end; ++a)
            want[a] = 0xFF;
        std::ranges::copy(c.data, want.begin() + c.address);
        const auto got = dev.flash().contents().first(want.size());
        EXPECT_TRUE(std::ranges::equal(got, want)) << c.name;
    }
}

// One write step of the tool: `data` at `address`, with -3, -e and -A as asked.
struct RandomWrite {
    uint32_t address;
    bytes data;
    bool three_byte, erase, dongle;

    run_options run(bool skip_unchanged) const {
        run_options r;
        r.quiet = 1;
        r.skip_unchanged = skip_unchanged ? 1 : 0;
        r.address = static_cast<int>(address);
        r.write_file_name = "image";
        r.write_data = data;
        r.count = static_cast<int>(data.size());
        r.three_byte = three_byte ? 1 : 0;
        r.encoded_count = static_cast<int>(encoded_size(r.count, three_byte));
        r.erase_count = r.encoded_count;
        r.erase_region = erase ? 1 : 0;
        if (dongle) {
            r.atmel_dongle = 1;
            r.erase_count = ATMEL_DONGLE_PAGE_SIZE;
            r.dongle_descriptor =
                dongle_descriptor(static_cast<uint32_t>(r.encoded_count), three_byte);
            r.dongle_descriptor_address = dongle_descriptor_address(address);
        }
        return r;
    }

    // What the flash must hold after `before`: with -e the sectors of the erase span blank; the
    // image up to its last data byte (the bytes that round it up to 4 are filler, not image); the
    // descriptor.
    bytes expected(bytes flash) const {
        const run_options r = run(true);
        if (erase) {
            const uint32_t first = address / sector * sector;
            const uint64_t last =
                (uint64_t{address} + r.erase_count + sector - 1) / sector * sector;
            std::fill(flash.begin() + first, flash.begin() + static_cast<long>(last), 0xFF);
        }
        bytes encoded(static_cast<size_t>(r.encoded_count));
        encode_image(data, three_byte, encoded);
        const auto n = morvel_zelp7x_flash_encoded_data_size(r.count, three_byte);
        std::copy_n(encoded.begin(), n, flash.begin() + address);
        if (dongle)
            std::ranges::copy(r.dongle_descriptor, flash.begin() + r.dongle_descriptor_address);
        return flash;
    }
};

// Lengths around multiples of 4 and of sectors, addresses aligned and not, a fixed seed.
std::vector<RandomWrite> random_writes() {
    std::mt19937 rng(25);
    const auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    std::vector<RandomWrite> writes;
    for (unsigned k = 0; k < 48; ++k) {
        const uint32_t align = std::array<uint32_t, 4>{1, 4, 256, sector}[pick(4)];
        RandomWrite w;
        w.address = pick(0x30000) / align * align;
        w.data = ztest::pseudo_random_bytes(pick(4) == 0 ? 1 + pick(8) : pick(3 * sector), 100 + k);
        w.three_byte = pick(4) == 0;
        w.erase = pick(2) == 0;
        w.dongle = pick(8) == 0;
        // Half the dongle images start a span, so the -e span holds their descriptor.
        if (w.dongle && k % 2 == 0) w.address = 0;
        writes.push_back(std::move(w));
    }
    return writes;
}

// The tool's write step with --skip-unchanged leaves exactly what the write must, with -e what a
// plain -e -w leaves, and a second run on the same flash sends nothing.
TEST(ToolSkipUnchanged, RandomImagesChangeOnlyWhatTheRunMustAndNothingTheSecondTime) {
    unsigned n = 0;
    for (const RandomWrite &w : random_writes()) {
        const std::string name = "case " + std::to_string(n++) + ": " +
                                 std::to_string(w.data.size()) + " bytes at " +
                                 std::to_string(w.address) + (w.three_byte ? " -3" : "") +
                                 (w.erase ? " -e" : "") + (w.dongle ? " -A" : "");
        SimDevice dev;
        const auto noise = ztest::pseudo_random_bytes(0x240000, n);
        std::ranges::copy(noise, dev.flash().cells().begin());
        const bytes want = w.expected(noise);
        run_options run = w.run(true);
        ztest::stdout_of([&] { ASSERT_EQ(ztest::write_step(dev, run), 0) << name; });
        ASSERT_TRUE(std::ranges::equal(dev.flash().contents().first(want.size()), want)) << name;

        // A plain run with -e leaves the same flash (but for a descriptor outside its span; and
        // a plain run's pages start on a multiple of 4).
        if (w.erase && w.address % 4 == 0 &&
            (!w.dongle || w.address % ATMEL_DONGLE_PAGE_SIZE == 0)) {
            SimDevice plain;
            std::ranges::copy(noise, plain.flash().cells().begin());
            run_options p = w.run(false);
            ztest::ToolFlash(plain, true).erase(w.address, static_cast<uint32_t>(p.erase_count));
            ztest::stdout_of([&] { ASSERT_EQ(ztest::write_step(plain, p), 0) << name; });
            EXPECT_TRUE(std::ranges::equal(plain.flash().contents().first(want.size()), want))
                << name << ": as plain -e -w";
        }

        const zsim::FlashStats first = dev.flash().stats();
        run = w.run(true);
        const std::string out =
            ztest::stdout_of([&] { ASSERT_EQ(ztest::write_step(dev, run), 0); });
        const std::string unchanged =
            "skip-unchanged: (\\d+) of \\1 sectors unchanged, 0 erased, 0 pages";
        EXPECT_TRUE(std::regex_search(out, std::regex(unchanged))) << name << ": " << out;
        EXPECT_EQ(dev.flash().stats().page_programs, first.page_programs) << name;
        EXPECT_EQ(dev.flash().stats().erase_log, first.erase_log) << name;
    }
}

// A piece beside the data, on each way of writing: a plain write erases the sectors both touch
// and programs both; a changed-only one (either path) keeps every other byte. Either way a second
// changed-only write finds nothing to do.
TEST(ToolSkipUnchanged, APieceIsWrittenWithTheDataInOnePass) {
    const bytes data = ztest::pseudo_random_bytes(100, 20), piece = {1, 2, 3, 4, 5, 6, 7, 8};
    const morvel_zelp7x_flash_piece_s more = {0x5FF8, piece.data(), 8};
    struct Way {
        int skip_unchanged;
        morvel_zelp7x_flash_path_e path;
    };
    for (const Way way :
         {Way{0, MORVEL_ZELP7X_FLASH_PATH_MSPI}, Way{1, MORVEL_ZELP7X_FLASH_PATH_MSPI},
          Way{1, MORVEL_ZELP7X_FLASH_PATH_BRIDGE}}) {
        SimDevice dev;
        const bytes noise = ztest::pseudo_random_bytes(8 * sector, 21);
        std::ranges::copy(noise, dev.flash().cells().begin());
        bytes want = noise;
        if (way.skip_unchanged == 0) {
            std::fill_n(want.begin() + sector, sector, 0xFF);
            std::fill_n(want.begin() + 5 * sector, sector, 0xFF);
        }
        std::ranges::copy(data, want.begin() + 0x1010);
        std::ranges::copy(piece, want.begin() + 0x5FF8);
        auto f = dev.session(way.path);
        morvel_zelp7x_flash_write_options_s options{way.skip_unchanged, 0, &more, 1};
        morvel_zelp7x_flash_write_stats_s stats{};
        ASSERT_EQ(
            morvel_zelp7x_flash_write(&f, 0x1010, data.data(), 100, &options, &stats, nullptr), 0);
        EXPECT_TRUE(std::ranges::equal(dev.flash().contents().first(want.size()), want))
            << way.skip_unchanged << way.path;
        if (way.skip_unchanged) {
            EXPECT_EQ(stats.sectors, 2u);
        }
        options.skip_unchanged = 1;
        ASSERT_EQ(
            morvel_zelp7x_flash_write(&f, 0x1010, data.data(), 100, &options, &stats, nullptr), 0);
        EXPECT_EQ(stats.sectors_unchanged, 2u) << way.skip_unchanged << way.path;
    }
}

TEST(ToolSkipUnchanged, ThroughTheBridgeOnlyChangedSectorsAreSentWhole) {
    SimDevice dev;
    const bytes old = ztest::pseudo_random_bytes(3 * sector, 2);
    std::ranges::copy(old, dev.flash().cells().begin());
    bytes data = old;
    data[sector + 3] ^= 0x5A; // sector 1 changes; sectors 0 and 2 stay
    auto f = dev.session(MORVEL_ZELP7X_FLASH_PATH_BRIDGE);
    morvel_zelp7x_flash_write_options_s options{1, 0, nullptr, 0};
    morvel_zelp7x_flash_write_stats_s stats{};
    ASSERT_EQ(morvel_zelp7x_flash_write(&f, 0, data.data(), static_cast<uint32_t>(data.size()),
                                        &options, &stats, nullptr),
              0);
    EXPECT_EQ(stats.sectors_unchanged, 2u);
    EXPECT_EQ(stats.sectors_erased, 1u);
    EXPECT_EQ(stats.pages_programmed, 16u);
    std::vector<uint32_t> writes;
    for (const auto &c : dev.bridge_commands)
        if (c.command == ATMEL_DONGLE_FW_FLASH_WRITE) writes.push_back(c.address);
    ASSERT_EQ(writes.size(), 16u);
    EXPECT_EQ(writes.front(), sector);
    EXPECT_EQ(writes.back(), 2 * sector - 256);
    EXPECT_TRUE(std::ranges::equal(dev.flash().contents().first(data.size()), data));
}

TEST(ToolSkipUnchanged, TwoBoardsWrittenFromTwoThreadsAtOnce) {
    SimDevice a, b;
    const bytes image_a = ztest::pseudo_random_bytes(5 * sector + 100, 3),
                image_b = ztest::pseudo_random_bytes(3 * sector, 4);
    const auto write = [](SimDevice &dev, const bytes &image, int &status) {
        auto f = dev.session();
        morvel_zelp7x_flash_write_options_s options{1, 0, nullptr, 0};
        morvel_zelp7x_flash_verify_s v{};
        status =
            morvel_zelp7x_flash_write(&f, 0x2000, image.data(), static_cast<uint32_t>(image.size()),
                                      &options, nullptr, nullptr);
        if (status == 0)
            status = morvel_zelp7x_flash_verify(&f, 0x2000, image.data(),
                                                static_cast<uint32_t>(image.size()), &v, nullptr);
        if (status == 0 && v.differences != 0) status = -1;
    };
    int status_a = 1, status_b = 1;
    std::thread ta(write, std::ref(a), std::cref(image_a), std::ref(status_a));
    std::thread tb(write, std::ref(b), std::cref(image_b), std::ref(status_b));
    ta.join();
    tb.join();
    EXPECT_EQ(status_a, 0);
    EXPECT_EQ(status_b, 0);
}

class ToolSkipUnchangedRuns : public testing::Test {
  protected:
    ztest::TempDir dir{"tool_skip_unchanged"};
    fs::path flash = dir.path() / "flash.bin";

    ztest::ToolOutcome tool(const std::string &port, std::vector<std::string> args) {
        args.insert(args.begin(), {"-s", port});
        return ztest::run_program(ZELP_FLASH_BIN, args, dir.path());
    }
};

TEST_F(ToolSkipUnchangedRuns, ASecondWriteSendsOnlyTheChangedSectorOnBothPaths) {
    const bytes first = ztest::pseudo_random_bytes(5 * sector, 5);
    bytes second = first;
    second[2 * sector + 1] ^= 0xFF;
    ztest::write_bytes(dir.path() / "first", first);
    ztest::write_bytes(dir.path() / "second", second);
    const std::string port = "sim:" + flash.string();
    for (const char *path : {"", "-Q"}) {
        std::vector<std::string> plain = {"-q", "-e", "-w", "first", "-v", "first"};
        std::vector<std::string> skip = {"-q", "--skip-unchanged", "-w", "second", "-v", "second"};
        if (*path != '\0') {
            plain.insert(plain.begin(), path);
            skip.insert(skip.begin(), path);
        }
        ASSERT_EQ(tool(port, plain).status, 0) << path;
        const ztest::ToolOutcome o = tool(port, skip);
        EXPECT_EQ(o.status, 0) << path << o.err;
        EXPECT_NE(o.out.find("skip-unchanged: 4 of 5 sectors unchanged, 1 erased, 16 pages "
                             "programmed\n"),
                  std::string::npos)
            << path << o.out;
        EXPECT_EQ(o.out.find("bytes erased"), std::string::npos) << "no erase step of its own";
        // Unchanged a third time: nothing is sent.
        EXPECT_NE(
            tool(port, skip)
                .out.find(
                    "skip-unchanged: 5 of 5 sectors unchanged, 0 erased, 0 pages programmed\n"),
            std::string::npos)
            << path;
    }
}

TEST_F(ToolSkipUnchangedRuns, AWriteKilledHalfwayIsCompletedByTheNextRun) {
    const bytes image = ztest::pseudo_random_bytes(8 * sector, 6);
    ztest::write_bytes(dir.path() / "image", image);
    // A link slow enough that the write (about 4 s) is still going when the run is killed.
    ztest::BoardDaemon board(ZELP_BOARD_SIM_BIN, dir.path(), flash, {"--latency=150"});
    ASSERT_FALSE(board.port().empty());
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        execl(ZELP_FLASH_BIN, ZELP_FLASH_BIN, "-q", "-s", board.port().c_str(), "-e", "-w",
              (dir.path() / "image").c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    const ztest::ToolOutcome o = tool(board.port() + ",pipeline=64",
                                      {"-q", "--skip-unchanged", "-w", "image", "-v", "image"});
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_NE(o.out.find("skip-unchanged: "), std::string::npos);
    EXPECT_EQ(o.err, "");
}

} // namespace
