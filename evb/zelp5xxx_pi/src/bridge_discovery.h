// What each system's discovery tells about the attached bridges, beyond the one port the search
// takes: every port a table row accepts, the USB device it belongs to, and the supported raw HID
// functions, so the listing can pair each port with its device's HID function.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "zelp_usb_devices.h"

namespace zio {

struct AttachedPort {
    std::string path;       // the name the port opens by
    std::string serial;     // the USB device's serial number; empty when it has none
    std::string usb_device; // the system's name for the USB device the port belongs to
};

struct RowPorts {
    std::vector<AttachedPort> ports; // in the system's enumeration order
    // Set when the walk ended early at a device whose hardware key did not open (Windows), with
    // the system's error code: the search ends the row there too.
    std::optional<long> key_error;
};

// The ports of the present devices that `row` accepts.
RowPorts row_ports(const hid_Supported_PVID_t &row);

struct HidFunction {
    std::string path;
    std::string usb_device; // as in AttachedPort
};

// The present raw HID functions that the HID match accepts, in enumeration order.
std::vector<HidFunction> supported_hid_functions();

// The USB device (as AttachedPort names it) of the serial device `port`, a name the I/O layer
// opens; empty when the port belongs to no USB device the system shows (a pseudo-terminal, a
// simulated board, a device gone).
std::string usb_device_of_port(const std::string &port);

} // namespace zio
