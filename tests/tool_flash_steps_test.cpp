// The write and read steps of a run: encoding, summaries, verify, hex dump, the bridge path's
// start-of-file, the dongle descriptor and the 24-bit range check.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "atmel_dongle.h"
#include "flash_ops.h"
#include "image_file.h"
#include "run_options.h"
#include "support/sim_device.h"
#include "zelp_linux_io.h"

namespace {

using ztest::SimDevice;

std::vector<uint8_t> bytes(std::initializer_list<int> v) {
    return {v.begin(), v.end()};
}

// A run that writes `data` at `address`, with counts derived as the run sequence does.
run_options write_run(std::vector<uint8_t> data, uint32_t address = 0, bool three_byte = false) {
    run_options run;
    run.quiet = 1;
    run.address = static_cast<int>(address);
    run.write_file_name = "image";
    run.count = static_cast<int>(data.size());
    run.three_byte = three_byte;
    run.encoded_count = static_cast<int>(encoded_size(run.count, three_byte));
    run.erase_count = run.encoded_count;
    run.write_data = std::move(data);
    return run;
}

void add_dongle(run_options &run) {
    run.atmel_dongle = 1;
    run.erase_count = ATMEL_DONGLE_PAGE_SIZE;
    run.dongle_descriptor =
        dongle_descriptor(static_cast<uint32_t>(run.encoded_count), run.three_byte != 0);
    run.dongle_descriptor_address = dongle_descriptor_address(static_cast<uint32_t>(run.address));
}

std::vector<uint8_t> cells(SimDevice &dev, uint32_t a, size_t n) {
    auto c = dev.flash().contents().subspan(a, n);
    return {c.begin(), c.end()};
}

bool matches(const std::string &text, const char *pattern) {
    return std::regex_match(text, std::regex(pattern));
}

TEST(ToolFlashSteps, WritesAbcWithItsChecksumAndPadding) {
    SimDevice dev;
    run_options run = write_run(bytes({'a', 'b', 'c'}));
    testing::internal::CaptureStdout();
    EXPECT_EQ(run_write_step(dev.zelp(), run), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(matches(out, "sum = 16556 \\(0x40ac\\) 3 bytes written in [0-9]+\\.[0-9]{3} sec, "
                             "[0-9]+ bits/s\n"))
        << out;
    EXPECT_EQ(cells(dev, 0, 5), bytes({0x61, 0x62, 0x63, 0xFF, 0xFF}));
    EXPECT_FALSE(run.write_data) << "released after the write";
    EXPECT_TRUE(run.encoded_data) << "kept for the read step";
}

TEST(ToolFlashSteps, ThreeByteEncodingOnTheFlashAndBack) {
    SimDevice dev;
    run_options four = write_run(bytes({0xd0, 0xd1, 0xd2, 0xd3}), 0, true);
    testing::internal::CaptureStdout();
    run_write_step(dev.zelp(), four);
    EXPECT_EQ(cells(dev, 0, 8), bytes({0xFF, 0xd0, 0xd1, 0xd2, 0xFF, 0xd3, 0xFF, 0xFF}));

    run_options six = write_run(bytes({1, 2, 3, 4, 5, 6}), 0x100, true);
    run_write_step(dev.zelp(), six);
    EXPECT_EQ(cells(dev, 0x100, 9), bytes({0xFF, 1, 2, 3, 0xFF, 4, 5, 6, 0xFF}));

    const auto out = std::filesystem::temp_directory_path() / "tool_flash_steps_3byte.bin";
    run_options back;
    back.quiet = 1;
    back.address = 0x100;
    back.three_byte = 1;
    back.count = 6;
    back.encoded_count = 8;
    back.read_file_name = out.string();
    EXPECT_EQ(run_read_step(dev.zelp(), back), 0);
    testing::internal::GetCapturedStdout();
    std::ifstream in(out, std::ios::binary);
    EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}),
              bytes({1, 2, 3, 4, 5, 6}));
    std::filesystem::remove(out);
}

TEST(ToolFlashSteps, VerifyReportsEachMiscompareTheCountAndFails) {
    zsim::FlashConfig c;
    c.flip_bit_at = 0x1005;
    SimDevice dev(c);
    run_options run = write_run(std::vector<uint8_t>(16, 0x42), 0x1000);
    run.verify_file_name = "image";
    run.verify_data = std::vector<uint8_t>(16, 0x42);
    run.quiet = 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_write_step(dev.zelp(), run), 0);
    EXPECT_EQ(run_read_step(dev.zelp(), run), 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "1 miscomparing bytes\n");
    EXPECT_NE(out.find("0x001005: read 0x43 != expected 0x42\n"), std::string::npos) << out;
    EXPECT_NE(out.find("16 bytes read in"), std::string::npos);

    SimDevice good;
    run = write_run(std::vector<uint8_t>(16, 0x42));
    run.verify_data = std::vector<uint8_t>(16, 0x42);
    testing::internal::CaptureStdout();
    run_write_step(good.zelp(), run);
    EXPECT_EQ(run_read_step(good.zelp(), run), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(run.verify_data) << "released after a clean verify";
}

