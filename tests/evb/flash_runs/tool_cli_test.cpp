// zelp7x_flash as a user runs it: the usage, the option errors and their exit statuses.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

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
        {{"--frob"}, usage, "unknown option: --frob\n"},
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

// A long option a tool does not know is named whole, with the known one it is nearest to when
// it is near; single letters keep their one-letter message.
TEST(ToolConventions, UnknownLongOptionsAreNamedWithTheNearestKnownOne) {
    const struct {
        const char *program;
        std::vector<std::string> args;
        int status;
        std::string first_line; // of standard error
    } cases[] = {
        {ZELP_FLASH_BIN, {"--lsit"}, 1, "unknown option: --lsit (did you mean --list?)"},
        {ZELP_FLASH_BIN,
         {"-s", "sim", "--skip-unchaged"},
         1,
         "unknown option: --skip-unchaged (did you mean --skip-unchanged?)"},
        {ZELP_FLASH_BIN,
         {"--verison=2"},
         1,
         "unknown option: --verison=2 (did you mean --version?)"},
        {ZELP_FLASH_BIN, {"--frobnicate"}, 1, "unknown option: --frobnicate"},
        {ZELP_FLASH_BIN, {"-q-"}, 1, "unknown option: -"},
        {ZELP_GANG_BIN, {"--lsit"}, 2, "unknown option: --lsit (did you mean --list?)"},
        {ZELP_GANG_BIN,
         {"-s", "sim", "--jsno", "r.json"},
         2,
         "unknown option: --jsno (did you mean --json?)"},
        {ZELP_GANG_BIN, {"-s", "sim", "-x"}, 2, "unknown option: x"},
        {ZELP_HOST_BIN,
         {"--lsit"},
         2,
         "zelp7x_host: unknown option: --lsit (did you mean --list?)"},
        {ZELP_HOST_BIN,
         {"-s", "sim", "watch", "--jsn"},
         2,
         "zelp7x_host: unknown option: --jsn (did you mean --json?)"},
        {ZELP_HOST_BIN, {"-x", "info"}, 2, "zelp7x_host: unknown option: -x"},
    };
    const ztest::TempDir dir("tool_unknown_long");
    for (const auto &c : cases) {
        const ztest::ToolOutcome o = ztest::run_program(c.program, c.args, dir.path());
        const std::string what = std::string(c.program) + " " + c.args.back();
        EXPECT_EQ(o.status, c.status) << what;
        EXPECT_EQ(o.err.substr(0, o.err.find('\n')), c.first_line) << what;
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

// A device the user may not open: the hint names the group that really owns it, and offers
// joining it only when that group may read and write the device.
TEST(ToolOpenFailure, HintNamesTheGroupThatOwnsTheDevice) {
    const auto user = ztest::unprivileged_user();
    if (!user) GTEST_SKIP() << "running as root, and there is no user nobody to run the tool as";
    const ztest::SharedPrograms programs({ZELP_FLASH_BIN});
    if (const std::string why = programs.unusable_by(user); !why.empty()) GTEST_SKIP() << why;
    const bool root = ::geteuid() == 0;
    // Root hands the device to plugdev, as the udev rules do; anyone else keeps their own group
    // and shuts themselves out through the owner's bits.
    const group *plugdev = ::getgrnam("plugdev");
    if (root && !plugdev) GTEST_SKIP() << "there is no group plugdev to give the device to";
    const gid_t gid = root ? plugdev->gr_gid : ::getegid();
    const std::string group_name = ::getgrgid(gid)->gr_name;
    const ztest::TempDir dir("tool_open_failure");
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    const std::string device = (dir.path() / "ttyACM9").string();
    ztest::write_bytes(device, {});
    ASSERT_EQ(::chown(device.c_str(), ::geteuid(), gid), 0);
    const struct {
        mode_t mode;
        std::string hint;
    } cases[] = {
        {root ? 0660u : 0060u, "install the udev rules (60-zelp7x.rules) or join the group that "
                               "owns " +
                                   device + " (" + group_name + "), then log in again\n"},
        {root ? 0600u : 0000u,
         "install the udev rules (60-zelp7x.rules), then unplug and replug the board\n"},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(::chmod(device.c_str(), c.mode), 0);
        const auto o =
            ztest::run_program(programs[ZELP_FLASH_BIN], {"-s", device, "-d"}, dir.path(), user);
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.err, "Error in opening serial port\ncannot open " + device +
                             ": Permission denied\n" + c.hint + "error opening spi: fail\n")
            << std::oct << c.mode;
    }
}

} // namespace
