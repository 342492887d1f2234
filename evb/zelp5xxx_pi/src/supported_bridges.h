// The supported USB bridges, one row each in search order: what the searches match a device on,
// and the word the listing gives its kind. Every other view of the bridges (the public table,
// the udev rules) is taken from these rows.
#pragma once

#include <array>

#include "zelp_usb_devices.h"

namespace zio {

struct SupportedBridge {
    hid_Supported_PVID_t match;
    const char *kind; // "bridge", "boot-loader" or "atmel"
};

inline constexpr std::array<SupportedBridge, ZELP_SUPPORTED_PIDVID_COUNT> supported_bridges{{
    {{MEG381CQR_VID, MEG381CQR_PID, eIS_MSI_DEV, eCHECK_PVID, 0, 0, 0}, "bridge"},
    {{NU_HID_VID, NU_HID_PID, eIS_MSI_DEV, eCHECK_PVID, 0, 0, 0}, "bridge"},
    {{NU_ISP_VID, NU_ISP_PID, eIS_MSI_BLDR, eCHECK_PVID, 0, 0, 0}, "boot-loader"},
    // The Atmel bridge is matched either on its consumer-page HID function with its serial
    // function on interface 2, or on its vendor-page HID function with any interface.
    {{ATMEL_VID, ATMEL_PID, eIS_ATMEL, eCHECK_HIDUSAGE | eCHECK_FUNC, 0x0001, 0x000C, 2}, "atmel"},
    {{ATMEL_VID, ATMEL_PID, eIS_ATMEL, eCHECK_HIDUSAGE, 0x0C00, 0xFFC0, 0}, "atmel"},
}};

} // namespace zio
