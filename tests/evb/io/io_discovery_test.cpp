// Finding bridges in a fake sysfs tree: table order, enumeration order, the interface check, and
// the HID match on usage pages read from report descriptors.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "hid_report_descriptor.h"
#include "io_internal.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "support/board/fake_sysfs.h"
#include "support/process/board_sim_process.h"
#include "zelp_linux_io.h"
#include "zelp_usb_bridges.h"
#include "zelp_usb_devices.h"

using Bytes = std::vector<uint8_t>;

namespace {

// Report descriptors of the two Atmel HID functions and of a keyboard-like device.
const Bytes kVendorPageDescriptor = {0x06, 0xC0, 0xFF, 0x0A, 0x00, 0x0C, 0xA1, 0x01, 0x15,
                                     0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x09,
                                     0x01, 0x81, 0x02, 0x09, 0x02, 0x91, 0x02, 0xC0};
const Bytes kConsumerDescriptor = {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x02, 0x75,
                                   0x10, 0x95, 0x01, 0x09, 0xE9, 0x81, 0x02, 0xC0};
const Bytes kDesktopDescriptor = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x75,
                                  0x01, 0x95, 0x08, 0x81, 0x02, 0xC0};

using ztest::FakeSysfs;

struct Found {
    int result = 0;
    std::string port;
    uint16_t vid = 0xFFFF, pid = 0xFFFF;
    uint32_t kind = 99;
};

Found search(uint32_t size = 256) {
    Found f;
    std::vector<uint8_t> buf(size, 0);
    f.result = search_supported_hid_pidvid(buf.data(), size, &f.vid, &f.pid, &f.kind);
    if (f.result) f.port = reinterpret_cast<const char *>(buf.data());
    return f;
}

bool row_finds(int row, std::string *port = nullptr) {
    std::vector<uint8_t> buf(256, 0);
    const bool found = search_comport_pidvid(buf.data(), 256, &pidvid_list[row]) == 1;
    if (port) *port = reinterpret_cast<const char *>(buf.data());
    return found;
}

} // namespace

TEST(IoSerialDiscovery, LowestTableRowWinsOverEnumerationOrder) {
    FakeSysfs sys;
    sys.add_tty("ttyACM0", "1-1", ATMEL_VID, ATMEL_PID, 0);
    sys.add_tty("ttyACM1", "1-2", MEG381CQR_VID, MEG381CQR_PID, 0);
    const Found f = search();
    EXPECT_EQ(f.result, 1);
    EXPECT_EQ(f.port, sys.dev("ttyACM1"));
    EXPECT_EQ(f.vid, MEG381CQR_VID);
    EXPECT_EQ(f.pid, MEG381CQR_PID);
    EXPECT_EQ(f.kind, static_cast<uint32_t>(eIS_MSI_DEV));
}

TEST(IoSerialDiscovery, WithinARowTheFirstDeviceInNumericOrderWins) {
    FakeSysfs sys;
    sys.add_tty("ttyACM10", "1-1", NU_HID_VID, NU_HID_PID, 0);
    sys.add_tty("ttyACM2", "1-2", NU_HID_VID, NU_HID_PID, 0);
    sys.add_platform_tty("ttyS0");
    EXPECT_EQ(search().port, sys.dev("ttyACM2"));
}

TEST(IoSerialDiscovery, BootLoaderIsFoundOnlyWhenNoRunningBridgeIs) {
    FakeSysfs sys;
    sys.add_tty("ttyACM0", "1-1", NU_ISP_VID, NU_ISP_PID, 0);
    Found f = search();
    EXPECT_EQ(f.port, sys.dev("ttyACM0"));
    EXPECT_EQ(f.kind, static_cast<uint32_t>(eIS_MSI_BLDR));

    sys.add_tty("ttyACM1", "1-2", NU_HID_VID, NU_HID_PID, 1);
    f = search();
    EXPECT_EQ(f.port, sys.dev("ttyACM1"));
    EXPECT_EQ(f.kind, static_cast<uint32_t>(eIS_MSI_DEV));
}

TEST(IoSerialDiscovery, AtmelRowThreeWantsInterfaceTwoRowFourTakesAny) {
    {
        FakeSysfs sys;
        sys.add_tty("ttyACM0", "1-1", ATMEL_VID, ATMEL_PID, 2);
        EXPECT_TRUE(row_finds(3));
        EXPECT_TRUE(row_finds(4));
        EXPECT_EQ(search().kind, static_cast<uint32_t>(eIS_ATMEL));
    }
    {
        FakeSysfs sys;
        sys.add_tty("ttyACM0", "1-1", ATMEL_VID, ATMEL_PID, 0);
        EXPECT_FALSE(row_finds(3));
        std::string port;
        EXPECT_TRUE(row_finds(4, &port));
        EXPECT_EQ(port, sys.dev("ttyACM0"));
    }
}

