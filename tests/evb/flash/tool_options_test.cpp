// Command line parsing of zelp7x_flash: numbers as a 32-bit strtoul reads them, the option table,
// -B fields, and the outcomes that end a run before it starts.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "options.h"

namespace {

using namespace testing::internal;

struct parsed {
    parse_outcome outcome;
    run_options run;
    std::string out, err;
};

parsed parse(std::vector<std::string> args) {
    args.insert(args.begin(), "zelp7x_flash");
    std::vector<char *> argv;
    for (std::string &s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    parsed p{};
    CaptureStdout();
    CaptureStderr();
    p.outcome = parse_options(static_cast<int>(args.size()), argv.data(), p.run);
    p.out = GetCapturedStdout();
    p.err = GetCapturedStderr();
    return p;
}

TEST(ToolNumbers, ConvertLikeA32BitStrtoulInBase0) {
    const std::pair<const char *, uint32_t> accepted[] = {
        {"0x10000", 0x10000}, {"65536", 65536},        {"010", 8}, {"4294967295", ~0U},
        {"-1", ~0U},          {"-0x10", 0xFFFFFFF0},   {"+7", 7},  {"  12", 12},
        {"-4294967295", 1},   {"2147483648", 1U << 31}};
    for (const auto &[arg, want] : accepted) {
        uint32_t value = 0;
        EXPECT_EQ(get_int0(arg, "n", &value, 0), 0) << arg;
        EXPECT_EQ(value, want) << arg;
    }
    for (const char *arg : {"4294967296", "-4294967296", "-18446744073709551615",
                            "99999999999999999999999", "1x", "0x", "12 ", "-", "08"}) {
        uint32_t value = 0;
        EXPECT_EQ(get_int0(arg, "n", &value, 0), 1) << arg;
    }
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
    EXPECT_EQ(std::vector({r.address, r.spi_read_delay, r.count, r.input_freq, r.device_type}),
              std::vector({0x1000, 3, 100, 48000, 0x13}));
    EXPECT_EQ(r.spi_dev, "COM7");
    EXPECT_EQ(r.read_file_name, "out.bin");
    EXPECT_EQ(r.write_file_name, "in.bin");
    EXPECT_EQ(r.verify_file_name, "ref.bin");
    EXPECT_EQ(parse({}).run.count, -1);
}

TEST(ToolOptions, LaterOptionsOverwriteAndHighValuesLandNegative) {
    const parsed p = parse({"-a", "1", "-a", "0xFFFFFFFF", "-c", "-1", "-F", "0x80000000"});
    ASSERT_EQ(p.outcome, parse_outcome::run);
    EXPECT_EQ(p.run.address, -1);
    EXPECT_LT(p.run.count, 0); // counts as absent
    EXPECT_LT(p.run.input_freq, 0);
}

TEST(ToolOptions, SpeedFields) {
    parsed p = parse({"-B", "2000000"});
    EXPECT_EQ(p.run.spi_default_speed, 2000000);
    EXPECT_EQ(p.run.spi_mcu_read_speed, 0);
    // Runs of colons are one separator, and a later -B keeps the fields it does not give.
    p = parse({"-B", "1:2:3", "-B", "::9"});
    ASSERT_EQ(p.outcome, parse_outcome::run);
    EXPECT_EQ(std::vector({p.run.spi_default_speed, p.run.spi_mcu_read_speed,
                           p.run.spi_sample_write_speed}),
              std::vector({9, 2, 3}));

    p = parse({"-B", "1:2:3:4"});
    EXPECT_EQ(p.outcome, parse_outcome::exit_failure);
    EXPECT_EQ(p.err, "SPI speed option error: ?\n");
    EXPECT_EQ(parse({"-B", "1:fast"}).out, "invalid SPI mcu read speed value: fast\n");
    for (const char *empty : {"", ":::"}) {
        p = parse({"-B", empty});
        EXPECT_EQ(p.outcome, parse_outcome::exit_failure);
        EXPECT_EQ(p.out, std::string("invalid SPI default speed value: ") + empty + "\n");
    }
}

TEST(ToolOptions, BadArgumentsStopWithTheirMessage) {
    const std::pair<std::vector<std::string>, const char *> cases[] = {
        {{"-a", "1x"}, "invalid flash address value: 1x\n"},
        {{"-b", "1x"}, "invalid SPI read delay bytes value: 1x\n"},
        {{"-c", "99999999999x"}, "invalid flash byte count value: 99999999999x\n"},
        {{"-c", "99999999999"}, "flash byte count value out of range: 99999999999\n"},
        {{"-F", "1x"}, "invalid input clock frequency value: 1x\n"},
        {{"-t", "0x100000000"}, "Device Type value out of range: 0x100000000\n"},
    };
    for (const auto &[args, message] : cases) {
        const parsed p = parse(args);
        EXPECT_EQ(p.outcome, parse_outcome::exit_failure) << message;
        EXPECT_EQ(p.out, message);
    }
    const parsed missing = parse({"-q", "-w"});
    EXPECT_EQ(missing.outcome, parse_outcome::exit_failure);
    EXPECT_EQ(missing.err, "unknown option: w\n");
}

TEST(ToolOptions, HelpStopsTheParseWhereItStands) {
    const parsed p = parse({"-a", "5", "-h", "-x", "-a", "6"});
    EXPECT_EQ(p.outcome, parse_outcome::exit_success);
    EXPECT_EQ(p.run.address, 5);
    EXPECT_EQ(p.err, "");
}

} // namespace
