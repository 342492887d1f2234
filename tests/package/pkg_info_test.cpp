// morvel_pkg_info end to end: the verdict line and exit status for package files.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/package_builder.h"
#include "support/process/tool_process.h"

namespace {

using ztest::Bytes;
using Args = std::vector<std::string>;

class PackageInfoTool : public testing::Test {
  protected:
    // Writes `bytes` as `name` in the run's directory and runs the tool on it after `options`.
    ztest::ToolOutcome run_on(const std::string &name, const Bytes &bytes, Args options = {}) {
        ztest::write_bytes(dir_.path() / name, bytes);
        options.push_back(name);
        return run(options);
    }
    ztest::ToolOutcome run(const Args &args) {
        return ztest::run_program(ZELP_PKG_INFO_BIN, args, dir_.path());
    }

  private:
    ztest::TempDir dir_{"pkg_info_test"};
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
    const std::string verdict = "package ok, crc " + hex_crc(package) + "\n";
    for (const Args &chunk :
         {Args{}, Args{"-c", "1"}, Args{"-c", "7"}, Args{"-c", "2048"}, Args{"-c", "1000000"}}) {
        const auto r = run_on("good.pkg", package, chunk);
        EXPECT_EQ(r.status, 0) << chunk.size();
        EXPECT_EQ(r.out, verdict) << chunk.size();
    }
    const auto verbose_whole = run_on("good.pkg", package, {"-v"});
    const auto verbose_bytes = run_on("good.pkg", package, {"-v", "-c", "1"});
    EXPECT_EQ(verbose_whole.status, 0);
    EXPECT_EQ(verbose_whole.out, verbose_bytes.out);
    EXPECT_TRUE(verbose_whole.out.ends_with("\n" + verdict));
    EXPECT_NE(verbose_whole.out.find("- Posterior params: "), std::string::npos);
}

TEST_F(PackageInfoTool, RejectsCorruptAndTruncatedPackages) {
    Bytes package = ztest::small_firmware_package();
    package[100] ^= 0x40;
    for (const Args &chunk : {Args{}, Args{"-c", "1"}, Args{"-c", "13"}}) {
        const auto r = run_on("corrupt.pkg", package, chunk);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "package error -4 (MORVEL_PACKAGE_ERROR_CHECKSUM) at byte 280\n");
    }
    Bytes truncated = ztest::small_firmware_package();
    truncated.resize(150);
    const auto r = run_on("truncated.pkg", truncated);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "package error -999 (MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR) at byte 150\n");
    const auto bad_header = run_on("header.pkg", Bytes(40, 0));
    EXPECT_EQ(bad_header.status, 1);
    EXPECT_EQ(bad_header.out, "package error -1 (MORVEL_PACKAGE_ERROR_HEADER) at byte 0\n");
}

TEST_F(PackageInfoTool, RefusesBadArguments) {
    EXPECT_EQ(run_on("good.pkg", ztest::small_firmware_package()).status, 0);
    for (const Args &args : {Args{}, Args{"-c", "0", "good.pkg"}, Args{"-c", "-3", "good.pkg"},
                             Args{"-c", "12x", "good.pkg"}, Args{"-x", "good.pkg"},
                             Args{"good.pkg", "good.pkg"}, Args{"good.pkg.missing"}})
        EXPECT_EQ(run(args).status, 2) << args.size();
}

} // namespace
