// The rules come from the supported-bridge table itself, so a bridge added there is reachable
// without root the day it is added.
#include "udev_rules.h"

#include <cstdio>
#include <set>
#include <utility>

#include "supported_bridges.h"

namespace {

std::string block(const zio::SupportedBridge &bridge) {
    const hid_Supported_PVID_t &row = bridge.match;
    char ids[64];
    std::snprintf(ids, sizeof ids, "ATTRS{idVendor}==\"%04x\", ATTRS{idProduct}==\"%04x\"", row.vid,
                  row.pid);
    char title[64];
    std::snprintf(title, sizeof title, "# %04x:%04x, %s\n", row.vid, row.pid, bridge.kind);
    const std::string match = ids;
    const std::string access = ", MODE=\"0660\", GROUP=\"plugdev\", TAG+=\"uaccess\"\n";
    // ModemManager probes any new serial function with AT commands unless told not to; it reads
    // the flag from the USB device and from the port.
    std::string text = title;
    text.append("SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ").append(match);
    text.append(", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n");
    text.append("SUBSYSTEM==\"tty\", ").append(match).append(", ENV{ID_MM_DEVICE_IGNORE}=\"1\"");
    text.append(access);
    text.append("SUBSYSTEM==\"hidraw\", ").append(match).append(access);
    return text;
}

} // namespace

std::string zelp_udev_rules() {
    std::string text =
        "# zelp7x evaluation-board bridges: access for the user at the seat and the\n"
        "# plugdev group, and no ModemManager probing. Generated from the board I/O\n"
        "# layer's supported-bridge table.\n";
    std::set<std::pair<uint16_t, uint16_t>> seen;
    for (const zio::SupportedBridge &bridge : zio::supported_bridges)
        if (seen.insert({bridge.match.vid, bridge.match.pid}).second)
            text.append("\n").append(block(bridge));
    return text;
}
