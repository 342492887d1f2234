// Command line parsing of zelp7x_flash: numbers as a 32-bit strtoul reads them, the option table,
// -B fields, and the outcomes that end a run before it starts.
#include <cerrno>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "callbacks.h"
#include "options.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

struct parsed {
    parse_outcome outcome;
    run_options run;
    std::string out;
    std::string err;
};

parsed parse(std::initializer_list<const char *> args) {
    std::vector<std::string> storage{"zelp7x_flash"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    parsed p{};
    CaptureStdout();
    CaptureStderr();
    p.outcome = parse_options(static_cast<int>(storage.size()), argv.data(), p.run);
    p.out = GetCapturedStdout();
    p.err = GetCapturedStderr();
    return p;
}

struct number_case {
    const char *arg;
    int result; // 0 accepted, 1 rejected
    uint32_t value;
};

TEST(ToolNumbers, ConvertLikeA32BitStrtoulInBase0) {
    const number_case cases[] = {
        {"0x10000", 0, 0x10000},
        {"65536", 0, 65536},
        {"010", 0, 8},
        {"0", 0, 0},
        {"0xFFFFFFFF", 0, 0xFFFFFFFF},
        {"4294967295", 0, 0xFFFFFFFF},
        {"-1", 0, 0xFFFFFFFF},
        {"-0x10", 0, 0xFFFFFFF0},
        {"+7", 0, 7},
        {"  12", 0, 12},
        {"-4294967295", 0, 1},
        {"2147483648", 0, 0x80000000},
        {"4294967296", 1, 0},
        {"99999999999", 1, 0},
        {"-4294967296", 1, 0},
        {"-18446744073709551615", 1, 0},
        {"99999999999999999999999", 1, 0},
        {"1x", 1, 0},
        {"0x", 1, 0},
        {"12 ", 1, 0},
        {"-", 1, 0},
        {"08", 1, 0},
        {"abc", 1, 0},
    };
    for (const number_case &c : cases) {
        uint32_t value = 0;
        EXPECT_EQ(get_int0(c.arg, "n", &value, 0), c.result) << c.arg;
        if (c.result == 0) {
            EXPECT_EQ(value, c.value) << c.arg;
        }
    }
}

TEST(ToolNumbers, ReportsInvalidBeforeOutOfRange) {
    uint32_t value = 0;
    CaptureStdout();
    EXPECT_EQ(get_int0("99999999999x", "flash byte count", &value, 1), 1);
    EXPECT_EQ(get_int0("99999999999", "flash byte count", &value, 1), 1);
    EXPECT_EQ(get_int0("5", "flash byte count", &value, 1), 0);
    EXPECT_EQ(GetCapturedStdout(), "invalid flash byte count value: 99999999999x\n"
                                   "flash byte count value out of range: 99999999999\n");
}

TEST(ToolNumbers, SilentWithoutReport) {
    uint32_t value = 0;
    CaptureStdout();
    EXPECT_EQ(get_int0("zz", "x", &value, 0), 1);
    EXPECT_EQ(GetCapturedStdout(), "");
}

TEST(ToolOptions, DefaultsWithoutOptions) {
    device_type = 7;
    const parsed p = parse({});
    EXPECT_EQ(p.outcome, parse_outcome::run);
    EXPECT_EQ(device_type, 0);
    EXPECT_EQ(p.run.input_freq, -1);
    EXPECT_EQ(p.run.spi_default_speed, 1000000);
    EXPECT_EQ(p.run.spi_mcu_read_speed, 0);
    EXPECT_EQ(p.run.spi_sample_write_speed, 0);
    EXPECT_EQ(p.run.spi_read_delay, 1);
    EXPECT_EQ(p.run.count, -1);
    EXPECT_EQ(p.run.address, 0);
    EXPECT_FALSE(p.run.spi_dev || p.run.read_file_name || p.run.write_file_name ||
                 p.run.verify_file_name);
    EXPECT_EQ(p.out + p.err, "");
}

TEST(ToolOptions, EveryOptionReachesItsField) {
    const parsed p =
        parse({"-3",     "-A", "-d",      "-e", "-E",     "-R", "-q",      "-Q",     "-U",   "-a",
               "0x1000", "-b", "3",       "-c", "100",    "-F", "48000",   "-t",     "0x13", "-s",
               "COM7",   "-r", "out.bin", "-w", "in.bin", "-v", "ref.bin", "operand"});
    ASSERT_EQ(p.outcome, parse_outcome::run);
    const run_options &r = p.run;
    EXPECT_EQ(r.three_byte + r.atmel_dongle + r.print_device_id + r.erase_region + r.erase_chip +
                  r.checksum_flash + r.quiet + r.accel_op + r.spi_split,
              9);
    EXPECT_EQ(r.address, 0x1000);
    EXPECT_EQ(r.spi_read_delay, 3);
    EXPECT_EQ(r.count, 100);
    EXPECT_EQ(r.input_freq, 48000);
    EXPECT_EQ(device_type, 0x13);
    EXPECT_EQ(r.spi_dev, "COM7");
    EXPECT_EQ(r.read_file_name, "out.bin");
    EXPECT_EQ(r.write_file_name, "in.bin");
    EXPECT_EQ(r.verify_file_name, "ref.bin");
}

TEST(ToolOptions, LaterOptionsOverwriteAndHighValuesLandNegative) {
    const parsed p = parse({"-a", "1", "-a", "0xFFFFFFFF", "-c", "-1", "-F", "0x80000000"});
    ASSERT_EQ(p.outcome, parse_outcome::run);
    EXPECT_EQ(p.run.address, -1);
    EXPECT_LT(p.run.count, 0); // counts as absent
    EXPECT_LT(p.run.input_freq, 0);
}

TEST(ToolOptions, SpeedFieldsFillInOrderAndKeepTheRest) {
    parsed p = parse({"-B", "2000000"});
    EXPECT_EQ(p.run.spi_default_speed, 2000000);
    EXPECT_EQ(p.run.spi_mcu_read_speed, 0);
    p = parse({"-B", "1:2:3", "-B", "::9"});
    ASSERT_EQ(p.outcome, parse_outcome::run);
    // Runs of colons are one separator, so "::9" is a lone first field.
    EXPECT_EQ(p.run.spi_default_speed, 9);
    EXPECT_EQ(p.run.spi_mcu_read_speed, 2);
    EXPECT_EQ(p.run.spi_sample_write_speed, 3);
}

TEST(ToolOptions, SpeedErrors) {
    parsed p = parse({"-B", "1:2:3:4"});
    EXPECT_EQ(p.outcome, parse_outcome::exit_failure);
    EXPECT_EQ(p.err, "SPI speed option error: ?\n");
    EXPECT_NE(p.out.find("usage: zelp7x_flash"), std::string::npos);

    p = parse({"-B", "1:fast"});
    EXPECT_EQ(p.outcome, parse_outcome::exit_failure);
    EXPECT_EQ(p.out, "invalid SPI mcu read speed value: fast\n");

    for (const char *empty : {"", ":::"}) {
        p = parse({"-B", empty});
        EXPECT_EQ(p.outcome, parse_outcome::exit_failure);
        EXPECT_EQ(p.out, std::string("invalid SPI default speed value: ") + empty + "\n");
    }
}

TEST(ToolOptions, UnknownOrMissingArgumentNamesTheLetter) {
    parsed p = parse({"-x"});
    EXPECT_EQ(p.outcome, parse_outcome::exit_failure);
    EXPECT_EQ(p.err, "unknown option: x\n");
    EXPECT_EQ(p.out.rfind("\nusage: zelp7x_flash [options]\n", 0), 0U);

    p = parse({"-q", "-w"});
    EXPECT_EQ(p.outcome, parse_outcome::exit_failure);
    EXPECT_EQ(p.err, "unknown option: w\n");
}

TEST(ToolOptions, BadNumberStopsWithItsValueName) {
    const std::pair<const char *, const char *> cases[] = {
        {"-a", "invalid flash address value: 1x\n"},
        {"-b", "invalid SPI read delay bytes value: 1x\n"},
        {"-c", "invalid flash byte count value: 1x\n"},
        {"-F", "invalid input clock frequency value: 1x\n"},
        {"-t", "invalid Device Type value: 1x\n"},
    };
    for (const auto &[option, message] : cases) {
        const parsed p = parse({option, "1x"});
        EXPECT_EQ(p.outcome, parse_outcome::exit_failure) << option;
        EXPECT_EQ(p.out, message);
    }
}

TEST(ToolOptions, HelpStopsTheParseWhereItStands) {
    const parsed p = parse({"-a", "5", "-h", "-x", "-a", "6"});
    EXPECT_EQ(p.outcome, parse_outcome::exit_success);
    EXPECT_EQ(p.run.address, 5);
    EXPECT_EQ(p.err, "");
    EXPECT_EQ(p.out.rfind("\nusage: zelp7x_flash [options]\n", 0), 0U);
    EXPECT_TRUE(p.out.ends_with(" -w file            write file\n"));
}

} // namespace
