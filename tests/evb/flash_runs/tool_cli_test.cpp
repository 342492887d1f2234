// zelp7x_flash as a user runs it: the usage, the option errors and their exit statuses.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/process/tool_process.h"

namespace {

ztest::ToolOutcome run_tool(const std::vector<std::string> &args) {
    const ztest::TempDir dir("tool_cli");
    return ztest::run_program(ZELP_FLASH_BIN, args, dir.path());
}

constexpr const char *usage = R"(
usage: zelp7x_flash [options]

general:
 -3                 use 3 byte encoding
 -a <address>       flash address -- default 0
 -A                 write an Atmel dongle file -- default 0
 -b <value>         SPI read delay bytes -- default 1
 -B default[:mcuread[:samplewrite]] SPI speeds -- default 1000000:1000000:1000000 bits/s
 -c <count>         flash byte count -- default 16
 -d                 print device ID information
 -e                 erase 'count' bytes from 'address' (expanded 4K sector boundaries)
 -E                 erase the entire flash chip
 -F <freq>          input clock frequency -- default SPI: 16000000, USB: 32768
 -h                 this help message
 -q                 quiet -- only summary printouts
 -Q                 use accelerated r/w operations via firmware
 -r file            read file, '-' -> stdout
 -R                 read and checksum flash
 -s <dev name>      device file -- default first supported USB COM
 -t <type>          device type -- default read from chip
 -U                 enable split spi messages -- default 0
 -v file            verify file
 -w file            write file
)";

class ToolCli : public testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(ZELP_FLASH_BIN)) GTEST_SKIP() << "build zelp7x_flash first";
    }
};

TEST_F(ToolCli, HelpPrintsTheUsageAndSucceeds) {
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"-h"}, {"-q", "-h", "-x", "-a"}}) {
        const ztest::ToolOutcome o = run_tool(args);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.out, usage);
        EXPECT_EQ(o.err, "");
    }
}

TEST_F(ToolCli, OptionErrorsFailAndOnlyUnknownOptionsShowTheUsage) {
    struct expectation {
        std::vector<std::string> args;
        std::string out, err;
    };
    const expectation cases[] = {
        {{"-x"}, usage, "unknown option: x\n"},
        {{"--frob"}, usage, "unknown option: -\n"},
        {{"-q-", "--help"}, usage, "unknown option: -\n"},
        {{"-a"}, usage, "unknown option: a\n"},
        {{"-B", "1:2:3:4"}, usage, "SPI speed option error: ?\n"},
        {{"-a", "1x"}, "invalid flash address value: 1x\n", ""},
        {{"-c", "99999999999"}, "flash byte count value out of range: 99999999999\n", ""},
    };
    for (const expectation &c : cases) {
        const ztest::ToolOutcome o = run_tool(c.args);
        EXPECT_EQ(o.status, 1) << c.args[0];
        EXPECT_EQ(o.out, c.out);
        EXPECT_EQ(o.err, c.err);
    }
}

TEST_F(ToolCli, LongHelpIsTheShortHelpAndTheLongOptions) {
    const ztest::ToolOutcome o = run_tool({"-q", "--help"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(
        o.out,
        std::string(usage) +
            "extensions:\n"
            " --skip-unchanged   with -w, read the flash first and erase and program only the\n"
            "                    sectors and pages that differ (-e: erase only what is not blank)\n"
            " --help             this help message and the long options\n"
            " --version          print the version\n"
            " --list             list the attached supported bridges\n"
            " -s serial=<S>      the supported bridge with USB serial number S\n"
            " -s rfc2217://<host>:<port>\n"
            "                    a bridge that ser2net serves on another machine (telnet, RFC "
            "2217)\n");
    EXPECT_EQ(o.err, "");
    // zelp7x_host's usage ends in the same block, with the board options both tools share.
    const ztest::ToolOutcome host = ztest::run_program(ZELP_HOST_BIN, {"--help"}, ".");
    EXPECT_NE(host.out.find("\nextensions:\n --help             this help message\n"
                            " --version          print the version\n"
                            " --list             list the attached supported bridges\n"
                            " -s serial=<S>      the supported bridge with USB serial number S\n"
                            " -s rfc2217://<host>:<port>\n"),
              std::string::npos)
        << host.out;
}

// Every tool answers --help with its usage and --version with its name and the project's version,
// both on standard output and with success.
TEST(ToolConventions, HelpAndVersionGoToStandardOutputAndSucceed) {
    const struct {
        const char *program, *name, *usage_start;
    } tools[] = {
        {ZELP_FLASH_BIN, "zelp7x_flash", "\nusage: zelp7x_flash [options]\n"},
        {ZELP_HOST_BIN, "zelp7x_host", "usage: zelp7x_host "},
        {ZELP_BOARD_SIM_BIN, "zelp7x_board_sim", "usage: zelp7x_board_sim "},
        {ZELP_PKG_INFO_BIN, "morvel_pkg_info", "usage: morvel_pkg_info "},
    };
    const ztest::TempDir dir("tool_conventions");
    for (const auto &t : tools) {
        ztest::ToolOutcome o = ztest::run_program(t.program, {"--help"}, dir.path());
        EXPECT_EQ(o.status, 0) << t.name;
        EXPECT_EQ(o.out.substr(0, std::string(t.usage_start).size()), t.usage_start);
        EXPECT_EQ(o.err, "") << t.name;
        o = ztest::run_program(t.program, {"--version"}, dir.path());
        EXPECT_EQ(o.status, 0) << t.name;
        EXPECT_EQ(o.out, std::string(t.name) + " " ZELP_VERSION "\n");
        EXPECT_EQ(o.err, "") << t.name;
    }
}

// The run's steps on the in-process simulated board, on its external clock.
ztest::ToolOutcome run_on_board(std::vector<std::string> args) {
    const ztest::TempDir dir("tool_cli_board");
    args.insert(args.begin(), {"-s", "sim:" + (dir.path() / "flash").string(), "-F", "16000000"});
    return ztest::run_program(ZELP_FLASH_BIN, args, dir.path());
}

TEST_F(ToolCli, StepsRunInTheirFixedOrder) {
    // Image files are read only after the flash answered its ID.
    ztest::ToolOutcome o = run_on_board({"-d", "-w", "missing"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "flash vendor id = 0xef, device id = 0x4016\n");
    EXPECT_EQ(o.err, "error opening missing: No such file or directory\n");

    // An oversized dongle image ends the run before anything is erased.
    o = run_on_board({"-A", "-e", "-c", "0xFFFF8", "-R"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "data length 0xffff8 too long for Atmel file\n");

    // The bridge path neither reads the ID nor erases.
    o = run_on_board({"-Q", "-d", "-e", "-E"});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out + o.err, "");
}

} // namespace
