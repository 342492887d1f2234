// Clients that come and go on the board simulator daemon, as on a real bridge's serial device:
// runs of an unprivileged user one after another, and runs after one killed part-way; and a rack
// of boards in one daemon, flashed at once.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "support/process/tool_process.h"

namespace {

namespace fs = std::filesystem;

constexpr const char *flash_id = "flash vendor id = 0xef, device id = 0x4016\n";

// The daemon as the tests' user (root clears a departed client's hold in place) and as the
// unprivileged user (it needs a fresh terminal behind the link).
class ToolDaemonClients : public testing::TestWithParam<bool> {};

TEST_P(ToolDaemonClients, ClientsOfAnyUserComeAndGoKilledOrNot) {
    const auto user = ztest::unprivileged_user();
    if (!user) GTEST_SKIP() << "running as root, and there is no user nobody to run clients as";
    // The programs as the unprivileged user can reach them, wherever the build tree lies.
    const ztest::SharedPrograms programs({ZELP_BOARD_SIM_BIN, ZELP_FLASH_BIN});
    if (const std::string why = programs.unusable_by(user); !why.empty()) GTEST_SKIP() << why;
    const std::string flash_tool = programs[ZELP_FLASH_BIN];
    const bool daemon_unprivileged = GetParam();
    const ztest::TempDir dir("tool_daemon_clients");
    fs::permissions(dir.path(), fs::perms::all); // the unprivileged daemon keeps its flash here
    ztest::BoardDaemon daemon(programs[ZELP_BOARD_SIM_BIN], dir.path(), dir.path() / "flash.bin",
                              {}, daemon_unprivileged ? user : std::nullopt);
    ASSERT_FALSE(daemon.port().empty()) << "the daemon did not come up";
    // A root daemon's terminal is root's; open it to the clients' user, as udev does for a bridge.
    ASSERT_EQ(::chmod(daemon.terminal().c_str(), 0666), 0) << daemon.terminal();

    for (int run = 0; run < 2; ++run) {
        const auto r =
            ztest::run_program(flash_tool, {"-s", daemon.port(), "-d"}, dir.path(), user);
        EXPECT_EQ(r.status, 0) << "run " << run << ": " << r.out << r.err;
        EXPECT_EQ(r.out, flash_id) << "run " << run;
    }

    // Killed in the middle of a long read: the flash is left selected mid-command, the terminal
    // held exclusively.
    {
        ztest::BackgroundProgram reader(
            flash_tool, {"-q", "-s", daemon.port(), "-R", "-c", "1000000"}, dir.path(), user);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_TRUE(reader.running()) << "the read was to take seconds";
    }
    const auto r = ztest::run_program(flash_tool, {"-s", daemon.port(), "-d"}, dir.path(), user);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, flash_id);
}

// Four boards, the last stuck busy, each programmed with an image of its own at the same time.
TEST(ToolDaemonRack, EachBoardHoldsItsOwnFlashAndOnlyTheFaultyOneFails) {
    constexpr int boards = 4;
    const ztest::TempDir dir("tool_daemon_rack");
    ztest::BoardSimProcess sim(ZELP_BOARD_SIM_BIN,
                               {"--boards", std::to_string(boards), "--image",
                                (dir.path() / "flash").string(), "--fault-board", "3=stuck-busy"});
    ASSERT_TRUE(sim.running());
    std::vector<std::future<ztest::ToolOutcome>> runs;
    for (int k = 0; k < boards; ++k) {
        const fs::path run = dir.path() / ("run" + std::to_string(k));
        fs::create_directory(run);
        ztest::write_bytes(run / "img", std::vector<uint8_t>(100 + 300 * k, uint8_t(0x11 * k)));
        const std::vector<std::string> args = {
            "-q", "-s", sim.link() + std::to_string(k), "-e", "-w", "img", "-v", "img"};
        runs.push_back(std::async(std::launch::async, [args, run] {
            return ztest::run_program(ZELP_FLASH_BIN, args, run);
        }));
    }
    for (int k = 0; k < boards; ++k) {
        const auto r = runs[k].get();
        if (k == 3) {
            EXPECT_EQ(r.status, 1) << r.out;
            EXPECT_NE(r.err.find("flash wait expired"), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.status, 0) << "board " << k << ": " << r.out << r.err;
        }
    }
    EXPECT_EQ(sim.stop(), 0);
    for (int k = 0; k < 3; ++k) {
        const auto cells = ztest::read_bytes(dir.path() / ("flash" + std::to_string(k)));
        const size_t n = 100 + 300 * k;
        ASSERT_GE(cells.size(), n + 1) << k;
        EXPECT_EQ(std::vector<uint8_t>(cells.begin(), cells.begin() + n),
                  std::vector<uint8_t>(n, uint8_t(0x11 * k)))
            << "board " << k;
        EXPECT_EQ(cells[n], 0xFF) << "board " << k << " holds no other board's longer image";
    }
}

INSTANTIATE_TEST_SUITE_P(Daemon, ToolDaemonClients, testing::Bool(), [](const auto &info) {
    return info.param ? "Unprivileged" : "TestsUser";
});

} // namespace
