// The fallback line reader behaves as POSIX getline.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "io_internal.h"

namespace {

// A temporary file rather than a memory stream, which not every C library has.
struct Stream {
    explicit Stream(const std::string &text) : file(std::tmpfile()) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::rewind(file);
    }
    ~Stream() { std::fclose(file); }
    FILE *file;
};

} // namespace

// The buffer starts at 128 bytes and grows by a quarter: 128 -> 160 -> 200 -> 250 -> 312.
TEST(IoGetline, ReadsLinesWithTheirNewlinesThenEndOfFile) {
    const std::string long_line(300, 'x');
    Stream s("first\n" + long_line + "\nsecond");
    char *line = nullptr;
    size_t n = 0;
    EXPECT_EQ(zio::read_line(&line, &n, s.file), 6);
    EXPECT_STREQ(line, "first\n");
    EXPECT_EQ(n, 128u);
    EXPECT_EQ(zio::read_line(&line, &n, s.file), 301);
    EXPECT_EQ(std::string(line), long_line + "\n");
    EXPECT_EQ(n, 312u);
    EXPECT_EQ(zio::read_line(&line, &n, s.file), 6);
    EXPECT_STREQ(line, "second");
    EXPECT_EQ(zio::read_line(&line, &n, s.file), -1);
    EXPECT_STREQ(line, "second"); // left alone at end of file
    std::free(line);
}

TEST(IoGetline, MissingArgumentsAreInvalid) {
    Stream s("x");
    char *line = nullptr;
    size_t n = 0;
    errno = 0;
    EXPECT_EQ(zio::read_line(nullptr, &n, s.file), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(zio::read_line(&line, nullptr, s.file), -1);
    EXPECT_EQ(zio::read_line(&line, &n, nullptr), -1);
    EXPECT_EQ(line, nullptr);
}
