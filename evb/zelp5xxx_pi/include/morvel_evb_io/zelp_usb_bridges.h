/** @file
 * The supported USB bridges attached to this machine, as plain records. */
#ifndef ZELP_USB_BRIDGES_H
#define ZELP_USB_BRIDGES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** Room for a port name in zelp_io_bridge_s. */
#define ZELP_IO_BRIDGE_PORT_SIZE 256
/** Room for a serial number: a USB serial number is at most 126 UTF-16 units, 378 bytes of UTF-8
 * and a NUL. */
#define ZELP_IO_BRIDGE_SERIAL_SIZE 384
/** Room for the path of a raw HID node. */
#define ZELP_IO_BRIDGE_HID_SIZE 512

/** One attached bridge, as zelp7x_flash --list prints it. */
typedef struct zelp_io_bridge_s {
    char port[ZELP_IO_BRIDGE_PORT_SIZE]; /* what zelp_linux_io_init opens: "/dev/ttyACM0", "COM5" */
    uint16_t vid;
    uint16_t pid;
    uint32_t type;                           /* the table row's type: eIS_MSI_DEV, ... */
    const char *kind;                        /* "bridge", "boot-loader" or "atmel"; static text */
    char serial[ZELP_IO_BRIDGE_SERIAL_SIZE]; /* USB serial number; "" when the device has none */
    char hid[ZELP_IO_BRIDGE_HID_SIZE];       /* path of its raw HID function; "" when none found */
} zelp_io_bridge_s;

/** Every attached supported bridge with a serial port, in the order the search
 * (search_supported_hid_pidvid) takes them: the first record is the bridge a null port name
 * opens. Fills at most `capacity` records and stores in `*count` how many bridges there are,
 * which may be more.
 * @return 0, or a library error code.
 * @threads Any thread; reads the system's device records only.
 * @never Sends nothing to any device and opens none. */
int zelp_linux_io_list_bridges(zelp_io_bridge_s *bridges, int capacity, int *count);

#ifdef __cplusplus
}
#endif

#endif
