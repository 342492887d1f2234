// End to end through a real pseudo-terminal: the board I/O layer against zelp7x_board_sim.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>

#include "board.h"
#include "link/pty.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "support/process/board_sim_process.h"
#include "support/process/tool_process.h"
#include "zelp_linux_io.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using ztest::BoardSimProcess;

namespace {

morvel_evb_io_handle_t open_link(const std::string &link) {
    std::string name = link;
    zelp_io_init_args args{};
    args.spidev = name.data();
    args.spi_default_speed = 1000000;
    morvel_evb_io_handle_t d = nullptr;
    return zelp_linux_io_init(&args, &d) == MORVEL_ZELP_ERROR_NONE ? d : nullptr;
}

// A client that knows nothing of the I/O layer: raw terminal, bytes out, bytes back.
Bytes raw_exchange(const std::string &path, const Bytes &out, size_t answer) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return {};
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    Bytes in;
    if (write(fd, out.data(), out.size()) == static_cast<ssize_t>(out.size())) {
        while (in.size() < answer) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0) break;
            uint8_t buf[256];
            const ssize_t n = read(fd, buf, std::min(sizeof buf, answer - in.size()));
            if (n <= 0) break;
            in.insert(in.end(), buf, buf + n);
        }
    }
    close(fd);
    return in;
}

// A client of a terminal as a test drives it: whole writes, then a close.
class TerminalClient {
  public:
    explicit TerminalClient(const std::string &path)
        : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
    ~TerminalClient() { leave(); }
    TerminalClient(const TerminalClient &) = delete;
    TerminalClient &operator=(const TerminalClient &) = delete;

    bool write_all(const Bytes &bytes) const {
        return fd_ >= 0 && write(fd_, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    }
    void leave() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

  private:
    int fd_;
};

// An MCU write of `count` bytes of `fill`: the header, then the data.
Bytes mcu_write(uint32_t address, uint16_t count, uint8_t fill) {
    Bytes packet = {0x3A,
                    0x01,
                    uint8_t(address),
                    uint8_t(address >> 8),
                    uint8_t(address >> 16),
                    uint8_t(address >> 24),
                    uint8_t(count >> 8),
                    uint8_t(count)};
    packet.insert(packet.end(), count, fill);
    return packet;
}

// Turns the server until `done`, within a bound that only a server that never gets there meets.
bool turn_until(zsim::PtyServer &server, zsim::UsbLink &link, const std::function<bool()> &done) {
    for (int turn = 0; turn < 50 && !done(); ++turn)
        if (!server.serve_once(link)) return false;
    return done();
}

} // namespace

