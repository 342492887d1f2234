// Finding the tty of a supported bridge: each tty in /sys/class/tty whose device sits on a USB
// interface is traced up to its USB device, whose IDs decide.
#include <cstring>
#include <filesystem>
#include <system_error>

#include "io_internal.h"
#include "linux/sysfs.h"
#include "sysfs_root.h"

namespace fs = std::filesystem;

namespace zio {

namespace {

struct UsbIdentity {
    uint16_t vid = 0;
    uint16_t pid = 0;
    std::optional<unsigned long> interface_number;
};

bool inside(const fs::path &p, const fs::path &root) {
    const auto rel = p.lexically_relative(root);
    return !rel.empty() && *rel.begin() != "..";
}

// Walks up from the tty's device: the first directory with an interface number is its USB
// interface, the first with vendor and product IDs its USB device.
std::optional<UsbIdentity> usb_identity_of(const fs::path &tty_dir, const fs::path &sys) {
    std::error_code ec;
    fs::path p = fs::canonical(tty_dir / "device", ec);
    if (ec) return std::nullopt;
    UsbIdentity id;
    for (; inside(p, sys); p = p.parent_path()) {
        if (!id.interface_number)
            if (auto n = read_attribute(p / "bInterfaceNumber"))
                id.interface_number = parse_hex(*n);
        const auto vid = read_attribute(p / "idVendor");
        const auto pid = read_attribute(p / "idProduct");
        if (!vid || !pid) continue;
        const auto v = parse_hex(*vid), d = parse_hex(*pid);
        if (!v || !d) return std::nullopt;
        id.vid = static_cast<uint16_t>(*v);
        id.pid = static_cast<uint16_t>(*d);
        return id;
    }
    return std::nullopt;
}

bool row_accepts(const hid_Supported_PVID_t &row, const UsbIdentity &id) {
    if (id.vid != row.vid || id.pid != row.pid) return false;
    if (row.addition_check & eCHECK_FUNC) return id.interface_number == row.func;
    return true;
}

} // namespace

} // namespace zio

uint32_t search_comport_pidvid(uint8_t *pszComPort, uint32_t size,
                               const hid_Supported_PVID_t *pDevInfo) {
    if (!pszComPort || size == 0 || !pDevInfo) return 0;
    const zio::SysfsRoot &root = zio::sysfs_root();
    std::error_code ec;
    const fs::path sys = fs::canonical(root.sys, ec);
    if (ec) return 0;
    const fs::path class_dir = sys / "class" / "tty";
    for (const std::string &name : zio::sorted_entries(class_dir)) {
        const auto id = zio::usb_identity_of(class_dir / name, sys);
        if (!id || !zio::row_accepts(*pDevInfo, *id)) continue;
        const std::string path = root.dev + "/" + name;
        // A path that does not fit the caller's buffer cannot be reported; try the next device.
        if (path.size() + 1 > size) continue;
        std::memcpy(pszComPort, path.c_str(), path.size() + 1);
        return 1;
    }
    return 0;
}
