// How the board tools show the attached bridges: --list of both tools against a fake sysfs tree.
// (The port that -s serial=S or the search takes is the board library's, tested there.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

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

} // namespace