// A client's last packet may still wait in the terminal, its header already taken, when the
// server learns that the client has gone: it is carried out all the same, even when the next
// client has opened the terminal and written by then. A packet that a killed client left half
// written is forgotten, and the next client's packets are taken whole. The server is turned by
// the test, so each case meets the server exactly at the step it names.
TEST(SimBridgePty, EveryPacketOfADepartedClientIsCarriedOutBeforeTheNextClients) {
    constexpr uint32_t last = 0x20002000, after_it = 0x20002100, next = 0x20002200;
    const Bytes packet = mcu_write(last, 64, 0x11);
    const Bytes further = mcu_write(after_it, 4, 0x22);
    const Bytes next_packet = mcu_write(next, 4, 0x33);
    // What the next client has done by the turn in which the server learns of the departure.
    enum class Next { later, opened, talking };
    const struct {
        const char *what;
        size_t taken_first; // bytes of its last packet the server takes before the client goes
        bool killed;        // the client goes without writing the rest of it
        Next next;
        std::vector<uint32_t> carried_out;
    } cases[] = {
        {"closed, next client later", 8, false, Next::later, {last, after_it, next}},
        {"closed, next client opened", 8, false, Next::opened, {last, after_it, next}},
        {"closed, next client talking", 8, false, Next::talking, {last, after_it, next}},
        {"closed within a header, next client talking",
         3,
         false,
         Next::talking,
         {last, after_it, next}},
        {"killed, next client later", 8, true, Next::later, {next}},
        {"killed, next client talking", 8, true, Next::talking, {next}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        zsim::Board board;
        std::string error;
        const auto server = zsim::PtyServer::open(error);
        ASSERT_NE(server, nullptr) << error;
        zsim::UsbLink link(board);
        const zsim::Bridge &bridge = board.bridge();

        TerminalClient departing(server->path());
        ASSERT_TRUE(departing.write_all(Bytes(packet.begin(), packet.begin() + c.taken_first)));
        ASSERT_TRUE(turn_until(*server, link, [&] { return bridge.bytes_to_finish({}) > 0; }));
        if (!c.killed) {
            Bytes rest(packet.begin() + c.taken_first, packet.end());
            rest.insert(rest.end(), further.begin(), further.end());
            ASSERT_TRUE(departing.write_all(rest));
        }
        departing.leave();
        std::optional<TerminalClient> next_client;
        if (c.next != Next::later) next_client.emplace(server->path());
        if (c.next == Next::talking) {
            ASSERT_TRUE(next_client->write_all(next_packet));
        }
        ASSERT_TRUE(server->serve_once(link));
        if (!next_client) next_client.emplace(server->path());
        if (c.next != Next::talking) {
            ASSERT_TRUE(next_client->write_all(next_packet));
        }
        ASSERT_TRUE(turn_until(*server, link, [&] { return board.chip().peek_mcu(next) != 0; }));

        std::vector<uint32_t> carried_out;
        for (const zsim::BridgePacket &p : bridge.packets()) carried_out.push_back(p.address);
        EXPECT_EQ(carried_out, c.carried_out);
        EXPECT_EQ(bridge.stray_bytes(), 0u);
        for (uint32_t a = last; a < last + 64; a += 4)
            EXPECT_EQ(board.chip().peek_mcu(a), c.killed ? 0u : 0x11111111u) << a;
    }
}

TEST(SimBridgePty, ServesTransfersAndCommandsOverTheLink) {
    BoardSimProcess sim(ZELP_BOARD_SIM_BIN, {"--device-type", "0x31"});
    ASSERT_TRUE(sim.running());
    EXPECT_EQ(fs::read_symlink(sim.link()).string(), sim.pty_path());

    EXPECT_EQ(raw_exchange(sim.link(), {0x3A, 0x02, 0x00, 0x00, 0x01}, 1), Bytes{0x31});

    morvel_evb_io_handle_t d = open_link(sim.link());
    ASSERT_NE(d, nullptr);
    uint8_t type = 0;
    EXPECT_EQ(zelp_linux_io_transfer(d, 0, 0, nullptr, &type, 1), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(type, 0x31);

    Bytes words(1024), back(1024);
    for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(zelp_linux_io_transfer(d, 1, 0x20001000, words.data(), nullptr, 1024), 0);
    EXPECT_EQ(zelp_linux_io_transfer(d, 1, 0x20001000, nullptr, back.data(), 1024), 0);
    EXPECT_EQ(back, words);

    uint32_t speed = 0;
    EXPECT_EQ(zelp_win32_io_usb_serial_set_spi_speed(d, 2000000), 0);
    EXPECT_EQ(zelp_win32_io_usb_serial_get_spi_speed(d, &speed), 0);
    EXPECT_EQ(speed, 2000000u);

    Bytes block(256, 0x5A), read_back(256);
    EXPECT_EQ(zelp_linux_io_usb_serial_flash_rw_command(d, ATMEL_DONGLE_FW_FLASH_WRITE, 0x012300,
                                                        block.data(), 256),
              0);
    EXPECT_EQ(zelp_linux_io_usb_serial_flash_rw_command(d, ATMEL_DONGLE_FW_FLASH_READ, 0x012300,
                                                        read_back.data(), 256),
              0);
    EXPECT_EQ(read_back, block);
    EXPECT_EQ(zelp_linux_io_uninit(d), MORVEL_ZELP_ERROR_NONE);

    // A second client after the first closed the terminal.
    d = open_link(sim.link());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(zelp_linux_io_transfer(d, 1, 0x20001000, nullptr, back.data(), 8), 0);
    EXPECT_EQ(Bytes(back.begin(), back.begin() + 8), Bytes(words.begin(), words.begin() + 8));
    zelp_linux_io_uninit(d);

    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(sim.link())));
}

TEST(SimBridgePty, FlashFileIsWrittenWhenTheSimulatorStops) {
    const ztest::TempDir dir("zelp_pty_flash");
    const fs::path file = dir.path() / "flash.bin";
    {
        BoardSimProcess sim(ZELP_BOARD_SIM_BIN, {"--flash-file=" + file.string()});
        ASSERT_TRUE(sim.running());
        morvel_evb_io_handle_t d = open_link(sim.link());
        ASSERT_NE(d, nullptr);
        Bytes data = {1, 2, 3, 4};
        EXPECT_EQ(zelp_linux_io_usb_serial_flash_rw_command(d, ATMEL_DONGLE_FW_FLASH_WRITE, 16,
                                                            data.data(), 4),
                  0);
        // The next exchange shows the write was taken before the simulator is stopped.
        uint8_t type = 0;
        EXPECT_EQ(zelp_linux_io_transfer(d, 0, 0, nullptr, &type, 1), 0);
        zelp_linux_io_uninit(d);
        EXPECT_EQ(sim.stop(), 0);
    }
    const Bytes flash = ztest::read_bytes(file);
    ASSERT_GE(flash.size(), 20u);
    EXPECT_EQ(Bytes(flash.begin() + 15, flash.begin() + 20), (Bytes{0xFF, 1, 2, 3, 4}));
}

