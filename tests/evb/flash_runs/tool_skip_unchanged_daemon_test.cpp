// --skip-unchanged on the board daemon, as a user runs it: a run killed in the middle of its
// write is completed by the next. (What a changed-only write sends and leaves is the flash job's,
// tested with it.)
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/process/tool_process.h"

namespace {

namespace fs = std::filesystem;
using bytes = std::vector<uint8_t>;

constexpr size_t noise_size = 0x40000;

// A daemon whose flash starts with noise_size bytes of noise, in its own file.
class SkipUnchangedDaemon : public testing::Test {
  protected:
    ztest::TempDir dir{"skip_unchanged_daemon"};
    bytes noise = ztest::pseudo_random_bytes(noise_size, 25);

    std::unique_ptr<ztest::BoardDaemon> daemon(const std::string &name) {
        ztest::write_bytes(dir.path() / name, noise);
        auto d =
            std::make_unique<ztest::BoardDaemon>(ZELP_BOARD_SIM_BIN, dir.path(), dir.path() / name);
        EXPECT_FALSE(d->port().empty());
        return d;
    }
    bytes flash(const std::string &name) const {
        bytes b = ztest::read_bytes(dir.path() / name);
        b.resize(noise_size);
        return b;
    }
    ztest::ToolOutcome run(const char *program, const std::string &port,
                           std::vector<std::string> args) {
        args.insert(args.begin(), {"-s", port});
        return ztest::run_program(program, args, dir.path());
    }
    void image(const std::string &name, const bytes &b) {
        ztest::write_bytes(dir.path() / name, b);
    }
};

// The killed run leaves sectors erased or half programmed under the image; the next changed-only
// run finds them and completes the image.
TEST_F(SkipUnchangedDaemon, AWriteKilledHalfwayIsCompletedByTheNextRun) {
    image("image", ztest::pseudo_random_bytes(8 * 4096, 6));
    // A link slow enough that the write (about 4 s) is still going when the run is killed.
    ztest::write_bytes(dir.path() / "killed.bin", noise);
    const ztest::BoardDaemon board(ZELP_BOARD_SIM_BIN, dir.path(), dir.path() / "killed.bin",
                                   {"--latency=150"});
    ASSERT_FALSE(board.port().empty());
    {
        ztest::BackgroundProgram first(ZELP_FLASH_BIN,
                                       {"-q", "-s", board.port(), "-e", "-w", "image"}, dir.path());
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
    }
    const ztest::ToolOutcome o = run(ZELP_FLASH_BIN, board.port() + ",pipeline=64",
                                     {"-q", "--skip-unchanged", "-w", "image", "-v", "image"});
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_NE(o.out.find("skip-unchanged: "), std::string::npos);
    EXPECT_EQ(o.err, "");
}

} // namespace
