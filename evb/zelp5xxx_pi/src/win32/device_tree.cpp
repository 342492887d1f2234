#include "win32/device_tree.h"

#include <array>
#include <cstring>

namespace zio {

namespace {

// A HID function is two steps below its USB device (HID node, USB interface); more steps than
// this mean the tree is not the one expected.
constexpr int kMaxSteps = 8;

std::string device_id(const SetupCalls &os, DEVINST node) {
    std::array<char, MAX_DEVICE_ID_LEN + 1> id{};
    if (os.get_device_id(node, id.data(), static_cast<ULONG>(id.size() - 1), 0) != CR_SUCCESS)
        return {};
    return std::string(id.data(), strnlen(id.data(), id.size()));
}

bool is_usb_device(const std::string &id) {
    if (id.rfind("USB\\", 0) != 0) return false;
    const std::string ids = id.substr(0, id.find('\\', 4));
    return ids.find("&MI_") == std::string::npos;
}

} // namespace

std::string usb_device_of(const SetupCalls &os, DEVINST node) {
    for (int step = 0; step < kMaxSteps; ++step) {
        const std::string id = device_id(os, node);
        if (id.empty()) return {};
        if (is_usb_device(id)) return id;
        DEVINST parent = 0;
        if (os.get_parent(&parent, node, 0) != CR_SUCCESS) return {};
        node = parent;
    }
    return {};
}

std::string serial_of(const std::string &usb_device) {
    const size_t at = usb_device.rfind('\\');
    if (at == std::string::npos || at < 4) return {};
    const std::string last = usb_device.substr(at + 1);
    return last.find('&') == std::string::npos ? last : std::string();
}

} // namespace zio
