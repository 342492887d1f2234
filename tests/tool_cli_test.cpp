// zelp7x_flash as a user runs it: the usage, the option errors and their exit statuses.
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

struct outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the built tool with `args`; its two streams go to files so neither can block the other.
outcome run_tool(std::initializer_list<const char *> args) {
    const fs::path dir = fs::temp_directory_path() / ("tool_cli_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path out_path = dir / "out", err_path = dir / "err";
    std::vector<std::string> storage{ZELP_FLASH_BIN};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execv(ZELP_FLASH_BIN, argv.data());
        ::_exit(127);
    }
    outcome o;
    int wstatus = 0;
    if (pid > 0 && ::waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) {
        o.status = WEXITSTATUS(wstatus);
    }
    o.out = slurp(out_path);
    o.err = slurp(err_path);
    fs::remove_all(dir);
    return o;
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
        if (!fs::exists(ZELP_FLASH_BIN)) GTEST_SKIP() << "build zelp7x_flash first";
    }
};

TEST_F(ToolCli, HelpPrintsTheUsageAndSucceeds) {
    for (auto args : {std::initializer_list<const char *>{"-h"}, {"-q", "-h", "-x", "-a"}}) {
        const outcome o = run_tool(args);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.out, usage);
        EXPECT_EQ(o.err, "");
    }
}

TEST_F(ToolCli, OptionErrorsPrintTheUsageAndFail) {
    struct expectation {
        std::initializer_list<const char *> args;
        const char *err;
    };
    const expectation cases[] = {
        {{"-x"}, "unknown option: x\n"},
        {{"-a"}, "unknown option: a\n"},
        {{"-q", "-w"}, "unknown option: w\n"},
        {{"-B", "1:2:3:4"}, "SPI speed option error: ?\n"},
    };
    for (const expectation &c : cases) {
        const outcome o = run_tool(c.args);
        EXPECT_EQ(o.status, 1) << c.err;
        EXPECT_EQ(o.err, c.err);
        EXPECT_EQ(o.out, usage);
    }
}

TEST_F(ToolCli, BadNumbersFailWithoutTheUsage) {
    struct expectation {
        std::initializer_list<const char *> args;
        const char *out;
    };
    const expectation cases[] = {
        {{"-a", "1x"}, "invalid flash address value: 1x\n"},
        {{"-c", "99999999999"}, "flash byte count value out of range: 99999999999\n"},
        {{"-t", "0x100000000"}, "Device Type value out of range: 0x100000000\n"},
        {{"-B", ":"}, "invalid SPI default speed value: :\n"},
        {{"-B", "1:2:x"}, "invalid SPI sample write speed value: x\n"},
    };
    for (const expectation &c : cases) {
        const outcome o = run_tool(c.args);
        EXPECT_EQ(o.status, 1) << c.out;
        EXPECT_EQ(o.out, c.out);
        EXPECT_EQ(o.err, "");
    }
}

} // namespace
