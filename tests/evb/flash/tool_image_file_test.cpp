// Image files on the host and the failures that end a run.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image_file.h"
#include "run_failure.h"
#include "support/process/temp_files.h"

namespace {

using bytes = std::vector<uint8_t>;

// What `f` ends the run with on standard error; "" when it does not fail.
template <class F>
std::string failure_text(F &&f) {
    try {
        f();
    } catch (const run_failure &r) {
        return r.text;
    }
    return "";
}

class ToolImageFile : public testing::Test {
  protected:
    ztest::TempDir dir{"tool_image_file"};
    std::string path(const char *name) const { return (dir.path() / name).string(); }
    std::string make_file(const char *name, const bytes &content) const {
        ztest::write_bytes(path(name), content);
        return path(name);
    }
};

TEST_F(ToolImageFile, ReadsWholeFilesOfAnyLength) {
    bytes big(70000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(read_file(make_file("big.bin", big).c_str()), big);
    EXPECT_TRUE(read_file(make_file("empty.bin", {}).c_str()).empty());
}

TEST_F(ToolImageFile, WriteCreatesOrTruncates) {
    const std::string out = make_file("out.bin", bytes(100, 0x55));
    const bytes data{1, 2, 3};
    EXPECT_EQ(write_file(out.c_str(), data), 0);
    EXPECT_EQ(ztest::read_bytes(out), data);
}

TEST_F(ToolImageFile, MissingFileEndsTheRunWithTheSystemReason) {
    const std::string missing = path("missing.bin");
    EXPECT_EQ(failure_text([&] { (void)read_file(missing.c_str()); }),
              "error opening " + missing + ": No such file or directory\n");
    const std::string nowhere = path("no/such/dir/out.bin");
    EXPECT_EQ(failure_text([&] { (void)write_file(nowhere.c_str(), bytes{1}); }),
              "error opening " + nowhere + ": No such file or directory\n");
}

TEST_F(ToolImageFile, DataLostOnTheWayToDiskEndsTheRun) {
#ifdef _WIN32
    GTEST_SKIP() << "no full device to write to";
#endif
    // A full device takes the buffered bytes and fails when they are flushed on close.
    EXPECT_EQ(failure_text([&] { (void)write_file("/dev/full", bytes(16, 0xAA)); }),
              "error closing /dev/full: No space left on device\n");
    const std::string big =
        failure_text([&] { (void)write_file("/dev/full", bytes(1 << 20, 0xAA)); });
    EXPECT_TRUE(big == "error writing /dev/full: No space left on device\n" ||
                big == "error closing /dev/full: No space left on device\n")
        << big;
}

size_t write_half(const void *data, size_t size, size_t n, std::FILE *f) {
    return std::fwrite(data, size, n / 2, f);
}

TEST_F(ToolImageFile, ShortWriteIsReportedAndFailsTheRun) {
    const std::string out = path("short.bin");
    testing::internal::CaptureStderr();
    EXPECT_EQ(write_file(out.c_str(), bytes(10, 0x11), write_half), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "short write of 5, expected 10 for " + out + "\n");
    EXPECT_EQ(ztest::read_bytes(out).size(), 5U);
}

} // namespace
