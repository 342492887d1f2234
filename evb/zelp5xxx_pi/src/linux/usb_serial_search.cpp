// Finding the ttys of supported bridges: each tty in /sys/class/tty whose device sits on a USB
// interface is traced up to its USB device, whose IDs decide.
#include <cstring>
#include <filesystem>
#include <system_error>

#include "bridge_discovery.h"
#include "byte_port.h"
#include "io_internal.h"
#include "linux/sysfs.h"
#include "sysfs_root.h"

namespace fs = std::filesystem;

namespace zio {

namespace {

// Links followed from a port's name to its tty before giving up.
constexpr int kMaxLinkHops = 8;

bool row_accepts(const hid_Supported_PVID_t &row, const UsbDeviceDir &usb) {
    if (usb.vid != row.vid || usb.pid != row.pid) return false;
    if (row.addition_check & eCHECK_FUNC) return usb.interface_number == row.func;
    return true;
}

} // namespace

RowPorts row_ports(const hid_Supported_PVID_t &row) {
    RowPorts found;
    const SysfsRoot &root = sysfs_root();
    std::error_code ec;
    const fs::path sys = fs::canonical(root.sys, ec);
    if (ec) return found;
    const fs::path class_dir = sys / "class" / "tty";
    for (const std::string &name : sorted_entries(class_dir)) {
        const auto usb = usb_device_above(class_dir / name / "device", sys);
        if (!usb || !row_accepts(row, *usb)) continue;
        // The kernel leaves the attribute out when the device reports no serial number.
        found.ports.push_back({root.dev + "/" + name,
                               read_attribute(usb->dir / "serial").value_or(""),
                               usb->dir.string()});
    }
    return found;
}

// The name is followed through links (/dev/serial/by-id/...) until it names a tty that sysfs
// knows, so a link to a terminal elsewhere still counts as the tty it is found under.
std::string usb_device_of_port(const std::string &port) {
    const SysfsRoot &root = sysfs_root();
    std::error_code ec;
    const fs::path sys = fs::canonical(root.sys, ec);
    if (ec) return {};
    const fs::path class_dir = sys / "class" / "tty";
    fs::path p = serial_device_path(port);
    for (int hops = 0; hops < kMaxLinkHops && !p.empty(); ++hops) {
        const fs::path entry = class_dir / p.filename();
        if (fs::equivalent(p.parent_path(), root.dev, ec) && fs::exists(entry, ec)) {
            const auto usb = usb_device_above(entry / "device", sys);
            return usb ? usb->dir.string() : std::string();
        }
        if (!fs::is_symlink(p, ec)) break;
        const fs::path target = fs::read_symlink(p, ec);
        if (ec) break;
        p = (target.is_absolute() ? target : p.parent_path() / target).lexically_normal();
    }
    return {};
}

} // namespace zio

uint32_t search_comport_pidvid(uint8_t *pszComPort, uint32_t size,
                               const hid_Supported_PVID_t *pDevInfo, const zio::Reporter &) {
    if (!pszComPort || size == 0 || !pDevInfo) return 0;
    for (const zio::AttachedPort &port : zio::row_ports(*pDevInfo).ports) {
        // A path that does not fit the caller's buffer cannot be reported; try the next device.
        if (port.path.size() + 1 > size) continue;
        std::memcpy(pszComPort, port.path.c_str(), port.path.size() + 1);
        return 1;
    }
    return 0;
}
