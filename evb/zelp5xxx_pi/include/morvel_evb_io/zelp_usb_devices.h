/** @file
 * The USB bridges the board I/O layer knows, and how it finds them: the table of supported
 * vendor and product IDs with the checks each row makes. */
#ifndef ZELP_USB_DEVICES_H
#define ZELP_USB_DEVICES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** The USB vendor and product IDs of the supported bridges. */
typedef enum zelp_win32_io_usb_device_ids_e {
    MEG381CQR_VID = 0x1462,
    MEG381CQR_PID = 0x3EA4,
    NU_HID_VID = 0x0416,
    NU_HID_PID = 0x5020,
    NU_ISP_VID = 0x0416,
    NU_ISP_PID = 0x3F00,
    ATMEL_VID = 0x2341,
    ATMEL_PID = 0x804F
} zelp_win32_io_usb_device_ids_e;

/** Device kinds, hid_Supported_PVID_t.type. */
enum { eUKNOWN_DEVICE = 0, eIS_MSI_BLDR = 1, eIS_MSI_DEV = 2, eIS_ATMEL = 3 };

/** Extra checks, used as bits of hid_Supported_PVID_t.addition_check. */
enum { eCHECK_PVID = 0, eCHECK_HIDUSAGE = 1, eCHECK_FUNC = 2 };

/** One row of the table of supported bridges. */
typedef struct hid_Supported_PVID_t {
    uint16_t vid;
    uint16_t pid;
    uint8_t type;
    uint8_t addition_check;
    uint16_t usage; /* HID top-level usage, matched with eCHECK_HIDUSAGE */
    uint16_t page;  /* HID usage page, matched with eCHECK_HIDUSAGE */
    uint16_t func;  /* interface number of the serial function, matched with eCHECK_FUNC */
} hid_Supported_PVID_t;

/** Rows in pidvid_list. */
#define ZELP_SUPPORTED_PIDVID_COUNT 5
/** The supported bridges, searched in order: the first row that finds a device wins. Constant
 * data. */
extern const hid_Supported_PVID_t pidvid_list[ZELP_SUPPORTED_PIDVID_COUNT];

#ifdef _WIN32
/* The Windows records, declared only: <hidsdi.h> and <guiddef.h> define them. */
typedef struct _HIDD_ATTRIBUTES HIDD_ATTRIBUTES;
typedef struct _HIDP_CAPS HIDP_CAPS;
typedef struct _GUID GUID;
#else
/** What the HID match looks at of a device, under the names the Windows HID API gives them. */
typedef struct HIDD_ATTRIBUTES {
    uint32_t Size;
    uint16_t VendorID;
    uint16_t ProductID;
    uint16_t VersionNumber;
} HIDD_ATTRIBUTES;

/** What the HID match looks at of a function's capabilities. */
typedef struct HIDP_CAPS {
    uint16_t Usage;
    uint16_t UsagePage;
    uint16_t InputReportByteLength;
} HIDP_CAPS;

/** A device interface class, as Windows names them. */
typedef struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
#endif

/** The type of the first row with these IDs; 0 when none.
 * @anythread */
int is_supported_pidvid(uint16_t vid, uint16_t pid);
/** The type of the first row that accepts the HID function; 0 when none.
 * @anythread */
int is_supported_hid_device(const HIDD_ATTRIBUTES *attrib, const HIDP_CAPS *capabilities);
/** Writes the GUID as 36 characters and a NUL, without braces, into `out` (room for 37).
 * @return out.
 * @anythread */
char *guid_to_str(const GUID *id, char *out);

/** Finds the serial port of the first supported bridge: 1 with its NUL-terminated device path
 * (on Windows its port name, "COM" and digits) in `pszComPort` and the row's IDs and type in the
 * out-parameters, or 0 (nothing written).
 * @threads Any thread; reads the system's device records only.
 * @never Sends nothing to any device. */
int search_supported_hid_pidvid(uint8_t *pszComPort, uint32_t size, uint16_t *uspVid,
                                uint16_t *uspPid, uint32_t *upDevflag);

#ifdef __cplusplus
}
#endif

#endif
