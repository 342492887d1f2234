// The listing of attached bridges: row by row and port by port as the search goes, so its first
// record is always the bridge the search takes.
#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "bridge_discovery.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "supported_bridges.h"
#include "zelp_usb_bridges.h"

namespace {

// Copies `text` with its NUL when it fits; a value cut short would name another device, so one
// that does not fit is left out.
template <size_t N>
bool copy_text(char (&to)[N], const std::string &text) {
    to[0] = '\0';
    if (text.size() + 1 > N) return false;
    std::memcpy(to, text.c_str(), text.size() + 1);
    return true;
}

std::string hid_function_of(const zio::AttachedPort &port,
                            const std::vector<zio::HidFunction> &hids) {
    if (port.usb_device.empty()) return {}; // the port's USB device is not known
    for (const zio::HidFunction &hid : hids)
        if (hid.usb_device == port.usb_device) return hid.path;
    return {};
}

std::vector<zelp_io_bridge_s> attached_bridges() {
    const std::vector<zio::HidFunction> hids = zio::supported_hid_functions();
    std::vector<zelp_io_bridge_s> found;
    std::vector<std::string> ports;
    for (const zio::SupportedBridge &bridge : zio::supported_bridges) {
        for (const zio::AttachedPort &port : zio::row_ports(bridge.match).ports) {
            // A later row that accepts the same port (the Atmel rows) does not list it again.
            if (std::find(ports.begin(), ports.end(), port.path) != ports.end()) continue;
            zelp_io_bridge_s b{};
            // The search passes over a path too long for its buffer, which is this size too.
            if (!copy_text(b.port, port.path)) continue;
            b.vid = bridge.match.vid;
            b.pid = bridge.match.pid;
            b.type = bridge.match.type;
            b.kind = bridge.kind;
            copy_text(b.serial, port.serial);
            copy_text(b.hid, hid_function_of(port, hids));
            found.push_back(b);
            ports.push_back(port.path);
        }
    }
    return found;
}

} // namespace

extern "C" int zelp_linux_io_list_bridges(zelp_io_bridge_s *bridges, int capacity, int *count) {
    if (!count || capacity < 0 || (capacity > 0 && !bridges)) return MORVEL_ZELP_ERROR_ARG;
    try {
        const std::vector<zelp_io_bridge_s> found = attached_bridges();
        std::copy_n(found.begin(), std::min(found.size(), static_cast<size_t>(capacity)), bridges);
        *count = static_cast<int>(found.size());
        return MORVEL_ZELP_ERROR_NONE;
    } catch (const std::bad_alloc &) {
        return MORVEL_ZELP_ERROR_NOMEM;
    } catch (const std::exception &) {
        return MORVEL_ZELP_ERROR_FAIL;
    }
}
