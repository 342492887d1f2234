// The write and read steps of a run: encoding, summaries, verify, hex dump, the bridge path's
// start-of-file, the dongle descriptor and the 24-bit range check.
#include <gtest/gtest.h>

#include <regex>

#include "flash_dongle.h"
#include "flash_steps.h"
#include "image_file.h"
#include "run_options.h"
#include "support/board/sim_device.h"
#include "support/process/temp_files.h"
#include "zelp_linux_io.h"

namespace {

using ztest::SimDevice;
using ztest::stderr_of;
using ztest::stdout_of;

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
    const std::string out = stdout_of([&] { EXPECT_EQ(ztest::write_step(dev, run), 0); });
    EXPECT_TRUE(matches(out, "sum = 16556 \\(0x40ac\\) 3 bytes written in [0-9]+\\.[0-9]{3} sec, "
                             "[0-9]+ bits/s\n"))
        << out;
    EXPECT_EQ(cells(dev, 0, 5), bytes({0x61, 0x62, 0x63, 0xFF, 0xFF}));
    EXPECT_FALSE(run.write_data) << "released after the write";
    EXPECT_TRUE(run.encoded_data) << "kept for the read step";
}

TEST(ToolFlashSteps, EmptyImageProgramsNothing) {
    SimDevice dev;
    run_options run = write_run({});
    EXPECT_NE(
        stdout_of([&] { EXPECT_EQ(ztest::write_step(dev, run), 0); }).find(" 0 bytes written in "),
        std::string::npos);
    EXPECT_EQ(dev.flash().stats().commands, 0u);
}

TEST(ToolFlashSteps, ThreeByteEncodingOnTheFlashAndBack) {
    SimDevice dev;
    run_options six = write_run(bytes({1, 2, 3, 4, 5, 6}), 0x100, true);
    stdout_of([&] { ztest::write_step(dev, six); });
    EXPECT_EQ(cells(dev, 0x100, 9), bytes({0xFF, 1, 2, 3, 0xFF, 4, 5, 6, 0xFF}));

    const ztest::TempDir dir("tool_flash_steps");
    run_options back;
    back.quiet = 1;
    back.address = 0x100;
    back.three_byte = 1;
    back.count = 6;
    back.encoded_count = 8;
    back.read_file_name = (dir.path() / "back.bin").string();
    stdout_of([&] { EXPECT_EQ(ztest::read_step(dev, back), 0); });
    EXPECT_EQ(ztest::read_bytes(dir.path() / "back.bin"), bytes({1, 2, 3, 4, 5, 6}));
}

TEST(ToolFlashSteps, VerifyReportsEachMiscompareTheCountAndFails) {
    zsim::FlashConfig c;
    c.flip_bit_at = 0x1005;
    SimDevice dev(c);
    run_options run = write_run(std::vector<uint8_t>(16, 0x42), 0x1000);
    run.verify_data = std::vector<uint8_t>(16, 0x42);
    run.quiet = 0;
    std::string out;
    EXPECT_EQ(stderr_of([&] {
                  out = stdout_of([&] {
                      EXPECT_EQ(ztest::write_step(dev, run), 0);
                      EXPECT_EQ(ztest::read_step(dev, run), 1);
                  });
              }),
              "1 miscomparing bytes\n");
    EXPECT_NE(out.find("0x001005: read 0x43 != expected 0x42\n"), std::string::npos) << out;
    EXPECT_NE(out.find("16 bytes read in"), std::string::npos);

    SimDevice good;
    run = write_run(std::vector<uint8_t>(16, 0x42));
    run.verify_data = std::vector<uint8_t>(16, 0x42);
    stdout_of([&] {
        ztest::write_step(good, run);
        EXPECT_EQ(ztest::read_step(good, run), 0);
    });
    EXPECT_FALSE(run.verify_data) << "released after a clean verify";
}

TEST(ToolFlashSteps, HexDumpHasSixteenBytesALineLedByTheAddress) {
    SimDevice dev;
    for (uint32_t i = 0; i < 20; ++i) dev.flash().cells()[0x10 + i] = static_cast<uint8_t>(i);
    run_options run;
    run.address = 0x10;
    run.count = run.encoded_count = 20;
    run.read_file_name = "-";
    const std::string out = stdout_of([&] { EXPECT_EQ(ztest::read_step(dev, run), 0); });
    const std::string dump = "0x000010: 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f \n"
                             "0x000020: 10 11 12 13 \n";
    EXPECT_NE(out.find(dump), std::string::npos) << out;
    EXPECT_TRUE(matches(out.substr(out.find(dump) + dump.size()),
                        "sum = [0-9]{5} \\(0x[0-9a-f]{4}\\) 20 bytes read in .*\n"));

    run.quiet = 1;
    run.count = run.encoded_count = 16;
    EXPECT_TRUE(matches(stdout_of([&] { ztest::read_step(dev, run); }), "sum = [^\n]*\n"));
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
    stdout_of([&] {
        EXPECT_EQ(ztest::write_step(dev, run), 0);
        EXPECT_EQ(ztest::read_step(dev, run), 0);
    });
    ASSERT_GE(dev.bridge_commands.size(), 2u);
    EXPECT_EQ(dev.bridge_commands[0].command, ATMEL_DONGLE_FW_FLASH_START_OF_FILE);
    EXPECT_EQ(dev.bridge_commands[0].address, 1000u);
    EXPECT_EQ(dev.bridge_commands[1].command, ATMEL_DONGLE_FW_FLASH_WRITE);
    EXPECT_EQ(cells(dev, 0x2000, 1000), data);

    SimDevice failing;
    failing.bridge_result = 1;
    run_options again = write_run(bytes({1, 2, 3, 4}));
    again.accel_op = 1;
    EXPECT_EQ(ztest::failure_of([&] { ztest::write_step(failing, again); }).text,
              "bridge flash start of file failed: fail\n");
}