TEST(ToolFlashSteps, HexDumpHasSixteenBytesALineLedByTheAddress) {
    SimDevice dev;
    for (uint32_t i = 0; i < 20; ++i) dev.flash().cells()[0x10 + i] = static_cast<uint8_t>(i);
    run_options run;
    run.address = 0x10;
    run.count = 20;
    run.encoded_count = 20;
    run.read_file_name = "-";
    run.quiet = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(run_read_step(dev.zelp(), run), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string dump = "0x000010: 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f \n"
                             "0x000020: 10 11 12 13 \n";
    EXPECT_NE(out.find(dump), std::string::npos) << out;
    EXPECT_TRUE(matches(out.substr(out.find(dump) + dump.size()),
                        "sum = [0-9]{5} \\(0x[0-9a-f]{4}\\) 20 bytes read in .*\n"));

    run.quiet = 1;
    run.count = 16;
    run.encoded_count = 16;
    testing::internal::CaptureStdout();
    run_read_step(dev.zelp(), run);
    EXPECT_TRUE(matches(testing::internal::GetCapturedStdout(), "sum = [^\n]*\n"));
}

TEST(ToolFlashSteps, BridgePathSendsStartOfFileFirstAndProgramsWithoutAnErase) {
    SimDevice dev;
    auto all = dev.flash().cells();
    std::fill(all.begin(), all.end(), uint8_t{0}); // stale data the bridge must erase itself
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    run_options run = write_run(data, 0x2000);
    run.accel_op = 1;
    run.verify_data = data;
    testing::internal::CaptureStdout();
    EXPECT_EQ(run_write_step(dev.zelp(), run), 0);
    EXPECT_EQ(run_read_step(dev.zelp(), run), 0);
    testing::internal::GetCapturedStdout();
    ASSERT_FALSE(dev.bridge_commands.empty());
    EXPECT_EQ(dev.bridge_commands[0].command, ATMEL_DONGLE_FW_FLASH_START_OF_FILE);
    EXPECT_EQ(dev.bridge_commands[0].address, 1000u);
    EXPECT_EQ(dev.bridge_commands[1].command, ATMEL_DONGLE_FW_FLASH_WRITE);
    EXPECT_EQ(cells(dev, 0x2000, 1000), data);
}

TEST(ToolFlashSteps, AFailingStartOfFileEndsTheRunBeforeAnyWrite) {
    EXPECT_EXIT(
        {
            std::fflush(stdout);
            dup2(2, 1);
            SimDevice dev;
            dev.bridge_result = 1;
            run_options run = write_run(bytes({1, 2, 3, 4}));
            run.accel_op = 1;
            run_write_step(dev.zelp(), run);
        },
        testing::ExitedWithCode(1), "bridge flash start of file failed: fail");
}

TEST(ToolFlashSteps, DongleDescriptorLandsAtTheEndOfTheSpan) {
    SimDevice dev;
    run_options run = write_run(std::vector<uint8_t>(1000, 0x11));
    add_dongle(run);
    testing::internal::CaptureStdout();
    run_write_step(dev.zelp(), run);
    EXPECT_EQ(cells(dev, 0xFFFF4, 12),
              bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xE8, 0x03, 0, 0, 0xD8, 0xC7, 0xB6, 0xA5}));

    SimDevice shifted;
    run = write_run(std::vector<uint8_t>(6, 0x11), 0x100000, true);
    add_dongle(run);
    run_write_step(shifted.zelp(), run);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(cells(shifted, 0x1FFFF8, 8), bytes({0, 8, 0, 0, 0, 0xD8, 0xC7, 0xB6}));
}

TEST(ToolFlashSteps, RangesBeyondTwentyFourBitsAreRefusedBeforeAnyFlashAccess) {
    SimDevice dev;
    run_options run = write_run(std::vector<uint8_t>(0x200, 0), 0xFFFF00);
    testing::internal::CaptureStderr();
    EXPECT_EQ(check_flash_range(run), 1);
    EXPECT_EQ(run_write_step(dev.zelp(), run), 1);
    EXPECT_EQ(run_read_step(dev.zelp(), run), 1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("flash data at 0xffff00, 512 bytes, goes beyond the 16 MiB"),
              std::string::npos)
        << err;
    EXPECT_EQ(dev.flash().stats().commands, 0u);

    run = write_run(std::vector<uint8_t>(16, 0), 0xFFFFFFF0); // -a 0xfffffff0 lands negative
    testing::internal::CaptureStderr();
    EXPECT_EQ(check_flash_range(run), 1);
    testing::internal::GetCapturedStderr();

    run = write_run(std::vector<uint8_t>(16, 0), 0xF80000);
    add_dongle(run);
    run.erase_region = 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(check_flash_range(run), 1) << "the 1 MiB erase span and the descriptor do not fit";
    testing::internal::GetCapturedStderr();

    run = write_run(std::vector<uint8_t>(16, 0), 0xFFFFF0);
    EXPECT_EQ(check_flash_range(run), 0) << "the last 16 bytes fit";
}

TEST(ToolFlashSteps, DongleAddressOffAMegabyteBoundaryIsWarnedAbout) {
    run_options run = write_run(std::vector<uint8_t>(16, 0), 0x1000);
    add_dongle(run);
    EXPECT_EQ(run.dongle_descriptor_address, 0x1FFFF8u);
    testing::internal::CaptureStderr();
    EXPECT_EQ(check_flash_range(run), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "warning: Atmel dongle image at 0x1000 does not start on a 1 MiB boundary; its "
              "descriptor goes to 0x1ffff8, outside the span that -e erases\n");
}

TEST(ToolFlashSteps, EmptyImageProgramsNothing) {
    SimDevice dev;
    run_options run = write_run({});
    testing::internal::CaptureStdout();
    EXPECT_EQ(run_write_step(dev.zelp(), run), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find(" 0 bytes written in "),
              std::string::npos);
    EXPECT_EQ(dev.flash().stats().commands, 0u);
}

} // namespace
