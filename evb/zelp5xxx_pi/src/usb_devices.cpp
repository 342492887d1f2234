// The supported bridges and the portable half of finding them.
#include <cstdio>

#include "io_internal.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "supported_bridges.h"
#include "zelp_linux_io.h"
#include "zelp_usb_devices.h"
#ifdef _WIN32
#include "win32/hid_headers.h" // the records the HID match reads
#endif

extern "C" {

int zelp_usb_debug = 0;

// The C view of the rows, for hosts and the searches.
static_assert(zio::supported_bridges.size() == 5, "list every row below");
const hid_Supported_PVID_t pidvid_list[ZELP_SUPPORTED_PIDVID_COUNT] = {
    zio::supported_bridges[0].match, zio::supported_bridges[1].match,
    zio::supported_bridges[2].match, zio::supported_bridges[3].match,
    zio::supported_bridges[4].match,
};

int is_supported_pidvid(uint16_t vid, uint16_t pid) {
    for (const hid_Supported_PVID_t &row : pidvid_list)
        if (row.vid == vid && row.pid == pid) return row.type;
    return 0;
}

int is_supported_hid_device(const HIDD_ATTRIBUTES *attrib, const HIDP_CAPS *capabilities) {
    if (!attrib || !capabilities) return 0;
    for (const hid_Supported_PVID_t &row : pidvid_list) {
        if (row.vid != attrib->VendorID || row.pid != attrib->ProductID) continue;
        if ((row.addition_check & eCHECK_HIDUSAGE) &&
            (capabilities->UsagePage != row.page || capabilities->Usage != row.usage))
            continue;
        return row.type;
    }
    return 0;
}

char *guid_to_str(const GUID *id, char *out) {
    if (!id || !out) return out;
    std::snprintf(out, 37, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  static_cast<unsigned>(id->Data1), id->Data2, id->Data3, id->Data4[0],
                  id->Data4[1], id->Data4[2], id->Data4[3], id->Data4[4], id->Data4[5],
                  id->Data4[6], id->Data4[7]);
    return out;
}

int search_supported_hid_pidvid(uint8_t *pszComPort, uint32_t size, uint16_t *uspVid,
                                uint16_t *uspPid, uint32_t *upDevflag) {
    return zio::search_supported_bridge(pszComPort, size, uspVid, uspPid, upDevflag, {});
}

} // extern "C"

namespace zio {

int search_supported_bridge(uint8_t *pszComPort, uint32_t size, uint16_t *uspVid, uint16_t *uspPid,
                            uint32_t *upDevflag, const Reporter &report) {
    if (!pszComPort || size == 0) return 0;
    for (const hid_Supported_PVID_t &row : pidvid_list) {
        if (!search_comport_pidvid(pszComPort, size, &row, report)) continue;
        if (uspVid) *uspVid = row.vid;
        if (uspPid) *uspPid = row.pid;
        if (upDevflag) *upDevflag = row.type;
        return 1;
    }
    return 0;
}

std::string found_hid_trace(const HIDD_ATTRIBUTES &attrib, const HIDP_CAPS &caps) {
    return format("Found vid=%X  pid=%x versionNumber=%x usagepage=%X usage=%x reportlen = %d",
                  attrib.VendorID, attrib.ProductID, attrib.VersionNumber, caps.UsagePage,
                  caps.Usage, caps.InputReportByteLength);
}

} // namespace zio

int zelp_win32_io_usb_hidraw_open(zelp_win32_io_state_s *state) {
    const int found = rawhid_open(state);
    if (zelp_usb_debug) state->report.trace(std::to_string(found) + " rawhid devices found");
    if (found > 0) return 0;
    state->report.reason("Error opening RAW HID device");
    return 1;
}

int zelp_io_usb_int_init(zelp_win32_io_state_s *state) {
    if (zelp_win32_io_usb_hidraw_open(state) == 0) return MORVEL_ZELP_ERROR_NONE;
    state->report.error_out("Error calling io_usb_hidraw_open");
    return MORVEL_ZELP_ERROR_FAIL;
}
