// Windows discovery against a fake machine behind the platform call table: the COM-port search
// row by row, the HID search with its usage check, what both leave open, and the interrupt wait.
#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bridges.h"
#include "io_internal.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "support/board/recording_port.h"
#include "win32/setup_calls.h"
#include "zelp_usb_bridges.h"

namespace {

struct UsbDevice {
    std::string hardware_id; // empty: the property cannot be read
    std::string port_name;   // empty: no "PortName" value
    DWORD type = REG_SZ;
    bool key_opens = true;
    std::string instance_id{}; // empty: the device tree does not know it
    int parent = -1;           // index into Machine::usb, -1: none
};

struct HidDevice {
    uint16_t vid, pid, page, usage;
    bool opens = true;
    int parent = -1; // index into Machine::usb
};

// The machine the fake calls answer for. A handle is a base per kind plus the device's index, so
// the fake knows which device each one means and which are still open.
struct Machine {
    std::vector<UsbDevice> usb;
    std::vector<HidDevice> hid;
    int lists = 0, keys = 0, preparsed = 0;
    std::set<HANDLE> open;
} *machine = nullptr;

constexpr uintptr_t kKeyBase = 0x100, kHidBase = 0x1000;
// Device nodes: a USB device's is its index, a HID interface's this base plus its index.
constexpr DEVINST kHidNode = 0x10000;

template <class T>
size_t index_of(T handle, uintptr_t base) {
    return reinterpret_cast<uintptr_t>(handle) - base;
}

const zio::SetupCalls kFakeCalls = {
    .get_class_devs = [](const GUID *, PCSTR, HWND, DWORD) -> HDEVINFO {
        ++machine->lists;
        return reinterpret_cast<HDEVINFO>(1);
    },
    .enum_device_info = [](HDEVINFO, DWORD i, PSP_DEVINFO_DATA device) -> BOOL {
        device->DevInst = i;
        return i < machine->usb.size();
    },
    .enum_device_interfaces = [](HDEVINFO, PSP_DEVINFO_DATA, const GUID *, DWORD i,
                                 PSP_DEVICE_INTERFACE_DATA iface) -> BOOL {
        iface->Reserved = i;
        return i < machine->hid.size();
    },
    // The device path is the interface's index.
    .get_interface_detail = [](HDEVINFO, PSP_DEVICE_INTERFACE_DATA iface,
                               PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size, PDWORD needed,
                               PSP_DEVINFO_DATA device) -> BOOL {
        const std::string path = std::to_string(iface->Reserved);
        if (device) device->DevInst = kHidNode + static_cast<DEVINST>(iface->Reserved);
        const DWORD whole =
            offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1;
        if (needed) *needed = whole;
        if (!detail || size < whole) return FALSE;
        std::copy(path.c_str(), path.c_str() + path.size() + 1, detail->DevicePath);
        return TRUE;
    },
    .destroy_list = [](HDEVINFO) -> BOOL { return --machine->lists, TRUE; },
    .get_registry_property = [](HDEVINFO, PSP_DEVINFO_DATA device, DWORD, PDWORD, PBYTE buffer,
                                DWORD size, PDWORD) -> BOOL {
        const std::string &id = machine->usb[device->DevInst].hardware_id;
        if (id.empty() || id.size() + 2 > size) return FALSE;
        std::copy(id.c_str(), id.c_str() + id.size() + 1, buffer);
        buffer[id.size() + 1] = 0; // a list of strings ends in two NULs
        return TRUE;
    },
    .open_dev_reg_key =
        [](HDEVINFO, PSP_DEVINFO_DATA device, DWORD, DWORD, DWORD, REGSAM) {
            if (!machine->usb[device->DevInst].key_opens) {
                SetLastError(ERROR_ACCESS_DENIED);
                return reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
            }
            ++machine->keys;
            return reinterpret_cast<HKEY>(kKeyBase + device->DevInst);
        },
    // Stored without its NUL, as the registry allows.
    .query_value = [](HKEY key, LPCSTR, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) -> LONG {
        const std::string &name = machine->usb[index_of(key, kKeyBase)].port_name;
        if (name.empty()) return ERROR_FILE_NOT_FOUND;
        if (name.size() > *size) return ERROR_MORE_DATA;
        *type = machine->usb[index_of(key, kKeyBase)].type;
        *size = static_cast<DWORD>(name.size());
        std::copy(name.begin(), name.end(), data);
        return ERROR_SUCCESS;
    },
    .close_key = [](HKEY) -> LONG { return --machine->keys, ERROR_SUCCESS; },
    .open_device =
        [](LPCSTR path, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
            const size_t i = std::stoul(path);
            if (!machine->hid[i].opens) return INVALID_HANDLE_VALUE;
            return *machine->open.insert(reinterpret_cast<HANDLE>(kHidBase + i)).first;
        },
    .close_device = [](HANDLE handle) -> BOOL { return machine->open.erase(handle) == 1; },
    .get_attributes = [](HANDLE handle, PHIDD_ATTRIBUTES attrib) -> BOOLEAN {
        attrib->VendorID = machine->hid[index_of(handle, kHidBase)].vid;
        attrib->ProductID = machine->hid[index_of(handle, kHidBase)].pid;
        return TRUE;
    },
    .get_preparsed_data = [](HANDLE handle, PHIDP_PREPARSED_DATA *data) -> BOOLEAN {
        *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(handle);
        return ++machine->preparsed, TRUE;
    },
    .get_caps = [](PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps) -> NTSTATUS {
        caps->UsagePage = machine->hid[index_of(data, kHidBase)].page;
        caps->Usage = machine->hid[index_of(data, kHidBase)].usage;
        return HIDP_STATUS_SUCCESS;
    },
    .free_preparsed_data = [](PHIDP_PREPARSED_DATA) -> BOOLEAN {
        return --machine->preparsed, TRUE;
    },
    .get_parent = [](PDEVINST parent, DEVINST node, ULONG) -> CONFIGRET {
        const int p =
            node >= kHidNode ? machine->hid[node - kHidNode].parent : machine->usb[node].parent;
        if (p < 0) return CR_NO_SUCH_DEVNODE;
        *parent = static_cast<DEVINST>(p);
        return CR_SUCCESS;
    },
    .get_device_id = [](DEVINST node, PCHAR buffer, ULONG size, ULONG) -> CONFIGRET {
        const std::string id = node >= kHidNode ? "HID\\VID_2341&PID_804F\\8&1&0&0000"
                                                : machine->usb[node].instance_id;
        if (id.empty()) return CR_NO_SUCH_DEVNODE;
        if (id.size() + 1 > size) return CR_BUFFER_SMALL;
        std::copy(id.c_str(), id.c_str() + id.size() + 1, buffer);
        return CR_SUCCESS;
    },
};

class IoWin32Discovery : public testing::Test {
  protected:
    IoWin32Discovery() {
        machine = &machine_;
        zio::set_setup_calls(kFakeCalls);
    }
    ~IoWin32Discovery() override {
        zio::set_setup_calls(zio::system_setup_calls());
        machine = nullptr;
    }

