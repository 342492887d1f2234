// morvel_pkg_info end to end: the verdict line and exit status for package files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/package_builder.h"

namespace {

using ztest::Bytes;

struct run_result {
    int status;
    std::string out;
};

run_result run_tool(const std::string &args) {
    const std::string command = std::string(ZELP_PKG_INFO_BIN) + " " + args + " 2>/dev/null";
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {-1, ""};
    std::string out;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
    const int raw = pclose(pipe);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out};
}

class PackageInfoTool : public testing::Test {
  protected:
    std::string write(const std::string &name, const Bytes &bytes) {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("pkg_info_test_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

  private:
    std::filesystem::path dir_;
};

std::string hex_crc(const Bytes &package) {
    char text[16];
    const size_t n = package.size();
    const uint32_t crc = package[n - 4] | package[n - 3] << 8 | package[n - 2] << 16 |
                         static_cast<uint32_t>(package[n - 1]) << 24;
    std::snprintf(text, sizeof text, "0x%08x", crc);
    return text;
}

TEST_F(PackageInfoTool, AcceptsAValidPackageInAnyChunkSize) {
    const Bytes package = ztest::every_kind_package();
    const std::string file = write("good.pkg", package);
    const std::string verdict = "package ok, crc " + hex_crc(package) + "\n";
    for (const std::string chunk : {"", "-c 1", "-c 7", "-c 2048", "-c 1000000"}) {
        const auto r = run_tool(chunk + " " + file);
        EXPECT_EQ(r.status, 0) << chunk;
        EXPECT_EQ(r.out, verdict) << chunk;
    }
    const auto verbose_whole = run_tool("-v " + file);
    const auto verbose_bytes = run_tool("-v -c 1 " + file);
    EXPECT_EQ(verbose_whole.status, 0);
    EXPECT_EQ(verbose_whole.out, verbose_bytes.out);
    EXPECT_TRUE(verbose_whole.out.ends_with("\n" + verdict));
    EXPECT_NE(verbose_whole.out.find("- Posterior params: "), std::string::npos);
}

TEST_F(PackageInfoTool, RejectsCorruptAndTruncatedPackages) {
    Bytes package = ztest::small_firmware_package();
    package[100] ^= 0x40;
    const std::string corrupt = write("corrupt.pkg", package);
    for (const std::string chunk : {"", "-c 1", "-c 13"}) {
        const auto r = run_tool(chunk + " " + corrupt);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "package error -4 (MORVEL_PACKAGE_ERROR_CHECKSUM) at byte 280\n");
    }
    Bytes truncated = ztest::small_firmware_package();
    truncated.resize(150);
    const auto r = run_tool(write("truncated.pkg", truncated));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "package error -999 (MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR) at byte 150\n");
    const auto bad_header = run_tool(write("header.pkg", Bytes(40, 0)));
    EXPECT_EQ(bad_header.status, 1);
    EXPECT_EQ(bad_header.out, "package error -1 (MORVEL_PACKAGE_ERROR_HEADER) at byte 0\n");
}

TEST_F(PackageInfoTool, RefusesBadArguments) {
    const std::string file = write("good.pkg", ztest::small_firmware_package());
    for (const std::string &args :
         {std::string(), "-c 0 " + file, "-c -3 " + file, "-c 12x " + file, "-x " + file,
          file + " " + file, file + ".missing"})
        EXPECT_EQ(run_tool(args).status, 2) << args;
}

} // namespace
