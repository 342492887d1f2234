// --skip-unchanged on the board daemon, as a user runs it: the flash bytes after an image whose
// length is not a multiple of 4 keep their values, for zelp7x_flash and zelp7x_gang alike; -e
// leaves the whole span erased as a plain -e -w does; a second run on an unchanged board, dongle
// descriptor included, sends nothing; and a run killed in the middle of its write is completed by
// the next.
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

std::string unchanged_line(unsigned sectors) {
    const std::string n = std::to_string(sectors);
    return "skip-unchanged: " + n + " of " + n +
           " sectors unchanged, 0 erased, 0 pages programmed\n";
}

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

// Images of 1 to 7 bytes and one past a sector, over noise, at addresses on and off a multiple
// of 4; the first taken from the flash itself, so it is unchanged from the start.
TEST_F(SkipUnchangedDaemon, TheBytesAfterAnOddImageKeepTheirValuesForTheToolAndTheGang) {
    struct Case {
        uint32_t address;
        size_t length;
        bool same; // the image is what the flash holds there already
    };
    const Case cases[] = {{0, 1, true},       {0x1000, 1, false},    {0x2001, 3, false},
                          {0x3FFE, 5, false}, {0x5000, 4097, false}, {0x7002, 7, false}};
    for (const char *program : {ZELP_FLASH_BIN, ZELP_GANG_BIN}) {
        const auto board = daemon("flash.bin");
        bytes want = noise;
        unsigned k = 0;
        for (const Case &c : cases) {
            const std::string what = std::string(program) + " case " + std::to_string(k++);
            bytes img = ztest::pseudo_random_bytes(c.length, 40 + k);
            if (c.same) img.assign(noise.begin() + c.address, noise.begin() + c.address + c.length);
            image("img", img);
            std::copy(img.begin(), img.end(), want.begin() + c.address);
            const std::vector<std::string> args = {
                "-q", "-a", std::to_string(c.address), "--skip-unchanged", "-w", "img",
                "-v", "img"};
            const auto r = run(program, board->port(), args);
            EXPECT_EQ(r.status, 0) << what << r.out << r.err;
            EXPECT_EQ(flash("flash.bin"), want) << what;
            if (program == std::string(ZELP_FLASH_BIN)) {
                const auto sectors =
                    static_cast<unsigned>((c.address + c.length - 1) / 4096 - c.address / 4096 + 1);
                if (c.same) {
                    EXPECT_NE(r.out.find(unchanged_line(sectors)), std::string::npos) << r.out;
                }
                // The same image again: nothing is sent.
                const auto again = run(program, board->port(), args);
                EXPECT_NE(again.out.find(unchanged_line(sectors)), std::string::npos)
                    << what << again.out;
            }
        }
    }
}

// -a 0x1010 -e with a 100-byte image: the sector it partly covers ends erased around it, with or
// without --skip-unchanged.
TEST_F(SkipUnchangedDaemon, DashELeavesTheWholeSpanErasedAsItDoesAlone) {
    image("img100", ztest::pseudo_random_bytes(100, 3));
    const auto plain = daemon("plain.bin");
    const auto skip = daemon("skip.bin");
    ASSERT_EQ(
        run(ZELP_FLASH_BIN, plain->port(), {"-q", "-a", "0x1010", "-e", "-w", "img100"}).status, 0);
    const auto r = run(ZELP_FLASH_BIN, skip->port(),
                       {"-q", "-a", "0x1010", "-e", "--skip-unchanged", "-w", "img100"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const bytes erased = flash("plain.bin");
    EXPECT_EQ(flash("skip.bin"), erased);
    EXPECT_EQ(erased[0x1000], 0xFF);
    EXPECT_EQ(erased[0x1FFF], 0xFF);
    EXPECT_EQ(erased[0x2000], noise[0x2000]);
}

// -A -e --skip-unchanged on a board a plain -A -e -w just wrote: every sector, the descriptor's
// included, already holds what it must, so nothing is sent and the flash stays as it is. (The
// run reads the whole 1 MiB span, so the reads are pipelined.)
TEST_F(SkipUnchangedDaemon, ADongleRunOnAnUnchangedBoardSendsNothing) {
    image("img", ztest::pseudo_random_bytes(9000, 4));
    const auto board = daemon("flash.bin");
    ASSERT_EQ(run(ZELP_FLASH_BIN, board->port(), {"-q", "-A", "-e", "-w", "img"}).status, 0);
    const bytes written = ztest::read_bytes(dir.path() / "flash.bin");
    EXPECT_EQ(written[0xFFFF8], 0x28) << "the size word: 9000 bytes";
    const auto r = run(ZELP_FLASH_BIN, board->port() + ",pipeline=64",
                       {"-q", "-A", "-e", "--skip-unchanged", "-w", "img", "-v", "img"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(unchanged_line(4)), std::string::npos) << r.out;
    EXPECT_EQ(ztest::read_bytes(dir.path() / "flash.bin"), written);
}

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
