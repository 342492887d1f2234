// Every tool that reads a package, a sent file or an image, on inputs that are not ordinary files:
// an endless one ends at once with the reader's verdict, a directory is named with the system's
// reason and the tool's failure status.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/process/temp_files.h"
#include "support/process/tool_process.h"

#ifndef _WIN32

namespace {

struct Case {
    const char *program;
    std::vector<std::string> args; // the input goes last
    const char *input;             // "dir": a directory in the run's directory
    int status;
    const char *out;
    bool reason; // standard error says "NAME: REASON"
};

TEST(ToolUnreadableInput, EndsAtOnceWithTheVerdictOrTheReason) {
    ztest::TempDir dir{"unreadable_input_test"};
    std::filesystem::create_directory(dir.path() / "dir");
    const std::vector<Case> cases = {
        {ZELP_PKG_INFO_BIN,
         {},
         "/dev/zero",
         1,
         "package error -1 (MORVEL_PACKAGE_ERROR_HEADER) at byte 0\n",
         false},
        {ZELP_PKG_INFO_BIN,
         {"-c", "7"},
         "/dev/zero",
         1,
         "package error -1 (MORVEL_PACKAGE_ERROR_HEADER) at byte 7\n",
         false},
        {ZELP_PKG_INFO_BIN, {}, "dir", 2, "", true},
        {ZELP_HOST_BIN,
         {"-s", "sim", "load"},
         "/dev/zero",
         1,
         "load failed: package\n/dev/zero: package error -1 (MORVEL_PACKAGE_ERROR_HEADER) at byte "
         "0\n",
         false},
        {ZELP_HOST_BIN, {"-s", "sim", "load"}, "dir", 2, "", true},
        {ZELP_HOST_BIN, {"-s", "sim", "send"}, "dir", 2, "", true},
        {ZELP_FLASH_BIN, {"-s", "sim:flash.bin", "-w"}, "dir", 1, "", true},
        {ZELP_FLASH_BIN, {"-s", "sim:flash.bin", "-v"}, "dir", 1, "", true},
    };
    for (const Case &c : cases) {
        // The limit ends a tool that would otherwise read without end.
        std::vector<std::string> args = {"5", c.program};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back(c.input);
        const auto start = std::chrono::steady_clock::now();
        const auto r = ztest::run_program("/usr/bin/timeout", args, dir.path());
        const auto took = std::chrono::steady_clock::now() - start;
        const std::string what = testing::PrintToString(args);
        EXPECT_LT(took, std::chrono::seconds(1)) << what;
        EXPECT_EQ(r.status, c.status) << what << r.err;
        EXPECT_EQ(r.out, c.out) << what;
        if (c.reason) {
            EXPECT_EQ(r.err, std::string("dir: ") + std::strerror(EISDIR) + "\n") << what;
        }
    }
}

} // namespace

#endif
