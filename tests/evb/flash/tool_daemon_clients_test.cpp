// Clients that come and go on the board simulator daemon, as on a real bridge's serial device:
// runs of an unprivileged user one after another, and runs after one killed part-way.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

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
    const bool daemon_unprivileged = GetParam();
    const ztest::TempDir dir("tool_daemon_clients");
    fs::permissions(dir.path(), fs::perms::all); // the unprivileged daemon keeps its flash here
    ztest::BoardDaemon daemon(ZELP_BOARD_SIM_BIN, dir.path(), dir.path() / "flash.bin", {},
                              daemon_unprivileged ? user : std::nullopt);
    ASSERT_FALSE(daemon.port().empty());
    // A root daemon's terminal is root's; open it to the clients' user, as udev does for a bridge.
    ASSERT_EQ(::chmod(daemon.terminal().c_str(), 0666), 0) << daemon.terminal();

    for (int run = 0; run < 2; ++run) {
        const auto r =
            ztest::run_program(ZELP_FLASH_BIN, {"-s", daemon.port(), "-d"}, dir.path(), user);
        EXPECT_EQ(r.status, 0) << "run " << run << ": " << r.out << r.err;
        EXPECT_EQ(r.out, flash_id) << "run " << run;
    }

    // Killed in the middle of a long read: the flash is left selected mid-command, the terminal
    // held exclusively.
    {
        ztest::BackgroundProgram reader(
            ZELP_FLASH_BIN, {"-q", "-s", daemon.port(), "-R", "-c", "1000000"}, dir.path(), user);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_TRUE(reader.running()) << "the read was to take seconds";
    }
    const auto r =
        ztest::run_program(ZELP_FLASH_BIN, {"-s", daemon.port(), "-d"}, dir.path(), user);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, flash_id);
}

INSTANTIATE_TEST_SUITE_P(Daemon, ToolDaemonClients, testing::Bool(), [](const auto &info) {
    return info.param ? "Unprivileged" : "TestsUser";
});

} // namespace
