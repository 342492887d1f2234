// The counts a run derives from its options and image files, and the dongle layout it applies.
#include <climits>

#include <gtest/gtest.h>

#include "atmel_dongle.h"
#include "run.h"

namespace {

using namespace testing::internal;

// The counts after steps 7 to 10 for a -c value and the lengths of the -w and -v files given.
run_options counted(int count, std::optional<size_t> write_len, std::optional<size_t> verify_len,
                    bool three_byte = false) {
    run_options run;
    run.count = count;
    run.three_byte = three_byte ? 1 : 0;
    if (write_len) clip_count(run, *write_len);
    if (verify_len) clip_count(run, *verify_len);
    EXPECT_EQ(derive_counts(run), 0);
    return run;
}

TEST(ToolRunCounts, CountIsClippedByEveryFileGiven) {
    EXPECT_EQ(counted(-1, std::nullopt, std::nullopt).count, 16);
    EXPECT_EQ(counted(-1, 100, std::nullopt).count, 100);
    EXPECT_EQ(counted(500, 100, std::nullopt).count, 100);
    EXPECT_EQ(counted(50, 100, std::nullopt).count, 50);
    EXPECT_EQ(counted(-1, 100, 60).count, 60);
    EXPECT_EQ(counted(-1, 60, 100).count, 60);
    EXPECT_EQ(counted(40, 60, 100).count, 40);
    EXPECT_EQ(counted(-1, std::nullopt, 30).count, 30);
    EXPECT_EQ(counted(-1, 0, std::nullopt).count, 0); // an empty image writes nothing
    EXPECT_EQ(counted(0, std::nullopt, std::nullopt).count, 0);
}

TEST(ToolRunCounts, EncodedCountRoundsUpAfterThreeByteEncoding) {
    struct expectation {
        int count;
        bool three_byte;
        int encoded;
    };
    const expectation cases[] = {
        {10, true, 16}, {10, false, 12}, {3, true, 4},  {4, true, 8},    {6, true, 8},
        {0, true, 0},   {0, false, 0},   {1, false, 4}, {16, false, 16}, {16, true, 24},
    };
    for (const expectation &c : cases) {
        const run_options run = counted(c.count, std::nullopt, std::nullopt, c.three_byte);
        EXPECT_EQ(run.encoded_count, c.encoded) << c.count << (c.three_byte ? " -3" : "");
        EXPECT_EQ(run.erase_count, c.encoded);
    }
}

TEST(ToolRunCounts, CountsThatCannotBeHeldAreRejected) {
    run_options run;
    run.count = INT_MAX; // -c 0x7FFFFFFF would round past what the run can count
    CaptureStdout();
    EXPECT_EQ(derive_counts(run), 1);
    EXPECT_EQ(GetCapturedStdout(), "flash byte count value out of range: 2147483647\n");

    run = run_options{};
    clip_count(run, size_t{1} << 33); // a file beyond 2 GiB
    EXPECT_EQ(run.count, INT_MAX);
}

run_options dongle_run(int address, int encoded_count, bool three_byte = false) {
    run_options run;
    run.address = address;
    run.encoded_count = encoded_count;
    run.erase_count = encoded_count;
    run.three_byte = three_byte ? 1 : 0;
    run.atmel_dongle = 1;
    return run;
}

TEST(ToolDongle, DescriptorAtTheEndOfTheSpan) {
    run_options run = dongle_run(0, 1000);
    ASSERT_EQ(apply_dongle_layout(run), 0);
    EXPECT_EQ(run.erase_count, 0x100000);
    EXPECT_EQ(run.dongle_descriptor_address, 0xFFFF8U);
    EXPECT_EQ(run.dongle_descriptor,
              (std::array<uint8_t, 8>{0xE8, 0x03, 0x00, 0x00, 0xD8, 0xC7, 0xB6, 0xA5}));

    run = dongle_run(0x1000, 1000);
    ASSERT_EQ(apply_dongle_layout(run), 0);
    EXPECT_EQ(run.dongle_descriptor_address, 0x1FFFF8U);

    run = dongle_run(0x100000, 8);
    ASSERT_EQ(apply_dongle_layout(run), 0);
    EXPECT_EQ(run.dongle_descriptor_address, 0x1FFFF8U);

    // With 3-byte encoding both words move up a byte, so each starts on a filler position.
    run = dongle_run(0, 0xABCDC, true);
    ASSERT_EQ(apply_dongle_layout(run), 0);
    EXPECT_EQ(run.dongle_descriptor,
              (std::array<uint8_t, 8>{0x00, 0xDC, 0xBC, 0x0A, 0x00, 0xD8, 0xC7, 0xB6}));
}

TEST(ToolDongle, LengthLimitLeavesRoomForTheDescriptor) {
    run_options run = dongle_run(0, 0xFFFF4);
    EXPECT_EQ(apply_dongle_layout(run), 0);

    run = dongle_run(0, 0xFFFF8);
    CaptureStderr();
    EXPECT_EQ(apply_dongle_layout(run), 1);
    EXPECT_EQ(GetCapturedStderr(), "data length 0xffff8 too long for Atmel file\n");
    EXPECT_EQ(run.erase_count, 0xFFFF8); // nothing changed for a rejected image
}

} // namespace
