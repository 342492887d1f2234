// Page programming and bulk reads on both paths, with their progress, and the program planner.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "flash_ops.h"
#include "support/board/sim_device.h"
#include "zelp_linux_io.h"

namespace {

using ztest::SimDevice;
using P = zflash::flash_program_piece;
using zflash::plan_program;

std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

TEST(FlashTransfer, ProgramPiecesNeverCrossAPage) {
    EXPECT_EQ(plan_program(0x80, 0x300), (std::vector<P>{{0x80, 0, 0x80, false},
                                                         {0x100, 0x80, 0x100, true},
                                                         {0x200, 0x180, 0x100, true},
                                                         {0x300, 0x280, 0x80, false}}));
    EXPECT_EQ(plan_program(0x10, 8), (std::vector<P>{{0x10, 0, 8, false}}));
    EXPECT_EQ(plan_program(0x100, 0x200),
              (std::vector<P>{{0x100, 0, 0x100, true}, {0x200, 0x100, 0x100, true}}));
    EXPECT_TRUE(plan_program(0x40, 0).empty());
}

class BothPaths : public testing::TestWithParam<int> {};

// A session on the path the test takes, reporting its progress to `log` when given.
morvel_zelp7x_flash_s session_of(SimDevice &dev, int bridge, ztest::ProgressLog *log = nullptr) {
    auto f = dev.session(bridge ? MORVEL_ZELP7X_FLASH_PATH_BRIDGE : MORVEL_ZELP7X_FLASH_PATH_MSPI);
    if (log != nullptr) log->attach(f);
    return f;
}

TEST_P(BothPaths, WriteThenReadGivesTheDataBackAndLeavesTheRestErased) {
    const int fw = GetParam();
    SimDevice dev;
    auto data = pattern(0x300, 3);
    std::vector<uint8_t> back(0x400);
    auto f = session_of(dev, fw);
    ASSERT_EQ(morvel_zelp7x_flash_program(&f, 0x80, data.data(), 0x300, nullptr), 0);
    ASSERT_EQ(morvel_zelp7x_flash_read(&f, 0, back.data(), 0x400, nullptr), 0);

    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin() + 0x80));
    EXPECT_TRUE(
        std::all_of(back.begin(), back.begin() + 0x80, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(std::all_of(back.begin() + 0x380, back.end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_FALSE(dev.mspi().selected());
    EXPECT_EQ(dev.mspi().misuse(), 0u);
    if (fw) {
        EXPECT_EQ(dev.flash().stats().page_programs, 0u);
        for (const auto &c : dev.bridge_commands) EXPECT_LE(c.len, 256);
    } else {
        EXPECT_EQ(dev.flash().stats().page_programs, 4u) << "one write enable per page";
        EXPECT_EQ(dev.flash().stats().ignored, 0u);
        EXPECT_TRUE(dev.bridge_commands.empty());
    }
}

// Progress each KiB, from the start to the whole.
TEST_P(BothPaths, ProgressGoesByKibibytesToTheWhole) {
    const int fw = GetParam();
    SimDevice dev;
    auto data = pattern(0x1000, 1);
    ztest::ProgressLog log;
    auto f = session_of(dev, fw, &log);
    ASSERT_EQ(morvel_zelp7x_flash_program(&f, 0, data.data(), 0x1000, nullptr), 0);
    ASSERT_EQ(morvel_zelp7x_flash_read(&f, 0, data.data(), 0x1000, nullptr), 0);
    using seen = std::pair<std::string, double>;
    const std::vector<seen> want = {
        {"Program", 0}, {"Program", 0.25}, {"Program", 0.5}, {"Program", 0.75}, {"Program", 1},
        {"Read", 0},    {"Read", 0.25},    {"Read", 0.5},    {"Read", 0.75},    {"Read", 1}};
    EXPECT_EQ(log.seen, want);
}

INSTANTIATE_TEST_SUITE_P(MspiAndBridge, BothPaths, testing::Values(0, 1));

TEST(FlashTransfer, BridgeReadsGoInBlocksOfAtMost256) {
    SimDevice dev;
    std::vector<uint8_t> buf(600);
    auto f = session_of(dev, 1);
    ASSERT_EQ(morvel_zelp7x_flash_read(&f, 0x123400, buf.data(), 600, nullptr), 0);
    ASSERT_EQ(dev.bridge_commands.size(), 3u);
    EXPECT_EQ(dev.bridge_commands[0].command, ATMEL_DONGLE_FW_FLASH_READ);
    EXPECT_EQ(dev.bridge_commands[1].address, 0x123500u);
    EXPECT_EQ(dev.bridge_commands[2].len, 600 - 512);
}

TEST(FlashTransfer, TransfersThatCannotProceedFailWithTheirMessage) {
    using transfer_f = int (*)(morvel_zelp7x_flash_s *, uint8_t *, morvel_zelp7x_flash_failure_s *);
    struct fatal {
        transfer_f transfer;
        bool bridge, bridge_fails, stuck_busy;
        morvel_zelp7x_flash_failure_kind_e kind;
        const char *message;
    };
    const transfer_f read6 = [](auto *f, uint8_t *b, auto *failure) {
        return morvel_zelp7x_flash_read(f, 0, b, 6, failure);
    };
    const transfer_f read4 = [](auto *f, uint8_t *b, auto *failure) {
        return morvel_zelp7x_flash_read(f, 0, b, 4, failure);
    };
    const transfer_f program6 = [](auto *f, uint8_t *b, auto *failure) {
        return morvel_zelp7x_flash_program(f, 0, b, 6, failure);
    };
    const transfer_f program2 = [](auto *f, uint8_t *b, auto *failure) {
        return morvel_zelp7x_flash_program(f, 0, b, 2, failure);
    };
    const transfer_f program4 = [](auto *f, uint8_t *b, auto *failure) {
        return morvel_zelp7x_flash_program(f, 0, b, 4, failure);
    };
    constexpr auto argument = MORVEL_ZELP7X_FLASH_FAILED_ARGUMENT;
    const fatal cases[] = {
        {read6, false, false, false, argument, "read size must be a multiple of 4 bytes"},
        {program6, false, false, false, argument, "write size must be a multiple of 4 bytes"},
        {program2, true, false, false, argument, "write size must be a multiple of 4 bytes"},
        {program4, true, true, false, MORVEL_ZELP7X_FLASH_FAILED_CALL,
         "bridge flash write failed: fail"},
        {read4, true, true, false, MORVEL_ZELP7X_FLASH_FAILED_CALL,
         "bridge flash read failed: fail"},
        {program4, false, false, true, MORVEL_ZELP7X_FLASH_FAILED_WAIT,
         "flash wait expired after "},
    };
    for (const fatal &c : cases) {
        zsim::FlashConfig config;
        config.stuck_busy = c.stuck_busy;
        SimDevice dev(config);
        dev.bridge_result = c.bridge_fails ? 1 : 0;
        auto f = session_of(dev, c.bridge);
        uint8_t buf[8] = {};
        morvel_zelp7x_flash_failure_s failure{};
        EXPECT_NE(c.transfer(&f, buf, &failure), 0) << c.message;
        EXPECT_EQ(failure.kind, c.kind) << c.message;
        EXPECT_TRUE(std::string(failure.message).starts_with(c.message)) << failure.message;
    }
}

} // namespace