    // The port found and the row's IDs and kind, as "COM4 2341:804F 3", or "none".
    std::string search() {
        uint8_t port[32] = "untouched";
        uint16_t vid = 0, pid = 0;
        uint32_t kind = 0;
        if (!search_supported_hid_pidvid(port, sizeof port, &vid, &pid, &kind)) return "none";
        char ids[32];
        std::snprintf(ids, sizeof ids, " %04X:%04X %u", vid, pid, static_cast<unsigned>(kind));
        return reinterpret_cast<char *>(port) + std::string(ids);
    }

    // Nothing the searches opened is left open.
    void expect_all_released() const {
        EXPECT_EQ(machine_.lists, 0);
        EXPECT_EQ(machine_.keys, 0);
        EXPECT_EQ(machine_.preparsed, 0);
    }

    Machine machine_;
};

const std::string kMsi = "USB\\VID_1462&PID_3EA4", kNuvoton = "USB\\VID_0416&PID_5020",
                  kBootLoader = "USB\\VID_0416&PID_3F00", kAtmel = "USB\\VID_2341&PID_804F";

TEST_F(IoWin32Discovery, ComPortSearchGoesRowByRowThenDeviceByDevice) {
    struct Case {
        const char *what;
        std::vector<UsbDevice> usb;
        std::string found;
        std::string message = "";
    };
    const Case cases[] = {
        {"row 3 wants the Atmel serial function on interface 2",
         {{kAtmel + "&MI_00", "COM5"}, {kAtmel + "&MI_02", "COM6"}},
         "COM6 2341:804F 3"},
        {"row 4 takes the Atmel bridge on any interface",
         {{kAtmel + "&MI_00", "COM5"}},
         "COM5 2341:804F 3"},
        {"the boot loader only when no running bridge has a port",
         {{kBootLoader, "COM3"}, {kNuvoton, "COM8"}},
         "COM8 0416:5020 2"},
        {"a boot loader alone", {{kBootLoader, "COM3"}}, "COM3 0416:3F00 1"},
        {"names that are no COM port, values that are no string and unreadable IDs are passed "
         "over",
         {{kMsi, "LPT1"}, {kMsi, "COM2", REG_EXPAND_SZ}, {"", "COM9"}, {kMsi, ""}, {kMsi, "COM12"}},
         "COM12 1462:3EA4 2"},
        {"a key that cannot be opened ends its row",
         {{kMsi, "COM2", REG_SZ, false}, {kMsi, "COM3"}, {kNuvoton, "COM7"}},
         "COM7 0416:5020 2",
         "SetupDiOpenDevRegKey : Error=5\n"},
        {"no supported device", {{"USB\\VID_1234&PID_5678", "COM1"}}, "none"},
    };
    for (const Case &c : cases) {
        machine_.usb = c.usb;
        testing::internal::CaptureStderr();
        EXPECT_EQ(search(), c.found) << c.what;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.what;
        expect_all_released();
    }
}

// The listing pairs each port with the serial number in its USB device's instance ID (the
// parent's, for a function of a composite device) and with the HID function below that device.
TEST_F(IoWin32Discovery, ListingNamesSerialNumbersAndHidFunctionsAndChoosesByThem) {
    machine_.usb = {
        {kAtmel, "", REG_SZ, true, kAtmel + "\\AT2"}, // the composite device
        {kAtmel + "&MI_02", "COM6", REG_SZ, true, kAtmel + "&MI_02\\7&1&0&0002", 0},
        {kAtmel + "&MI_00", "", REG_SZ, true, kAtmel + "&MI_00\\7&1&0&0000", 0},
        // Windows makes up the last part for a device without a serial number.
        {kNuvoton, "COM8", REG_SZ, true, kNuvoton + "\\5&2A&0&3"},
        {kMsi, "COM2", REG_SZ, true, kMsi + "\\M1"},
    };
    machine_.hid = {{0x2341, 0x804F, 0x0001, 0x0006, true, 2}, // refused: a keyboard
                    {0x2341, 0x804F, 0x000C, 0x0001, true, 2},
                    {0x0416, 0x5020, 0xFF00, 0x0001, true, 3}};
    zelp_io_bridge_s bridges[4] = {};
    int count = 0;
    ASSERT_EQ(zelp_linux_io_list_bridges(bridges, 4, &count), MORVEL_ZELP_ERROR_NONE);
    ASSERT_EQ(count, 3);
    std::string lines;
    for (int i = 0; i < count; ++i) lines += bridge_line(bridges[i]) + "\n";
    EXPECT_EQ(lines, "COM2 1462:3ea4 bridge serial=M1\nCOM8 0416:5020 bridge hid=2\n"
                     "COM6 2341:804f atmel serial=AT2 hid=1\n");
    EXPECT_EQ(search(), "COM2 1462:3EA4 2");
    EXPECT_TRUE(machine_.open.empty());
    expect_all_released();

    std::optional<std::string> port = "serial=at2";
    EXPECT_EQ(choose_bridge(port).status, MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(port, "COM6");
    port.reset();
    EXPECT_EQ(choose_bridge(port).note,
              "using COM2, the first of 3 supported bridges (--list shows them)");
}

// Only the HID function under the opened port's own USB device tells of that board's chip; the
// refused ones are closed again.
TEST_F(IoWin32Discovery, HidSearchOpensTheFunctionOfThePortsOwnDeviceAndNothingElse) {
    machine_.usb = {
        {kAtmel, "", REG_SZ, true, kAtmel + "\\AT1"}, // board 1, composite
        {kAtmel + "&MI_00", "COM5", REG_SZ, true, kAtmel + "&MI_00\\7&1&0&0000", 0},
        {kAtmel + "&MI_03", "", REG_SZ, true, kAtmel + "&MI_03\\7&1&0&0003", 0},
        {kAtmel, "", REG_SZ, true, kAtmel + "\\AT2"}, // board 2
        {kAtmel + "&MI_00", "COM6", REG_SZ, true, kAtmel + "&MI_00\\7&2&0&0000", 3},
        {kAtmel + "&MI_03", "", REG_SZ, true, kAtmel + "&MI_03\\7&2&0&0003", 3},
    };
    machine_.hid = {{0x2341, 0x804F, 0xFFC0, 0x0C00, true, 2},  // board 1's, found first
                    {0x2341, 0x804F, 0xFF00, 0x0001, true, 5},  // refused: another usage page
                    {0x2341, 0x804F, 0x000C, 0x0001, false, 5}, // does not open
                    {0x2341, 0x804F, 0xFFC0, 0x0C00, true, 5}};
    const struct {
        const char *port;
        int opened; // index into machine_.hid, -1: none
    } cases[] = {{"com6", 3}, {"COM5", 0}, {"COM9", -1}, {"", -1}};
    for (const auto &c : cases) {
        ztest::RecordedIo io;
        io.handle()->port = c.port;
        ASSERT_EQ(rawhid_open(io.handle()), c.opened >= 0 ? 1 : 0) << c.port;
        if (c.opened >= 0) {
            EXPECT_EQ(io.handle()->vendor, 0x2341);
            EXPECT_EQ(machine_.open, std::set{reinterpret_cast<HANDLE>(kHidBase + c.opened)})
                << c.port;
        }
        expect_all_released();
        io.handle()->hid_handle.reset();
        EXPECT_TRUE(machine_.open.empty()) << c.port;
    }
}

// A pipe stands in for the HID device: an overlapped read on it stays pending until bytes come.
TEST(IoWin32Wait, TimesOutAtOnceWithoutAReportAndEndsWhenOneComes) {
    const char *name = "\\\\.\\pipe\\zelp_hid_wait_test";
    const HANDLE server = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                           PIPE_TYPE_BYTE, 1, 128, 128, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    const HANDLE client = CreateFileA(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    ztest::RecordedIo io;
    io.handle()->hid_handle = zio::hid_device_from_handle(server, 64);

    const DWORD start = GetTickCount();
    EXPECT_EQ(zelp_linux_io_wait(io.handle(), 0, 0), MORVEL_ZELP_ERROR_TIMEOUT);
    EXPECT_LT(GetTickCount() - start, 500u);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(client, "!", 1, &written, nullptr));
    EXPECT_EQ(zelp_win32_io_usb_wait(io.handle(), 5000), MORVEL_ZELP_ERROR_NONE);
    CloseHandle(client);
}

} // namespace
