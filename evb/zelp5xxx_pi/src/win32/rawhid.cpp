// The bridge's raw HID function: found among the present HID interfaces by its IDs and top-level
// usage, and waited on with an overlapped read.
#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "bridge_discovery.h"
#include "io_internal.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "win32/device_tree.h"
#include "win32/setup_calls.h"

namespace zio {

namespace {

// Interrupt reports are short; the content does not matter, only that one came.
constexpr size_t kReportBufferSize = 128;

class Win32HidDevice final : public HidDevice {
  public:
    Win32HidDevice(HANDLE device, HANDLE rx_event, size_t report_length)
        : device_(device), rx_event_(rx_event), close_(setup_calls().close_device),
          report_(std::max(report_length, kReportBufferSize)) {}
    ~Win32HidDevice() override {
        close_(device_);
        CloseHandle(rx_event_);
    }
    Win32HidDevice(const Win32HidDevice &) = delete;
    Win32HidDevice &operator=(const Win32HidDevice &) = delete;

    int wait_report(int timeout_ms, const Reporter &report) override {
        ResetEvent(rx_event_);
        OVERLAPPED overlapped{};
        overlapped.hEvent = rx_event_;
        if (!ReadFile(device_, report_.data(), static_cast<DWORD>(report_.size()), nullptr,
                      &overlapped)) {
            if (GetLastError() != ERROR_IO_PENDING) {
                print_win32_err(report);
                return MORVEL_ZELP_ERROR_FAIL;
            }
            const DWORD wait =
                WaitForSingleObject(rx_event_, timeout_ms < 0 ? INFINITE : DWORD(timeout_ms));
            if (wait != WAIT_OBJECT_0) {
                cancel(overlapped);
                return wait == WAIT_TIMEOUT ? MORVEL_ZELP_ERROR_TIMEOUT : MORVEL_ZELP_ERROR_FAIL;
            }
        }
        DWORD n = 0;
        return GetOverlappedResult(device_, &overlapped, &n, FALSE) ? MORVEL_ZELP_ERROR_NONE
                                                                    : MORVEL_ZELP_ERROR_FAIL;
    }

  private:
    // The system may still write into the report buffer and the OVERLAPPED record until the
    // cancelled read has ended, so wait for that before either goes away.
    void cancel(OVERLAPPED &overlapped) {
        CancelIo(device_);
        DWORD n = 0;
        GetOverlappedResult(device_, &overlapped, &n, TRUE);
    }

    HANDLE device_;
    HANDLE rx_event_;
    decltype(&CloseHandle) close_;
    std::vector<uint8_t> report_;
};

// The device path of interface `iface`, or empty when it cannot be read; its device node goes into
// `device` when one is given.
std::string interface_path(const SetupCalls &os, HDEVINFO list, SP_DEVICE_INTERFACE_DATA &iface,
                           SP_DEVINFO_DATA *device = nullptr) {
    DWORD needed = 0;
    os.get_interface_detail(list, &iface, nullptr, 0, &needed, nullptr);
    if (needed <= offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath)) return {};
    // DWORD elements keep the record aligned for its size field.
    std::vector<DWORD> storage((needed + sizeof(DWORD) - 1) / sizeof(DWORD) + 1, 0);
    auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A *>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!os.get_interface_detail(list, &iface, detail, needed, nullptr, device)) return {};
    const char *path = detail->DevicePath;
    const size_t room = storage.size() * sizeof(DWORD) - (path - reinterpret_cast<char *>(detail));
    return std::string(path, strnlen(path, room));
}

// Attributes and capabilities; the preparsed data lives only as long as this call.
bool read_identity(const SetupCalls &os, HANDLE device, HIDD_ATTRIBUTES &attrib, HIDP_CAPS &caps) {
    attrib.Size = sizeof attrib;
    if (!os.get_attributes(device, &attrib)) return false;
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!os.get_preparsed_data(device, &preparsed)) return false;
    const bool ok = os.get_caps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
    os.free_preparsed_data(preparsed);
    return ok;
}

// Opens interface `path` and keeps it only when it is a supported bridge's HID function.
HANDLE open_if_supported(const SetupCalls &os, const std::string &path, HIDD_ATTRIBUTES &attrib,
                         HIDP_CAPS &caps, const Reporter &report) {
    const HANDLE device = os.open_device(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE) return device;
    const bool known = read_identity(os, device, attrib, caps);
    if (known && zelp_usb_debug) report.trace(found_hid_trace(attrib, caps));
    if (known && is_supported_hid_device(&attrib, &caps)) return device;
    os.close_device(device);
    return INVALID_HANDLE_VALUE;
}

// Attributes and capabilities of the device at `path`, opened for queries only: that needs no
// access rights and works while another process holds the device.
bool query_identity(const SetupCalls &os, const std::string &path, HIDD_ATTRIBUTES &attrib,
                    HIDP_CAPS &caps) {
    const HANDLE device = os.open_device(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return false;
    const bool known = read_identity(os, device, attrib, caps);
    os.close_device(device);
    return known;
}

} // namespace

std::vector<HidFunction> supported_hid_functions() {
    std::vector<HidFunction> found;
    const SetupCalls &os = setup_calls();
    GUID hid_class{};
    HidD_GetHidGuid(&hid_class);
    const DeviceList list(
        os, os.get_class_devs(&hid_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!list) return found;
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    for (DWORD i = 0; os.enum_device_interfaces(list.get(), nullptr, &hid_class, i, &iface); ++i) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        const std::string path = interface_path(os, list.get(), iface, &device);
        HIDD_ATTRIBUTES attrib{};
        HIDP_CAPS caps{};
        if (path.empty() || !query_identity(os, path, attrib, caps) ||
            !is_supported_hid_device(&attrib, &caps))
            continue;
        found.push_back({path, usb_device_of(os, device.DevInst)});
    }
    return found;
}

std::unique_ptr<HidDevice> hid_device_from_handle(void *handle, size_t report_length) {
    // Manual reset, signalled at first, unnamed.
    const HANDLE rx_event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (!rx_event) {
        setup_calls().close_device(handle);
        return nullptr;
    }
    return std::make_unique<Win32HidDevice>(handle, rx_event, report_length);
}

} // namespace zio

int rawhid_open(zelp_win32_io_state_s *state) {
    if (!state) return 0;
    const std::string usb_device = zio::usb_device_of_port(state->port);
    if (usb_device.empty()) return 0;
    const zio::SetupCalls &os = zio::setup_calls();
    GUID hid_class{};
    HidD_GetHidGuid(&hid_class);
    const zio::DeviceList list(
        os, os.get_class_devs(&hid_class, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!list) return 0;
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    for (DWORD i = 0; os.enum_device_interfaces(list.get(), nullptr, &hid_class, i, &iface); ++i) {
        SP_DEVINFO_DATA node{};
        node.cbSize = sizeof node;
        const std::string path = zio::interface_path(os, list.get(), iface, &node);
        if (path.empty() || zio::usb_device_of(os, node.DevInst) != usb_device) continue;
        if (zelp_usb_debug) state->report.trace("ifdetails->DevicePath = " + path);
        HIDD_ATTRIBUTES attrib{};
        HIDP_CAPS caps{};
        const HANDLE device = zio::open_if_supported(os, path, attrib, caps, state->report);
        if (device == INVALID_HANDLE_VALUE) continue;
        state->hid_handle = zio::hid_device_from_handle(device, caps.InputReportByteLength);
        if (!state->hid_handle) return 0;
        state->vendor = attrib.VendorID;
        return 1;
    }
    return 0;
}
