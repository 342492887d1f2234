// Where a device sits in the system's device tree: the USB device that a serial function or a HID
// function belongs to, and the serial number its instance ID carries.
#pragma once

#include <string>

#include "win32/setup_calls.h"

namespace zio {

// The USB device node `node` belongs to: the node itself or the first one above it whose instance
// ID begins with "USB\" and names no interface ("&MI_"). Its instance ID, or empty when none.
std::string usb_device_of(const SetupCalls &os, DEVINST node);

// The serial number in a USB device's instance ID, its last part. Empty when Windows made that
// part up for a device without one: such a part holds '&', which a serial number there cannot.
std::string serial_of(const std::string &usb_device);

} // namespace zio