TEST(SimBridgePty, FlagsTakeNoValueFromTheNextOption) {
    BoardSimProcess sim(ZELP_BOARD_SIM_BIN, {"--stuck-busy", "--device-type", "0x44"});
    ASSERT_TRUE(sim.running());
    EXPECT_EQ(raw_exchange(sim.link(), {0x3A, 0x02, 0x00, 0x00, 0x01}, 1), Bytes{0x44});
}

TEST(SimBridgePty, UnknownOptionsStopTheSimulatorBeforeItServes) {
    BoardSimProcess sim(ZELP_BOARD_SIM_BIN, {"--no-such-option", "1"});
    EXPECT_FALSE(sim.running());
    EXPECT_EQ(sim.stop(), 2);
}

// What starts the daemon waits on --ready-fd: closed once every board is served, after a path a
// board, in the order of the links; a descriptor that is not open ends the daemon.
TEST(SimBridgePty, TheReadyDescriptorNamesEveryServedBoard) {
    const ztest::TempDir dir("zelp_pty_ready");
    const std::string rack = (dir.path() / "rack").string();
    BoardSimProcess sim(ZELP_BOARD_SIM_BIN, {"--boards", "3", "--link", rack});
    ASSERT_TRUE(sim.running());
    EXPECT_EQ(sim.link(), rack);
    ASSERT_EQ(sim.pty_paths().size(), 3u);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(fs::read_symlink(rack + std::to_string(k)).string(), sim.pty_paths()[k]);
    EXPECT_EQ(raw_exchange(rack + "2", {0x3A, 0x02, 0x00, 0x00, 0x01}, 1), Bytes{0x20});
    EXPECT_EQ(sim.stop(), 0);

    const auto r = ztest::run_program(
        ZELP_BOARD_SIM_BIN, {"--link", (dir.path() / "alone").string(), "--ready-fd", "77"},
        dir.path(), {}, {.seconds = 30});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zelp7x_board_sim: ready-fd 77: " + std::string(std::strerror(EBADF)) + "\n");
}

// A daemon's links are its own: a second daemon on the names a first one serves is refused and
// leaves them pointing at the first one's terminals, as is one on a link to any terminal some
// process holds open, a regular file or a folder; a link left behind by a daemon that is gone is
// taken over.
TEST(SimBridgePty, LinksToLiveTerminalsAreNeverTakenOver) {
    const ztest::TempDir dir("zelp_pty_links");
    const std::string rack = (dir.path() / "rack").string();
    BoardSimProcess first(ZELP_BOARD_SIM_BIN, {"--boards", "2", "--link", rack});
    ASSERT_TRUE(first.running());
    const std::string rack0 = fs::read_symlink(rack + "0").string();
    const std::string rack1 = fs::read_symlink(rack + "1").string();

    const int held = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(unlockpt(held), 0);
    const std::string held_path = ptsname(held);
    fs::create_symlink(held_path, dir.path() / "session");
    ztest::write_bytes(dir.path() / "file", {1});
    fs::create_directory(dir.path() / "folder");

    const struct {
        std::vector<std::string> args;
        std::string refusal;
    } cases[] = {
        {{"--boards", "2", "--link", rack}, rack + "0 names " + rack0 + ", a terminal in use"},
        {{"--link", rack + "1"}, rack + "1 names " + rack1 + ", a terminal in use"},
        {{"--link", "session"}, "session names " + held_path + ", a terminal in use"},
        {{"--link", "file"}, "file exists and is not a link"},
        {{"--link", "folder"}, "folder exists and is not a link"},
    };
    for (const auto &c : cases) {
        // A daemon that took the link would serve on: the alarm ends it.
        const auto r =
            ztest::run_program(ZELP_BOARD_SIM_BIN, c.args, dir.path(), {}, {.seconds = 30});
        EXPECT_EQ(r.status, 1) << c.refusal;
        EXPECT_EQ(r.out, "") << c.refusal;
        EXPECT_EQ(r.err, "zelp7x_board_sim: " + c.refusal + "\n");
    }
    close(held);
    EXPECT_EQ(fs::read_symlink(rack + "0").string(), rack0);
    EXPECT_EQ(fs::read_symlink(rack + "1").string(), rack1);
    EXPECT_EQ(raw_exchange(rack + "1", {0x3A, 0x02, 0x00, 0x00, 0x01}, 1), Bytes{0x20});

    // The session's terminal has gone with its last descriptor: its link is a stale one now.
    BoardSimProcess after(ZELP_BOARD_SIM_BIN, {"--link", (dir.path() / "session").string()});
    ASSERT_TRUE(after.running());
    EXPECT_EQ(fs::read_symlink(dir.path() / "session").string(), after.pty_path());
    EXPECT_EQ(after.stop(), 0);
    EXPECT_EQ(first.stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(rack + "0")));
}
