// Page programming and bulk reads on both paths, the program planner and the checksum.
#include <gtest/gtest.h>

#include <numeric>
#include <string_view>

#include "flash_ops.h"
#include "flash_steps.h"
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

TEST(ToolFlashTransfer, ProgramPiecesNeverCrossAPage) {
    EXPECT_EQ(plan_program(0x80, 0x300), (std::vector<P>{{0x80, 0, 0x80, false},
                                                         {0x100, 0x80, 0x100, true},
                                                         {0x200, 0x180, 0x100, true},
                                                         {0x300, 0x280, 0x80, false}}));
    EXPECT_EQ(plan_program(0x10, 8), (std::vector<P>{{0x10, 0, 8, false}}));
    EXPECT_EQ(plan_program(0x100, 0x200),
              (std::vector<P>{{0x100, 0, 0x100, true}, {0x200, 0x100, 0x100, true}}));
    EXPECT_TRUE(plan_program(0x40, 0).empty());
}

TEST(ToolFlashTransfer, BsdSumOfAbc) {
    uint16_t sum = 0;
    for (char c : std::string_view("abc")) sum = bsd_sum(sum, static_cast<uint8_t>(c));
    EXPECT_EQ(sum, 16556);
    EXPECT_EQ(bsd_sum(0x0001, 0), 0x8000) << "bit 0 rotates into bit 15";
}

class BothPaths : public testing::TestWithParam<int> {};

TEST_P(BothPaths, WriteThenReadGivesTheDataBackAndLeavesTheRestErased) {
    const int fw = GetParam();
    SimDevice dev;
    auto data = pattern(0x300, 3);
    std::vector<uint8_t> back(0x400);
    EXPECT_EQ(ztest::stdout_of([&] {
                  ztest::ToolFlash(dev, 1, fw).program(0x80, {data.data(), 0x300});
                  ztest::ToolFlash(dev, 1, fw).read(0, {back.data(), 0x400});
              }),
              "")
        << "quiet";

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

TEST_P(BothPaths, ProgressBarsShowAndEndTheirLine) {
    const int fw = GetParam();
    SimDevice dev;
    auto data = pattern(0x1000, 1);
    const std::string out = ztest::stdout_of([&] {
        ztest::ToolFlash(dev, 0, fw).program(0, {data.data(), 0x1000});
        ztest::ToolFlash(dev, 0, fw).read(0, {data.data(), 0x1000});
    });
    EXPECT_NE(out.find("\rProgram :   0% ["), std::string::npos);
    EXPECT_NE(out.find("\rProgram : 100% [" + std::string(60, '=') + "]\n"), std::string::npos);
    EXPECT_NE(out.find("\rRead    :  75% ["), std::string::npos);
    EXPECT_TRUE(out.ends_with("\rRead    : 100% [" + std::string(60, '=') + "]\n"));
}

INSTANTIATE_TEST_SUITE_P(MspiAndBridge, BothPaths, testing::Values(0, 1));

TEST(ToolFlashTransfer, BridgeReadsGoInBlocksOfAtMost256) {
    SimDevice dev;
    std::vector<uint8_t> buf(600);
    ztest::ToolFlash(dev, 1, 1).read(0x123400, {buf.data(), 600});
    ASSERT_EQ(dev.bridge_commands.size(), 3u);
    EXPECT_EQ(dev.bridge_commands[0].command, ATMEL_DONGLE_FW_FLASH_READ);
    EXPECT_EQ(dev.bridge_commands[1].address, 0x123500u);
    EXPECT_EQ(dev.bridge_commands[2].len, 600 - 512);
}

TEST(ToolFlashTransfer, TransfersThatCannotProceedEndTheRun) {
    using transfer_f = void (*)(ztest::ToolFlash &, uint8_t *);
    struct fatal {
        transfer_f transfer;
        bool bridge, bridge_fails, stuck_busy;
        const char *message;
        bool on_stderr;
    };
    const fatal cases[] = {
        {[](ztest::ToolFlash &t, uint8_t *b) {
             t.read(0, {b, 6});
         },
         false, false, false, "read size must be a multiple of 4 bytes\n", true},
        {[](ztest::ToolFlash &t, uint8_t *b) {
             t.program(0, {b, 6});
         },
         false, false, false, "write size must be a multiple of 4 bytes\n", true},
        {[](ztest::ToolFlash &t, uint8_t *b) {
             t.program(0, {b, 2});
         },
         true, false, false, "write size must be a multiple of 4 bytes\n", true},
        {[](ztest::ToolFlash &t, uint8_t *b) {
             t.program(0, {b, 4});
         },
         true, true, false, "bridge flash write failed: fail\n", false},
        {[](ztest::ToolFlash &t, uint8_t *b) {
             t.read(0, {b, 4});
         },
         true, true, false, "bridge flash read failed: fail\n", false},
        {[](ztest::ToolFlash &t, uint8_t *b) {
             t.program(0, {b, 4});
         },
         false, false, true, "flash wait expired after", true},
    };
    for (const fatal &c : cases) {
        zsim::FlashConfig config;
        config.stuck_busy = c.stuck_busy;
        SimDevice dev(config);
        dev.bridge_result = c.bridge_fails ? 1 : 0;
        ztest::ToolFlash tool(dev, true, c.bridge);
        uint8_t buf[8] = {};
        const run_failure r = ztest::failure_of([&] { c.transfer(tool, buf); });
        EXPECT_EQ(r.on_stderr, c.on_stderr) << c.message;
        if (c.stuck_busy)
            EXPECT_TRUE(r.text.starts_with(" flash wait expired after ")) << r.text;
        else
            EXPECT_EQ(r.text, c.message);
    }
}

} // namespace