TEST(IoSerialDiscovery, NothingFoundLeavesTheOutputsAloneAndInitSaysSo) {
    FakeSysfs sys;
    sys.add_tty("ttyUSB0", "1-1", 0x0403, 0x6001, 0);
    sys.add_platform_tty("ttyS0");
    const Found f = search();
    EXPECT_EQ(f.result, 0);
    EXPECT_EQ(f.vid, 0xFFFF);
    EXPECT_EQ(f.kind, 99u);

    // Without a port name the open looks for a bridge itself.
    zelp_io_init_args args{};
    morvel_evb_io_handle_t d = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(zelp_linux_io_init(&args, &d), MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ZELP USB device not found\n");
    EXPECT_EQ(d, nullptr);
}

TEST(IoSerialDiscovery, APathThatDoesNotFitTheBufferIsPassedOver) {
    FakeSysfs sys;
    sys.add_tty("ttyACM0", "1-1", NU_HID_VID, NU_HID_PID, 0);
    EXPECT_EQ(search(static_cast<uint32_t>(sys.dev("ttyACM0").size())).result, 0);
    EXPECT_EQ(search(static_cast<uint32_t>(sys.dev("ttyACM0").size() + 1)).result, 1);
}

// The listing goes row by row as the search does, so its first record is the search's port; the
// capacity bounds only what is written, not the count.
TEST(IoBridgeList, FirstIsTheSearchsChoiceAndTheCountIsWhole) {
    FakeSysfs sys;
    sys.add_tty("ttyACM0", "1-1", ATMEL_VID, ATMEL_PID, 2);
    sys.add_tty("ttyACM1", "1-2", NU_ISP_VID, NU_ISP_PID, 0);
    sys.add_tty("ttyACM2", "1-3", NU_HID_VID, NU_HID_PID, 0);
    zelp_io_bridge_s bridges[2] = {};
    bridges[1].vid = 0xABCD;
    int count = 0;
    ASSERT_EQ(zelp_linux_io_list_bridges(bridges, 1, &count), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(bridges[0].port, search().port);
    EXPECT_STREQ(bridges[0].kind, "bridge");
    EXPECT_EQ(bridges[1].vid, 0xABCD);
    EXPECT_EQ(zelp_linux_io_list_bridges(nullptr, 0, &count), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(zelp_linux_io_list_bridges(nullptr, 1, &count), MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(zelp_linux_io_list_bridges(bridges, -1, &count), MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(zelp_linux_io_list_bridges(bridges, 1, nullptr), MORVEL_ZELP_ERROR_ARG);
}

TEST(IoHidMatch, AtmelFunctionsOnEitherPageAndOtherRowsByTheirIds) {
    const auto match = [](uint16_t vid, uint16_t pid, uint16_t page, uint16_t usage) {
        HIDD_ATTRIBUTES a{sizeof(HIDD_ATTRIBUTES), vid, pid, 0};
        HIDP_CAPS c{usage, page, 0};
        return is_supported_hid_device(&a, &c);
    };
    EXPECT_EQ(match(ATMEL_VID, ATMEL_PID, 0x000C, 0x0001), eIS_ATMEL);
    EXPECT_EQ(match(ATMEL_VID, ATMEL_PID, 0xFFC0, 0x0C00), eIS_ATMEL);
    EXPECT_EQ(match(ATMEL_VID, ATMEL_PID, 0x0001, 0x0006), 0);
    EXPECT_EQ(match(ATMEL_VID, ATMEL_PID, 0x000C, 0x0C00), 0);
    // Rows without the usage check take any function of their IDs.
    EXPECT_EQ(match(NU_HID_VID, NU_HID_PID, 0x1234, 0x5678), eIS_MSI_DEV);
    EXPECT_EQ(match(0x0403, 0x6001, 0x000C, 0x0001), 0);
    EXPECT_EQ(is_supported_hid_device(nullptr, nullptr), 0);
    // Without a function to check, IDs alone give the first matching row's kind.
    EXPECT_EQ(is_supported_pidvid(NU_ISP_VID, NU_ISP_PID), eIS_MSI_BLDR);
    EXPECT_EQ(is_supported_pidvid(ATMEL_VID, ATMEL_PID), eIS_ATMEL);
    EXPECT_EQ(is_supported_pidvid(0x0416, 0x0001), 0);
}

TEST(IoHidDescriptor, TopLevelUsageAndInputLengthAreRead) {
    struct top {
        Bytes descriptor;
        uint16_t page, usage, input_length;
    };
    const top tops[] = {
        {kVendorPageDescriptor, 0xFFC0, 0x0C00, 65},
        {kConsumerDescriptor, 0x000C, 0x0001, 3},
        // Long items are skipped whole; an extended usage names its own page.
        {{0xFE, 0x02, 0x10, 0xAA, 0xBB, 0x0B, 0x01, 0x00, 0x0C, 0x00, 0xA1, 0x01}, 0x000C, 1, 0},
        // Even when that page is 0: the Usage Page in effect does not apply to an extended usage.
        {{0x05, 0x0C, 0x0B, 0x01, 0x00, 0x00, 0x00, 0xA1, 0x01}, 0x0000, 0x0001, 0},
    };
    for (const top &t : tops) {
        const auto parsed = zio::parse_hid_report_descriptor(t.descriptor);
        ASSERT_TRUE(parsed) << t.page;
        EXPECT_EQ(parsed->usage_page, t.page);
        EXPECT_EQ(parsed->usage, t.usage);
        EXPECT_EQ(parsed->input_report_length, t.input_length) << t.page;
    }
}

TEST(IoHidDescriptor, HugeDeclaredReportsSaturateInsteadOfWrapping) {
    // Report Size and Report Count of 2^31 each: four such inputs are 2^64 bits.
    Bytes huge = {0x77, 0x00, 0x00, 0x00, 0x80, 0x97, 0x00, 0x00, 0x00, 0x80};
    for (int i = 0; i < 4; ++i) huge.insert(huge.end(), {0x81, 0x02});
    auto top = zio::parse_hid_report_descriptor(huge);
    ASSERT_TRUE(top);
    EXPECT_EQ(top->input_report_length, 0xFFFF);
}

TEST(IoHidDescriptor, TruncatedItemsAreRefused) {
    EXPECT_FALSE(zio::parse_hid_report_descriptor(Bytes{0x06, 0xC0}));
    EXPECT_FALSE(zio::parse_hid_report_descriptor(Bytes{0xFE, 0x05, 0x00, 0x01}));
    EXPECT_FALSE(zio::parse_hid_report_descriptor(Bytes{0xFE}));
    EXPECT_TRUE(zio::parse_hid_report_descriptor(Bytes{}));
}

// Whether another process could take the node now: the search keeps the node it opened locked.
bool held(const std::string &node) {
    const int fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool taken = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return taken;
}

// The interrupt report of one board says nothing of another's chip, so only the raw HID function
// on the opened port's own USB device will do, even when another board's comes first.
TEST(IoHidSearch, OpensTheFunctionOnThePortsOwnUsbDeviceOnly) {
    FakeSysfs sys;
    sys.add_tty("ttyACM0", "1-1", NU_HID_VID, NU_HID_PID, 0);
    sys.add_hidraw("hidraw0", "1-1", NU_HID_VID, NU_HID_PID, kVendorPageDescriptor);
    sys.add_tty("ttyACM1", "1-2", NU_HID_VID, NU_HID_PID, 0);
    sys.add_hidraw("hidraw1", "1-2", NU_HID_VID, NU_HID_PID, kVendorPageDescriptor);
    sys.add_tty("ttyACM2", "1-3", ATMEL_VID, ATMEL_PID, 0);
    sys.add_hidraw("hidraw2", "1-3", ATMEL_VID, ATMEL_PID, kDesktopDescriptor); // refused
    sys.add_hidraw("hidraw3", "1-3", ATMEL_VID, ATMEL_PID, kVendorPageDescriptor);
    sys.add_platform_tty("ttyS0");
    sys.link_dev("serial-by-id-board0", "ttyACM0"); // as udev's /dev/serial/by-id links
    const std::string nodes[] = {"hidraw0", "hidraw1", "hidraw2", "hidraw3"};
    const struct {
        std::string port;
        std::string opened; // empty: none
    } cases[] = {
        {sys.dev("ttyACM1"), "hidraw1"},
        {sys.dev("serial-by-id-board0"), "hidraw0"},
        {sys.dev("ttyACM2"), "hidraw3"},
        {sys.dev("ttyS0"), ""}, // a port on no USB device has no HID function
        {"sim", ""},
        {"", ""},
    };
    for (const auto &c : cases) {
        zelp_win32_io_state_s state;
        state.port = c.port;
        EXPECT_EQ(rawhid_open(&state), c.opened.empty() ? 0 : 1) << c.port;
        for (const std::string &node : nodes)
            EXPECT_EQ(held(sys.dev(node)), node == c.opened) << c.port << " " << node;
    }

    // Held by another process, the port's own function is not swapped for another board's.
    const int other = ::open(sys.dev("hidraw1").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    zelp_win32_io_state_s state;
    state.port = sys.dev("ttyACM1");
    EXPECT_EQ(rawhid_open(&state), 0);
    EXPECT_FALSE(held(sys.dev("hidraw0")));
    ::close(other);
}

TEST(IoHidSearch, TraceNamesEachFunctionTriedOnThePortsDevice) {
    FakeSysfs sys;
    sys.add_tty("ttyACM0", "1-1", ATMEL_VID, ATMEL_PID, 0);
    sys.add_hidraw("hidraw0", "1-1", ATMEL_VID, ATMEL_PID, kDesktopDescriptor);
    sys.add_hidraw("hidraw1", "1-1", ATMEL_VID, ATMEL_PID, kVendorPageDescriptor);
    zelp_win32_io_state_s state;
    state.port = sys.dev("ttyACM0");
    zelp_usb_debug = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(rawhid_open(&state), 1);
    const std::string trace = testing::internal::GetCapturedStdout();
    zelp_usb_debug = 0;
    EXPECT_TRUE(state.hid_handle);
    EXPECT_EQ(state.vendor, ATMEL_VID);
    EXPECT_NE(trace.find("ifdetails->DevicePath = " + sys.dev("hidraw0")), std::string::npos);
    EXPECT_NE(trace.find("ifdetails->DevicePath = " + sys.dev("hidraw1")), std::string::npos);
    EXPECT_NE(trace.find("Found vid=2341  pid=804f versionNumber=102 usagepage=FFC0 usage=c00 "
                         "reportlen = 65\n"),
              std::string::npos)
        << trace;
}

TEST(IoInterruptSetUp, InitAsksForTheHidDeviceOnlyWhenInterruptsAreWanted) {
    FakeSysfs sys;
    sys.add_hidraw("hidraw0", "1-1", ATMEL_VID, ATMEL_PID, kConsumerDescriptor);
    zelp_io_init_args args{};
    morvel_evb_io_handle_t d = nullptr;

    // A simulated board has no raw HID function: the open fails as a whole and says why, in
    // order, though another device's function is there.
    std::string port = "sim";
    args.spidev = port.data();
    args.usb_int_enable = 1;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_EQ(zelp_linux_io_init(&args, &d), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error calling io_usb_hidraw_open\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error opening RAW HID device\nerror initializing for interrupt over USB\n");
    EXPECT_EQ(d, nullptr);

    // A bridge's tty on the same USB device as the function: the wait has a device to wait on.
    ztest::BoardSimProcess board(ZELP_BOARD_SIM_BIN);
    ASSERT_TRUE(board.running());
    sys.add_tty("ttyACM0", "1-1", ATMEL_VID, ATMEL_PID, 2);
    sys.link_dev("ttyACM0", board.pty_path());
    port = sys.dev("ttyACM0");
    args.spidev = port.data();
    ASSERT_EQ(zelp_linux_io_init(&args, &d), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(args.device_type, ZELP_IO_DEVICE_TYPE_USB);
    EXPECT_TRUE(held(sys.dev("hidraw0")));
    EXPECT_EQ(zelp_linux_io_wait(d, 0, 0), MORVEL_ZELP_ERROR_NONE) << "a plain file always reads";
    EXPECT_EQ(zelp_linux_io_uninit(d), MORVEL_ZELP_ERROR_NONE);

    // Without interrupts no HID device is opened and the wait is not set up.
    args.usb_int_enable = 0;
    ASSERT_EQ(zelp_linux_io_init(&args, &d), MORVEL_ZELP_ERROR_NONE);
    EXPECT_FALSE(held(sys.dev("hidraw0")));
    EXPECT_EQ(zelp_linux_io_wait(d, 0, 0), MORVEL_ZELP_ERROR_UNINIT);
    EXPECT_EQ(zelp_linux_io_uninit(d), MORVEL_ZELP_ERROR_NONE);
}

TEST(IoGuid, TextHasNoBracesAndUpperCaseDigits) {
    const GUID id{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
    char out[37];
    EXPECT_STREQ(guid_to_str(&id, out), "4D1E55B2-F16F-11CF-88CB-001111000030");
}
