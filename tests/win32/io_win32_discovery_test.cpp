// Windows discovery against a fake machine behind the platform call table: the COM-port search
// row by row, the HID search with its usage check, what both leave open, and the interrupt wait.
#include <gtest/gtest.h>

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "io_internal.h"
#include "win32/setup_calls.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "support/board/recording_port.h"

namespace {

struct UsbDevice {
    std::string hardware_id; // empty: the property cannot be read
    std::string port_name;   // empty: no "PortName" value
    DWORD type = REG_SZ;
    bool key_opens = true;
};

struct HidDevice {
    uint16_t vid, pid, page, usage;
    bool opens = true;
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
                               PSP_DEVINFO_DATA) -> BOOL {
        const std::string path = std::to_string(iface->Reserved);
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

TEST_F(IoWin32Discovery, HidSearchOpensTheFirstAcceptedFunctionAndNothingElse) {
    // Refused: the Atmel IDs on another usage page, and a device that does not open.
    machine_.hid = {{0x2341, 0x804F, 0xFF00, 0x0001},
                    {0x2341, 0x804F, 0x000C, 0x0001, false},
                    {0x2341, 0x804F, 0xFFC0, 0x0C00},
                    {0x2341, 0x804F, 0x000C, 0x0001}};
    ztest::RecordedIo io;
    ASSERT_EQ(rawhid_open(io.handle()), 1);
    EXPECT_EQ(io.handle()->vendor, 0x2341);
    EXPECT_EQ(machine_.open, std::set{reinterpret_cast<HANDLE>(kHidBase + 2)});
    expect_all_released();
    io.handle()->hid_handle.reset();
    EXPECT_TRUE(machine_.open.empty());

    machine_.hid = {{0x2341, 0x804F, 0x0001, 0x0006}, {0x1234, 0x5678, 0xFFC0, 0x0C00}};
    EXPECT_EQ(rawhid_open(io.handle()), 0);
    EXPECT_TRUE(machine_.open.empty());
    expect_all_released();
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
