// The board library's open: every option reaches the board (device type, input clock, init mode,
// when the clock is set), each failing step fills the failure record, boards opened together keep
// their own options, and the bridge choice says its lines through the host's callback, on
// in-process simulated boards and on a daemon's board behind a fake sysfs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board.h"
#include "io_state.h"
#include "morvel_board/morvel_zelp7x_board.h"
#include "morvel_flash/morvel_zelp7x_flash.h"
#include "support/board/fake_sysfs.h"
#include "support/process/fd_capture.h"
#include "support/process/tool_process.h"
#include "zelp_usb_devices.h"

namespace {

constexpr uint32_t kFllAddress = 0x4000905C; // the input clock's first write

struct board_closer {
    void operator()(morvel_zelp7x_board_s *b) const { morvel_zelp7x_board_close(b); }
};
using board_ptr = std::unique_ptr<morvel_zelp7x_board_s, board_closer>;

// What one open did: its outcome, what the board holds, and what crossed the wire.
struct Opened {
    int status = -1;
    std::string step, message, reason, port;
    std::vector<std::string> said; // through the message callback
    unsigned int type = 0;
    int freq = 0;
    int type_reads = 0; // SPI reads of register 0: the link probe, and the type unless given
    bool clock_sent = false;
    board_ptr board;
};

void keep_line(const char *line, void *user) {
    static_cast<std::vector<std::string> *>(user)->push_back(line);
}

Opened open_with(morvel_zelp7x_board_options_s o) {
    Opened r;
    o.message = keep_line;
    o.message_user = &r.said;
    morvel_zelp7x_board_s *board = nullptr;
    morvel_zelp7x_board_failure_s f{};
    testing::internal::CaptureStderr(); // the board I/O layer's own lines
    r.status = morvel_zelp7x_board_open(&o, &board, &f);
    testing::internal::GetCapturedStderr();
    r.board.reset(board);
    r.step = f.step != nullptr ? f.step : "";
    r.message = f.message;
    r.reason = f.reason;
    if (board == nullptr) return r;
    r.port = morvel_zelp7x_board_port(board);
    r.type = morvel_zelp7x_board_device(board)->device_type;
    r.freq = morvel_zelp7x_board_input_freq(board);
    if (zsim::Board *sim = zio::sim_board(morvel_zelp7x_board_io(board))) {
        for (const zsim::BridgePacket &p : sim->bridge().packets()) {
            r.type_reads += p.command == 2 && p.address == 0;
            r.clock_sent |= p.command == 1 && p.address == kFllAddress;
        }
    }
    return r;
}

morvel_zelp7x_board_options_s options(const char *port) {
    morvel_zelp7x_board_options_s o;
    morvel_zelp7x_board_options_init(&o);
    o.port = port;
    return o;
}

TEST(BoardOpen, EveryOptionReachesTheBoardAndEveryStepFailsInItsName) {
    using clock_e = morvel_zelp7x_board_clock_e;
    constexpr auto at_open = MORVEL_ZELP7X_BOARD_CLOCK_AT_OPEN;
    constexpr auto allowed = MORVEL_ZELP7X_BOARD_CLOCK_WHEN_ALLOWED;
    const struct {
        const char *port;
        unsigned int device_type;
        int input_freq;
        morvel_zelp_init_mode_e mode;
        clock_e clock;
        int status;
        const char *message;
        unsigned int type;
        int freq, type_reads;
        bool clock_sent;
    } cases[] = {
        // The chip names its type; the USB kind's clock.
        {"sim", 0, -1, MORVEL_ZELP_INIT_MODE_RESET, at_open, 0, "", 0x20, 32768, 2, true},
        // A given type's low byte, without reading the register.
        {"sim", 0x113, -1, MORVEL_ZELP_INIT_MODE_RESET, at_open, 0, "", 0x13, 32768, 1, true},
        // 0 Hz is a value, not an absence, and no clock the chip takes.
        {"sim", 0, 0, MORVEL_ZELP_INIT_MODE_RESET, at_open, MORVEL_ZELP_ERROR_ARG,
         "zelp7x_config input set failed: arg", 0, 0, 0, false},
        {"sim:,device-type=0x24", 0, 48000, MORVEL_ZELP_INIT_MODE_RESET, allowed, 0, "", 0x24,
         48000, 2, true},
        // The host's way leaves a secured chip's clock, and any chip's in NO_TOUCH, alone.
        {"sim:,secured", 0, -1, MORVEL_ZELP_INIT_MODE_RESET, allowed, 0, "", 0x20, 32768, 2, false},
        {"sim", 0, -1, MORVEL_ZELP_INIT_MODE_NO_TOUCH, allowed, 0, "", 0x20, 32768, 2, false},
        {"sim", 0, -1, MORVEL_ZELP_INIT_MODE_NO_TOUCH, at_open, 0, "", 0x20, 32768, 2, true},
        // The second family has no driver here.
        {"sim", 0x31, -1, MORVEL_ZELP_INIT_MODE_RESET, at_open, MORVEL_ZELP_ERROR_FAIL,
         "zelp_init failed: fail", 0, 0, 0, false},
        {"/nonexistent/ttyACM9", 0, -1, MORVEL_ZELP_INIT_MODE_RESET, at_open,
         MORVEL_ZELP_ERROR_FAIL, "io_init failed: fail", 0, 0, 0, false},
    };
    for (const auto &c : cases) {
        morvel_zelp7x_board_options_s o = options(c.port);
        o.device_type = c.device_type;
        o.input_freq = c.input_freq;
        o.init_mode = c.mode;
        o.clock = c.clock;
        const Opened r = open_with(o);
        SCOPED_TRACE(std::string(c.port) + " type " + std::to_string(c.device_type));
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.message, c.message);
        const std::string message = c.message;
        EXPECT_EQ(r.step, message.substr(0, message.find(" failed:")));
        EXPECT_EQ(r.board == nullptr, c.status != 0);
        EXPECT_TRUE(r.said.empty());
        if (c.status != 0) continue;
        EXPECT_EQ(r.port, c.port);
        EXPECT_EQ(r.type, c.type);
        EXPECT_EQ(r.freq, c.freq);
        EXPECT_EQ(r.type_reads, c.type_reads);
        EXPECT_EQ(r.clock_sent, c.clock_sent);
    }
}

