// How the board tools show the attached bridges and choose one: --list of both tools against a
// fake sysfs tree, and the port that -s serial=S or the search takes, opened for real on a
// simulated board behind it.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "board_open.h"
#include "bridges.h"
#include "host_run.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "options.h"
#include "support/board/fake_sysfs.h"
#include "support/process/tool_process.h"
#include "zelp_usb_devices.h"

namespace {

using namespace testing::internal;
using Bytes = std::vector<uint8_t>;

// The top-level usages of an Atmel HID function on the vendor page, on the consumer page, and of
// a keyboard.
const Bytes kVendorPage = {0x06, 0xC0, 0xFF, 0x0A, 0x00, 0x0C, 0xA1, 0x01, 0xC0};
const Bytes kConsumerPage = {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0xC0};
const Bytes kKeyboard = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0xC0};

struct Printed {
    int status;
    std::string out, err;
};

template <class F>
Printed printed(F run) {
    CaptureStdout();
    CaptureStderr();
    const int status = run();
    std::string out = GetCapturedStdout();
    return {status, out, GetCapturedStderr()};
}

// Both tools' --list, which must agree.
Printed list_with_both_tools() {
    std::vector<std::string> args = {"zelp7x_flash", "--list"};
    std::vector<char *> argv = {args[0].data(), args[1].data(), nullptr};
    run_options run;
    const Printed flash = printed(
        [&] { return parse_options(2, argv.data(), run) == parse_outcome::exit_success ? 0 : 1; });
    args[0] = "zelp7x_host";
    argv = {args[0].data(), args[1].data(), nullptr};
    const Printed host = printed([&] { return run_zelp7x_host(2, argv.data()); });
    EXPECT_EQ(host.status, flash.status);
    EXPECT_EQ(host.out, flash.out);
    EXPECT_EQ(host.err, flash.err);
    return flash;
}

TEST(ToolBridgeList, OneLinePerBridgeInTheOrderTheSearchTakesThem) {
    ztest::FakeSysfs sys;
    sys.add_tty("ttyUSB0", "1-6", 0x0403, 0x6001, 0);
    sys.add_platform_tty("ttyS0");
    EXPECT_EQ(list_with_both_tools().err, "no supported bridge found\n");
    EXPECT_EQ(list_with_both_tools().status, 1);

    sys.add_tty("ttyACM0", "1-1", ATMEL_VID, ATMEL_PID, 0); // row 4 only
    sys.set_serial("1-1", "AT-1");
    sys.add_hidraw("hidraw0", "1-1", ATMEL_VID, ATMEL_PID, kVendorPage);
    sys.add_tty("ttyACM1", "1-2", NU_HID_VID, NU_HID_PID, 1);            // no serial number
    sys.add_hidraw("hidraw1", "1-2", NU_HID_VID, NU_HID_PID, kKeyboard); // no usage check
    sys.add_tty("ttyACM2", "1-3", NU_ISP_VID, NU_ISP_PID, 0);
    sys.set_serial("1-3", "BL");
    sys.add_tty("ttyACM4", "1-4", ATMEL_VID, ATMEL_PID, 2); // rows 3 and 4, listed once
    sys.set_serial("1-4", "AT-2");
    sys.add_hidraw("hidraw2", "1-4", ATMEL_VID, ATMEL_PID, kKeyboard); // refused
    sys.add_hidraw("hidraw3", "1-4", ATMEL_VID, ATMEL_PID, kConsumerPage);
    sys.add_tty("ttyACM3", "1-5", MEG381CQR_VID, MEG381CQR_PID, 0);
    sys.set_serial("1-5", "M1");
    const Printed p = list_with_both_tools();
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.out, sys.dev("ttyACM3") + " 1462:3ea4 bridge serial=M1\n" + sys.dev("ttyACM1") +
                         " 0416:5020 bridge hid=" + sys.dev("hidraw1") + "\n" + sys.dev("ttyACM2") +
                         " 0416:3f00 boot-loader serial=BL\n" + sys.dev("ttyACM4") +
                         " 2341:804f atmel serial=AT-2 hid=" + sys.dev("hidraw3") + "\n" +
                         sys.dev("ttyACM0") +
                         " 2341:804f atmel serial=AT-1 hid=" + sys.dev("hidraw0") + "\n");
    EXPECT_EQ(p.err, "");
}

struct Opened {
    int status;
    std::string port; // the port name the settings hold after the choice
    std::string err;
};

Opened open_board(std::optional<std::string> port) {
    board_settings settings;
    settings.spi_dev = std::move(port);
    morvel_evb_io_handle_t io = nullptr;
    int type = 0;
    CaptureStdout();
    CaptureStderr();
    const int status = open_board_io(settings, io, type);
    GetCapturedStdout();
    Opened o{status, settings.spi_dev.value_or(""), GetCapturedStderr()};
    zelp_linux_io_uninit(io);
    return o;
}

TEST(ToolBridgeChoice, SerialNumberOrSearchChoosesThePortThatIsOpened) {
    const ztest::TempDir dir("bridge_choice");
    const ztest::BoardDaemon daemon(ZELP_BOARD_SIM_BIN, dir.path(), dir.path() / "flash.bin");
    if (daemon.port().empty()) GTEST_SKIP() << "build zelp7x_board_sim first";
    ztest::FakeSysfs sys;
    // The bridge the search takes (row 0) leads to the simulated board.
    sys.add_tty("ttyACM5", "1-1", MEG381CQR_VID, MEG381CQR_PID, 0);
    sys.set_serial("1-1", "Board-A");
    sys.link_dev("ttyACM5", daemon.port());
    const std::string a = sys.dev("ttyACM5"), b = sys.dev("ttyACM1");

    // With one bridge nothing more is said.
    Opened o = open_board(std::nullopt);
    EXPECT_EQ(o.status, MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(o.err, "");

    // A second one, whose node is no terminal, so opening it would fail.
    sys.add_tty("ttyACM1", "1-2", NU_HID_VID, NU_HID_PID, 0);
    sys.set_serial("1-2", "board-b");
    o = open_board(std::nullopt);
    EXPECT_EQ(o.status, MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(o.err, "using " + a + ", the first of 2 supported bridges (--list shows them)\n");

    o = open_board("serial=board-a"); // in any case, as Windows keeps serial numbers upper case
    EXPECT_EQ(o.status, MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(o.port, a);
    EXPECT_EQ(o.err, "");
    o = open_board("serial=BOARD-A,pipeline=8"); // board parameters follow as on a port
    EXPECT_EQ(o.status, MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(o.port, a + ",pipeline=8");
    o = open_board("serial=board-b");
    EXPECT_EQ(o.status, MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(o.err.rfind("Error in opening serial port\ncannot open " + b + ": ", 0), 0u) << o.err;

    o = open_board("serial=board");
    EXPECT_EQ(o.status, MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(o.err, "no supported bridge has serial number board (--list shows them)\n");
    // Boards that share a serial number cannot be told apart by it.
    sys.set_serial("1-2", "Board-A");
    o = open_board("serial=Board-A");
    EXPECT_EQ(o.status, MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(o.err, "2 supported bridges have serial number Board-A; name the port with -s\n");

    // A port name is taken as given.
    o = open_board(a);
    EXPECT_EQ(o.status, MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(o.err, "");
}

} // namespace
