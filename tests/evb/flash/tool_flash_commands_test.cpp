// MSPI primitives and SPI flash commands of the flash library, as the tool shows them, run against
// the simulated MSPI and flash.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <unistd.h>

#include "flash_ops.h"
#include "flash_steps.h"
#include "mspi_access.h"
#include "run_failure.h"
#include "support/board/sim_device.h"

namespace {

using namespace zflash;
using ztest::failure_of;
using ztest::SimDevice;
using ztest::stdout_of;

std::string progress_line(const char *prefix, int pct, int bars) {
    return "\r" + std::string(prefix) + std::string(8 - std::string(prefix).size(), ' ') + ": " +
           (pct < 10    ? "  "
            : pct < 100 ? " "
                        : "") +
           std::to_string(pct) + "% [" + std::string(bars, '=') + std::string(60 - bars, ' ') + "]";
}

TEST(ToolFlashCommands, ReadsTheJedecIdAndTheStatusThroughTheMspiRegisters) {
    SimDevice dev;
    uint8_t mfg = 0;
    uint16_t id = 0;
    uint32_t capacity = 0;
    auto f = dev.session();
    EXPECT_EQ(morvel_zelp7x_flash_read_id(&f, &mfg, &id, &capacity, nullptr), 0);
    EXPECT_EQ(mfg, 0xEF);
    EXPECT_EQ(id, 0x4016);
    EXPECT_EQ(capacity, 4u << 20);
    const session s(f);
    EXPECT_EQ(read_status(s), 0);
    write_enable(s);
    EXPECT_EQ(read_status(s), 0x02) << "the write enable latch";
    EXPECT_FALSE(dev.mspi().selected()) << "every command leaves the port idle";
    EXPECT_EQ(dev.mspi().misuse(), 0u);
}

TEST(ToolFlashCommands, EachFailingRegisterAccessEndsTheRunNamingIt) {
    const std::pair<long, const char *> cases[] = {
        {0, "mspi ctl write failed: timeout"},
        {1, "mspi spitx write failed: timeout"},
        {4, "mspi rw read failed: timeout"},
    };
    for (const auto &[after, message] : cases) {
        SimDevice dev;
        dev.fail_after = after;
        auto f = dev.session();
        uint8_t mfg;
        uint16_t id;
        morvel_zelp7x_flash_failure_s failure{};
        EXPECT_EQ(morvel_zelp7x_flash_read_id(&f, &mfg, &id, nullptr, &failure),
                  MORVEL_ZELP_ERROR_TIMEOUT);
        EXPECT_EQ(failure.kind, MORVEL_ZELP7X_FLASH_FAILED_CALL);
        EXPECT_STREQ(failure.message, message);
        // The tool prints the same text on standard output.
        const run_failure r = failure_of([&] { fail_flash(failure); });
        EXPECT_FALSE(r.on_stderr);
        EXPECT_EQ(r.text, std::string(message) + "\n");
    }
    SimDevice dev;
    dev.fail_after = 5;
    uint32_t v;
    mspi_mode(dev.zelp(), MSPI_ENABLE);
    mspi_write(dev.zelp(), 0x03000000, 4);
    try {
        mspi_read(dev.zelp(), &v, 4);
        ADD_FAILURE() << "the read should fail";
    } catch (const flash_failure &f) {
        EXPECT_EQ(f.message, "mspi read failed: timeout");
    }
}

TEST(ToolFlashCommands, PlannerUsesBlocksForWholeBlocksAndSectorsAround) {
    using S = flash_erase_step;
    constexpr uint32_t k4 = FLASH_ERASE_4K_COMMAND, k64 = FLASH_ERASE_64K_COMMAND;
    EXPECT_EQ(plan_erase(0, 16), (std::vector<S>{{k4, 0, false}}));
    EXPECT_EQ(plan_erase(0x1000, 0x1000), (std::vector<S>{{k4, 0x1000, true}}));
    EXPECT_EQ(plan_erase(0, 0x20000), (std::vector<S>{{k64, 0, true}, {k64, 0x10000, true}}));
    EXPECT_TRUE(plan_erase(0x1234, 0).empty());

    const auto plan = plan_erase(0x8000, 0x30000);
    std::vector<S> expected;
    for (uint32_t a = 0x8000; a < 0x10000; a += 0x1000) expected.push_back({k4, a, true});
    expected.push_back({k64, 0x10000, true});
    expected.push_back({k64, 0x20000, true});
    for (uint32_t a = 0x30000; a < 0x38000; a += 0x1000)
        expected.push_back({k4, a, (a & 0x3000) == 0x3000});
    EXPECT_EQ(plan, expected);
}

TEST(ToolFlashCommands, EraseClearsExactlyThePlannedSectorsAndDrawsItsBar) {
    SimDevice dev;
    auto cells = dev.flash().cells();
    std::fill(cells.begin(), cells.end(), uint8_t{0});
    const std::string out = stdout_of([&] { ztest::ToolFlash(dev).erase(0x8000, 0x30000); });
    EXPECT_EQ(cells[0x7FFF], 0);
    EXPECT_EQ(cells[0x8000], 0xFF);
    EXPECT_EQ(cells[0x37FFF], 0xFF);
    EXPECT_EQ(cells[0x38000], 0);
    EXPECT_EQ(dev.flash().stats().block_erases, 2u);
    EXPECT_EQ(dev.flash().stats().sector_erases, 16u);
    EXPECT_EQ(out.substr(0, progress_line("Erase", 0, 0).size()), progress_line("Erase", 14, 8))
        << "starts part-way: 0x8000 / 0x38000 = 0.14";
    EXPECT_TRUE(out.ends_with(progress_line("Erase", 100, 60) + "\n"));
    EXPECT_EQ(stdout_of([&] { ztest::ToolFlash(dev, true).erase(0, 0x2000); }), "");

    // Beyond three-byte addresses nothing is sent; the last sector itself is fine.
    const unsigned commands = dev.flash().stats().commands;
    auto f = dev.session();
    EXPECT_EQ(morvel_zelp7x_flash_erase(&f, 0xFFF000, 0x2000, nullptr), MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(morvel_zelp7x_flash_erase(&f, 0xFFFFF000, 0x2000, nullptr), MORVEL_ZELP_ERROR_ARG);
    // Reads and compares too; a count near 2^32 would round its read buffer down to nothing.
    std::array<uint8_t, 8> buf{};
    EXPECT_EQ(morvel_zelp7x_flash_read(&f, 0xFFFFFC, buf.data(), 8, nullptr),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(morvel_zelp7x_flash_verify(&f, 0, buf.data(), 0xFFFFFFFE, nullptr, nullptr),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(dev.flash().stats().commands, commands);
    EXPECT_EQ(morvel_zelp7x_flash_erase(&f, 0xFFF000, 0x1000, nullptr), 0);
}

TEST(ToolFlashCommands, ChipEraseClearsEverythingAndEndsItsLineEvenWhenQuiet) {
    SimDevice dev;
    auto cells = dev.flash().cells();
    std::fill(cells.begin(), cells.end(), uint8_t{0x5A});
    const std::string summary = "chip erased in 0.0";
    EXPECT_TRUE(
        stdout_of([&] { ztest::ToolFlash(dev, true).erase_chip(); }).starts_with("\n" + summary));
    EXPECT_TRUE(std::all_of(cells.begin(), cells.end(), [](uint8_t b) { return b == 0xFF; }));
    const std::string out = stdout_of([&] { ztest::ToolFlash(dev).erase_chip(); });
    EXPECT_TRUE(out.starts_with(progress_line("Erase", 0, 0)));
    EXPECT_NE(out.find(progress_line("Erase", 100, 60) + "\n" + summary), std::string::npos);
}

TEST(ToolFlashCommands, ProgressBarLayout) {
    const std::tuple<double, const char *, std::string> cases[] = {
        {0.5, "Erase", "\rErase   :  50% [" + std::string(30, '=') + std::string(30, ' ') + "]"},
        {0.0, "Read", "\rRead    :   0% [" + std::string(60, ' ') + "]"},
        {1.0, "Program", "\rProgram : 100% [" + std::string(60, '=') + "]"},
        {7.0, "Read", "\rRead    : 100% [" + std::string(60, '=') + "]"},
    };
    for (const auto &[pct, prefix, expected] : cases)
        EXPECT_EQ(stdout_of([&] { print_progress(pct, prefix); }), expected) << pct;

    SimDevice dev; // a wait that finds the flash ready at once draws the full bar
    auto f = dev.session();
    f.progress = [](const char *phase, double fraction, void *) {
        print_progress(fraction, phase);
    };
    EXPECT_EQ(stdout_of([&] { wait_ready(session(f), 1, "Erase"); }),
              progress_line("Erase", 100, 60));
    EXPECT_EQ(dev.flash().stats().status_polls, 1u);
}

TEST(ToolFlashCommands, StuckBusyExpiresAfterTheLimit) {
    zsim::FlashConfig c;
    c.stuck_busy = true;
    SimDevice dev(c);
    const run_failure r = failure_of([&] { ztest::ToolFlash(dev, true).erase(0, 0x1000); });
    EXPECT_TRUE(r.on_stderr);
    EXPECT_TRUE(std::regex_match(
        r.text,
        std::regex(
            " flash wait expired after (24[0-9]|2[5-9][0-9]|[3-9][0-9][0-9]|[0-9]{4,}) MS\n")))
        << r.text;
}

TEST(ToolFlashCommands, AStatusAnswerArrivingPastTheLimitGetsOneMorePoll) {
    // A page program keeps the flash busy for two polls. The second answer comes back after the
    // 500 ms limit, as over a link with 300 ms of latency; the third poll finds the flash ready.
    SimDevice dev;
    dev.before_read = [&dev, slowed = false]() mutable {
        if (dev.flash().stats().status_polls != 2 || slowed) return;
        slowed = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    };
    const std::array<uint8_t, 4> data{0x12, 0x34, 0x56, 0x78};
    ztest::ToolFlash(dev, true).program(0x100, data);
    EXPECT_EQ(dev.flash().stats().status_polls, 3u);
    EXPECT_EQ(dev.flash().cells()[0x103], 0x78);
}

} // namespace