TEST(ToolFlashSteps, ThreeByteDongleDescriptorLandsShiftedAtTheEndOfTheSpan) {
    // The unshifted descriptor is checked on the flash by the end-to-end runs.
    SimDevice dev;
    run_options run = write_run(std::vector<uint8_t>(6, 0x11), 0x100000, true);
    add_dongle(run);
    stdout_of([&] { ztest::write_step(dev, run); });
    EXPECT_EQ(cells(dev, 0x1FFFF8, 8), bytes({0, 8, 0, 0, 0, 0xD8, 0xC7, 0xB6}));
}

// check_flash_range's verdict, its message dropped.
int range_verdict(const run_options &run) {
    int verdict = -1;
    stderr_of([&] { verdict = check_flash_range(run); });
    return verdict;
}

TEST(ToolFlashSteps, RangesBeyondTwentyFourBitsAreRefusedBeforeAnyFlashAccess) {
    SimDevice dev;
    run_options run = write_run(std::vector<uint8_t>(0x200, 0), 0xFFFF00);
    const std::string err = stderr_of([&] {
        EXPECT_EQ(check_flash_range(run), 1);
        EXPECT_EQ(ztest::write_step(dev, run), 1);
        EXPECT_EQ(ztest::read_step(dev, run), 1);
    });
    EXPECT_NE(err.find("flash data at 0xffff00, 512 bytes, goes beyond the 16 MiB"),
              std::string::npos)
        << err;
    EXPECT_EQ(dev.flash().stats().commands, 0u);

    // -a 0xfffffff0 lands negative.
    EXPECT_EQ(range_verdict(write_run(std::vector<uint8_t>(16, 0), 0xFFFFFFF0)), 1);
    run = write_run(std::vector<uint8_t>(16, 0), 0xF80000);
    add_dongle(run);
    run.erase_region = 1;
    EXPECT_EQ(range_verdict(run), 1) << "the 1 MiB erase span and the descriptor do not fit";
    EXPECT_EQ(range_verdict(write_run(std::vector<uint8_t>(16, 0), 0xFFFFF0)), 0)
        << "the last 16 bytes fit";

    run = write_run(std::vector<uint8_t>(16, 0), 0x1000);
    add_dongle(run);
    EXPECT_EQ(run.dongle_descriptor_address, 0x1FFFF8u);
    EXPECT_EQ(stderr_of([&] { EXPECT_EQ(check_flash_range(run), 0); }),
              "warning: Atmel dongle image at 0x1000 does not start on a 1 MiB boundary; its "
              "descriptor goes to 0x1ffff8, outside the span that -e erases\n");
}

TEST(ToolFlashSteps, RangesPastTheSizeTheCapacityCodeGivesAreRefused) {
    const std::pair<uint16_t, uint32_t> capacities[] = {
        {0x400F, 0},         {0x4010, 0x10000}, {0x4016, 0x400000},
        {0x4018, 0x1000000}, {0x4019, 0},       {0x4020, 0},
    };
    for (const auto &[id, size] : capacities)
        EXPECT_EQ(morvel_zelp7x_flash_capacity(id), size) << id;

    const auto on_4m = [](run_options run) {
        run.flash_size = 0x400000;
        return run;
    };
    SimDevice dev;
    run_options past = on_4m(write_run(std::vector<uint8_t>(0x100, 0), 0x3FFF01));
    EXPECT_EQ(stderr_of([&] {
                  EXPECT_EQ(check_flash_range(past), 1);
                  EXPECT_EQ(ztest::write_step(dev, past), 1);
              }),
              "flash range 0x3fff01 to 0x400001 does not fit the 4194304-byte flash\n"
              "flash range 0x3fff01 to 0x400001 does not fit the 4194304-byte flash\n");
    EXPECT_EQ(dev.flash().stats().commands, 0u);
    EXPECT_EQ(range_verdict(on_4m(write_run(std::vector<uint8_t>(0x100, 0), 0x3FFF00))), 0)
        << "ends exactly at the end";

    run_options erase = on_4m(write_run(std::vector<uint8_t>(16, 0), 0x3FF000));
    erase.erase_region = 1;
    erase.erase_count = 0x2000;
    EXPECT_EQ(range_verdict(erase), 1) << "the erase span runs past while the data fits";

    run_options dongle = on_4m(write_run(std::vector<uint8_t>(16, 0), 0x300001));
    add_dongle(dongle);
    EXPECT_NE(stderr_of([&] {
                  EXPECT_EQ(check_flash_range(dongle), 1);
              }).find("flash range 0x4ffff8 to 0x500000 does not fit the 4194304-byte flash\n"),
              std::string::npos);

    run_options unknown = write_run(std::vector<uint8_t>(0x100, 0), 0x3FFF01);
    EXPECT_EQ(range_verdict(unknown), 0) << "without a known size only 3-byte addresses bound it";
}

} // namespace