struct IoLine {
    int kind, stream;
    std::string text;
    bool operator==(const IoLine &) const = default;
};

void keep_io_line(const zelp_io_line_s *line, void *user) {
    static_cast<std::vector<IoLine> *>(user)->push_back({line->kind, line->stream, line->text});
}

// The board I/O layer's lines reach the host's callback and nothing else, from the open to the
// close, or without one are printed as the layer prints them; either way a port that does not
// open leaves the layer's reason in the failure record, the flash library's too.
TEST(BoardOpen, TheIoLayersLinesGoToTheHostAndItsReasonIntoTheFailure) {
    constexpr int reason = ZELP_IO_LINE_REASON, error = ZELP_IO_LINE_ERROR;
    const struct {
        const char *port;
        int status;
        std::string why; // the failure record's reason
        std::vector<IoLine> lines;
    } cases[] = {
        {"/nonexistent/ttyACM9",
         MORVEL_ZELP_ERROR_FAIL,
         "cannot open /nonexistent/ttyACM9: No such file or directory",
         {{error, 2, "Error in opening serial port"},
          {reason, 2, "cannot open /nonexistent/ttyACM9: No such file or directory"},
          {error, 2, "error opening spi: fail"}}},
        {"sim,pipeline=0",
         MORVEL_ZELP_ERROR_ARG,
         "pipeline needs a count from 1 to 256: 0",
         {{reason, 2, "pipeline needs a count from 1 to 256: 0"},
          {error, 2, "error opening spi: arg"}}},
        // An open that works says nothing, and the board's later lines go the same way.
        {"sim", 0, "", {{error, 1, "Error: Buffer too big"}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.port);
        for (const bool host_takes_them : {true, false}) {
            std::vector<IoLine> lines;
            morvel_zelp7x_board_options_s o = options(c.port);
            if (host_takes_them) o.io_report = {keep_io_line, &lines};
            morvel_zelp7x_board_s *board = nullptr;
            morvel_zelp7x_board_failure_s f{};
            std::vector<uint8_t> block(257);
            ztest::FdCapture capture;
            EXPECT_EQ(morvel_zelp7x_board_open(&o, &board, &f), c.status);
            if (board != nullptr)
                zelp_linux_io_usb_serial_flash_rw_command(morvel_zelp7x_board_io(board),
                                                          ATMEL_DONGLE_FW_FLASH_WRITE, 0,
                                                          block.data(), 257);
            morvel_zelp7x_board_close(board);
            const ztest::FdCapture::Output printed = capture.finish();
            EXPECT_EQ(std::string(f.reason), c.why);
            if (host_takes_them) {
                EXPECT_EQ(lines, c.lines);
                EXPECT_EQ(printed.out + printed.err, "");
                continue;
            }
            std::string out, err;
            for (const IoLine &l : c.lines) (l.stream == 1 ? out : err) += l.text + "\n";
            EXPECT_EQ(printed.out, out);
            EXPECT_EQ(printed.err, err);
        }
        // The flash library's open passes the callback and the reason on.
        std::vector<IoLine> lines;
        morvel_zelp7x_flash_board_options_s fo;
        morvel_zelp7x_flash_board_options_init(&fo);
        fo.port = c.port;
        fo.io_report = {keep_io_line, &lines};
        morvel_zelp7x_flash_board_s *flash_board = nullptr;
        morvel_zelp7x_flash_failure_s ff{};
        ztest::FdCapture capture;
        EXPECT_EQ(morvel_zelp7x_flash_board_open_with(&fo, &flash_board, &ff), c.status);
        morvel_zelp7x_flash_board_close(flash_board);
        EXPECT_EQ(capture.finish().err, "");
        EXPECT_EQ(std::string(ff.reason), c.why);
        if (c.status != 0) {
            EXPECT_EQ(lines, c.lines);
        }
    }
}

// Two boards at once, each with its own type and mailbox wait: nothing is shared between them.
TEST(BoardOpen, BoardsOpenedTogetherKeepTheirOwnOptions) {
    morvel_zelp7x_board_options_s a = options("sim");
    a.device_type = 0x13;
    morvel_zelp7x_board_options_s b = options("sim:,device-type=0x24");
    b.wait_for_answers = 1;
    const Opened first = open_with(a), second = open_with(b), third = open_with(options("sim"));
    EXPECT_EQ(first.type, 0x13u);
    EXPECT_EQ(second.type, 0x24u);
    EXPECT_EQ(third.type, 0x20u);

    // Only a board that waits for answers can ask whether firmware answers; a reset chip has none.
    int answers = -1;
    EXPECT_EQ(morvel_zelp7x_board_probe_firmware(first.board.get(), 50, &answers),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(morvel_zelp7x_board_probe_firmware(second.board.get(), 50, &answers), 0);
    EXPECT_EQ(answers, 0);
    // Nothing is due on a board whose clock was set at open.
    EXPECT_EQ(morvel_zelp7x_board_settle_clock(first.board.get()), 0);
    EXPECT_EQ(morvel_zelp7x_board_settle_clock(nullptr), MORVEL_ZELP_ERROR_ARG);

    // The flash library finds a board's I/O handle, or a host's own in its record.
    morvel_zelp_device_s *zelp = morvel_zelp7x_board_device(first.board.get());
    EXPECT_EQ(morvel_zelp7x_board_device_io(zelp), morvel_zelp7x_board_io(first.board.get()));
    morvel_zelp_device_s own{};
    own.iif.d = &own;
    EXPECT_EQ(static_cast<void *>(morvel_zelp7x_board_device_io(&own)), &own);
    // The I/O layer counts in int: a larger count is refused, not wrapped.
    EXPECT_EQ(zelp->iif.transfer(zelp->iif.d, 0, 0, nullptr, nullptr,
                                 static_cast<unsigned int>(INT_MAX) + 1U),
              MORVEL_ZELP_ERROR_ARG);
    morvel_zelp7x_board_failure_s f{};
    EXPECT_EQ(morvel_zelp7x_board_open(nullptr, nullptr, &f), MORVEL_ZELP_ERROR_ARG);
}

TEST(BoardChoice, SerialNumberOrSearchChoosesThePortThatIsOpened) {
    const ztest::TempDir dir("board_choice");
    const ztest::BoardDaemon daemon(ZELP_BOARD_SIM_BIN, dir.path(), dir.path() / "flash.bin");
    if (daemon.port().empty()) GTEST_SKIP() << "build zelp7x_board_sim first";
    ztest::FakeSysfs sys;
    // The bridge the search takes (row 0) leads to the simulated board.
    sys.add_tty("ttyACM5", "1-1", MEG381CQR_VID, MEG381CQR_PID, 0);
    sys.set_serial("1-1", "Board-A");
    sys.link_dev("ttyACM5", daemon.port());
    const std::string a = sys.dev("ttyACM5"), b = sys.dev("ttyACM1");
    const auto open = [](const char *port) { return open_with(options(port)); };

    // With one bridge nothing more is said.
    Opened o = open(nullptr);
    EXPECT_EQ(o.status, MORVEL_ZELP_ERROR_NONE);
    EXPECT_TRUE(o.said.empty());
    EXPECT_EQ(o.port, "");
    o.board.reset();

    // A second one, whose node is no terminal, so opening it would fail.
    sys.add_tty("ttyACM1", "1-2", NU_HID_VID, NU_HID_PID, 0);
    sys.set_serial("1-2", "board-b");
    o = open(nullptr);
    EXPECT_EQ(o.status, MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(o.said, std::vector<std::string>{"using " + a +
                                               ", the first of 2 supported bridges (--list shows "
                                               "them)"});
    o.board.reset();

    const struct {
        const char *port;
        int status;
        std::string opened, said;
    } cases[] = {
        // In any case, as Windows keeps serial numbers upper case; parameters follow as on a port.
        {"serial=board-a", 0, a, ""},
        {"serial=BOARD-A,pipeline=8", 0, a + ",pipeline=8", ""},
        {"serial=board-b", MORVEL_ZELP_ERROR_FAIL, "", ""},
        {"serial=board", MORVEL_ZELP_ERROR_ARG, "",
         "no supported bridge has serial number board (--list shows them)"},
    };
    for (const auto &c : cases) {
        o = open(c.port);
        EXPECT_EQ(o.status, c.status) << c.port;
        EXPECT_EQ(o.port, c.opened) << c.port;
        EXPECT_EQ(o.said,
                  c.said.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.said});
        // A port that does not open gives the board I/O layer's reason: a plain file is no
        // terminal.
        const std::string not_a_tty = "cannot open " + b + ": " + std::strerror(ENOTTY);
        EXPECT_EQ(o.reason, c.status == MORVEL_ZELP_ERROR_FAIL ? not_a_tty : c.said) << c.port;
        o.board.reset();
    }
    // Boards that share a serial number cannot be told apart by it, and the choice alone says so.
    sys.set_serial("1-2", "Board-A");
    const std::string twice =
        "2 supported bridges have serial number Board-A; name the port with -s";
    o = open("serial=Board-A");
    EXPECT_EQ(o.status, MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(o.message, "io_init failed: arg");
    EXPECT_EQ(o.reason, twice);
    char chosen[8];
    std::vector<std::string> said;
    morvel_zelp7x_board_failure_s f{};
    EXPECT_EQ(morvel_zelp7x_board_choose_port("serial=Board-A", chosen, sizeof chosen, keep_line,
                                              &said, &f),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(said, std::vector<std::string>{twice});
    EXPECT_EQ(std::string(f.reason), twice);
    // A port name is taken as given, and one too long for the room is refused.
    EXPECT_EQ(morvel_zelp7x_board_choose_port("COM5", chosen, sizeof chosen, nullptr, nullptr, &f),
              0);
    EXPECT_EQ(std::string(chosen), "COM5");
    EXPECT_EQ(
        morvel_zelp7x_board_choose_port(a.c_str(), chosen, sizeof chosen, nullptr, nullptr, &f),
        MORVEL_ZELP_ERROR_ARG);
}

} // namespace
