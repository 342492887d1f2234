// Finding the COM port of a supported bridge: each present USB device whose hardware ID names a
// supported vendor and product (and, where the row asks, the serial function's interface) is
// asked for the "PortName" under its hardware key.
#include <array>
#include <cstdio>
#include <cstring>

#include "bridge_discovery.h"
#include "io_internal.h"
#include "supported_bridges.h"
#include "win32/device_tree.h"
#include "win32/setup_calls.h"

namespace {

// The hardware-ID property is read into a buffer of this size; two NULs stay at its end so
// the first ID always ends inside it, whatever the device reports.
constexpr DWORD kHardwareIdSize = 1024;
// Port names are short ("COM" and a number); anything longer is not one.
constexpr DWORD kPortNameSize = 256;

struct RowPattern {
    std::array<char, 32> prefix{};  // "USB\VID_vvvv&PID_pppp"
    std::array<char, 8> function{}; // "MI_nn", empty without the function check
};

RowPattern pattern_of(const hid_Supported_PVID_t &row) {
    RowPattern p;
    std::snprintf(p.prefix.data(), p.prefix.size(), "USB\\VID_%04X&PID_%04X", row.vid, row.pid);
    if (row.addition_check & eCHECK_FUNC)
        std::snprintf(p.function.data(), p.function.size(), "MI_%02X", row.func);
    return p;
}

bool hardware_id_matches(const char *id, const RowPattern &p) {
    const size_t n = std::strlen(p.prefix.data());
    if (std::strncmp(id, p.prefix.data(), n) != 0) return false;
    return p.function[0] == '\0' || std::strstr(id + n, p.function.data()) != nullptr;
}

enum class PortLookup { found, not_a_port, key_unavailable };

// "PortName" under the device's hardware key: a plain string beginning with "COM".
PortLookup read_port_name(const zio::SetupCalls &os, HDEVINFO list, SP_DEVINFO_DATA &device,
                          std::array<char, kPortNameSize> &name) {
    const HKEY key = os.open_dev_reg_key(list, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) return PortLookup::key_unavailable;
    DWORD type = 0;
    DWORD size = kPortNameSize - 1; // room for a NUL the value may lack
    const LONG r = os.query_value(key, "PortName", nullptr, &type,
                                  reinterpret_cast<BYTE *>(name.data()), &size);
    os.close_key(key);
    if (r != ERROR_SUCCESS || type != REG_SZ || size < 3) return PortLookup::not_a_port;
    name[size] = '\0';
    return std::strncmp(name.data(), "COM", 3) == 0 ? PortLookup::found : PortLookup::not_a_port;
}

} // namespace

namespace zio {

RowPorts row_ports(const hid_Supported_PVID_t &row) {
    RowPorts found;
    const SetupCalls &os = setup_calls();
    const RowPattern pattern = pattern_of(row);
    const DeviceList list(
        os, os.get_class_devs(nullptr, "USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!list) return found;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; os.enum_device_info(list.get(), i, &device); ++i) {
        std::array<char, kHardwareIdSize> id{};
        if (!os.get_registry_property(list.get(), &device, SPDRP_HARDWAREID, nullptr,
                                      reinterpret_cast<BYTE *>(id.data()), kHardwareIdSize - 2,
                                      nullptr))
            continue;
        if (!hardware_id_matches(id.data(), pattern)) continue;
        std::array<char, kPortNameSize> name{};
        const PortLookup lookup = read_port_name(os, list.get(), device, name);
        if (lookup == PortLookup::key_unavailable) {
            found.key_error = static_cast<long>(GetLastError());
            return found;
        }
        if (lookup == PortLookup::not_a_port) continue;
        const std::string usb_device = usb_device_of(os, device.DevInst);
        found.ports.push_back({name.data(), serial_of(usb_device), usb_device});
    }
    return found;
}

// Port names are compared as Windows compares them, without regard to case ("com5" is COM5).
std::string usb_device_of_port(const std::string &port) {
    for (const SupportedBridge &bridge : supported_bridges)
        for (const AttachedPort &attached : row_ports(bridge.match).ports)
            if (_stricmp(attached.path.c_str(), port.c_str()) == 0) return attached.usb_device;
    return {};
}

} // namespace zio

uint32_t search_comport_pidvid(uint8_t *pszComPort, uint32_t size,
                               const hid_Supported_PVID_t *pDevInfo, const zio::Reporter &report) {
    if (!pszComPort || size == 0 || !pDevInfo) return 0;
    const zio::RowPorts row = zio::row_ports(*pDevInfo);
    for (const zio::AttachedPort &port : row.ports) {
        // A name that does not fit the caller's buffer cannot be reported; go on.
        if (port.path.size() + 1 > size) continue;
        std::memcpy(pszComPort, port.path.c_str(), port.path.size() + 1);
        return 1;
    }
    if (row.key_error)
        report.error("SetupDiOpenDevRegKey : Error=" + std::to_string(*row.key_error));
    return 0;
}
