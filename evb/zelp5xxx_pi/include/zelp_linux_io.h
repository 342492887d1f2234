/* Board I/O over the USB bridge: register transfers, bridge commands and timers. */
#ifndef ZELP_LINUX_IO_H
#define ZELP_LINUX_IO_H

#include <stdint.h>

#include "morvel_evb_io.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum zelp_io_device_type_e {
    ZELP_IO_DEVICE_TYPE_SPI = 0,
    ZELP_IO_DEVICE_TYPE_LINUX_DRIVER = 1,
    ZELP_IO_DEVICE_TYPE_USB = 2
} zelp_io_device_type_e;

typedef struct zelp_io_init_args {
    char *spidev; /* port name; NULL: find the first supported bridge */
    int spi_default_speed;
    int spi_mcu_read_speed;
    int spi_pcm_input_speed;
    int spi_split;
    int spi_read_delay;
    int gpio;
    int usb_int_enable;
    int device_type; /* output */
    int fd;
} zelp_io_init_args;

/* Packet commands: register transfers in the chip's two spaces and the bridge's own commands.
 * Every packet from the host starts with ZELP_IO_PACKET_START. */
#define ZELP_IO_PACKET_START 0x3A
enum {
    eMCU_READ = 0,
    eMCU_WRITE = 1,
    eSPI_READ = 2,
    eSPI_WRITE = 3,
    eSPI_SPEED = 9,
    eSAMPLE_SPI_SPEED = 10,
    eZELP_STATE = 15
};

/* Bridge flash block commands; a block is at most 256 bytes. */
#define ATMEL_DONGLE_FW_FLASH_WRITE 16
#define ATMEL_DONGLE_FW_FLASH_READ 17
#define ATMEL_DONGLE_FW_FLASH_START_OF_FILE 19
#define ZELP_IO_FLASH_BLOCK_MAX 256

/* A real-time clock reading. */
typedef struct zelp_linux_io_timer_t {
    int64_t tv_sec;
    int32_t tv_nsec;
} zelp_linux_io_timer_t;

extern int zelp_linux_io_transfer_debug;
extern int zelp_usb_debug;

/* Opens the board. `spidev` names the bridge's serial device: on Linux a path or a name under
 * /dev, on Windows a port name beginning with "COM"; "sim" for a simulated board in this process,
 * or "sim:FILE[,name=value...]" for one whose flash is kept in FILE; "rfc2217://HOST:PORT" for a
 * bridge that a telnet COM port server (RFC 2217, e.g. ser2net) serves on another machine, which
 * carries no interrupt report (usb_int_enable is refused there). NULL finds the first supported
 * bridge. Any name may end in board parameters the layer takes itself: ",pipeline=N" (1 to 256)
 * lets pipelined reads keep N answers outstanding. Returns a library error code. */
int zelp_linux_io_init(zelp_io_init_args *init_args, morvel_evb_io_handle_t *d);
/* One register transfer: mcu 0 for the byte-wide SPI register space, 1 for the 32-bit MCU space
 * (count a multiple of 4); `outp` to write or `inp` to read, never both; count at most 65535. */
int zelp_linux_io_transfer(morvel_evb_io_handle_t d, int mcu, uint32_t addr, void *outp, void *inp,
                           int count);
int zelp_linux_io_wait(morvel_evb_io_handle_t d, int timeout, unsigned int device_type);

/* Pipelined reads, when the port name carried the board parameter pipeline=N (else both calls do
 * nothing and return 0). From begin to end, a register read or bridge flash read whose answer
 * goes into [buf, buf + len) is sent without waiting for its answer. Up to N such answers are
 * kept outstanding: with N of them on their way the oldest is taken before the call returns, and
 * the end takes the rest; each is taken in order within its usual bound. The packets are the same
 * as without; the input is purged when the first of them goes out, not while answers are on their
 * way. The caller looks at `buf` only after end, which returns the first failure since begin; the
 * port stays locked to the calling thread from begin to end. */
int zelp_linux_io_pipeline_begin(morvel_evb_io_handle_t d, void *buf, int len);
int zelp_linux_io_pipeline_end(morvel_evb_io_handle_t d);
/* Closes the port and frees the handle; NULL is accepted. */
int zelp_linux_io_uninit(morvel_evb_io_handle_t d);

/* Waits up to `timeout` ms (-1: no limit) for the chip's interrupt report on the HID device. */
int zelp_win32_io_usb_wait(morvel_evb_io_handle_t d, int timeout);

/* Bridge commands; each returns 0 on success, 1 on failure. A speed of 0 sends nothing. */
int zelp_win32_io_usb_serial_set_spi_speed(morvel_evb_io_handle_t d, int spi_speed);
int zelp_win32_io_usb_serial_get_spi_speed(morvel_evb_io_handle_t d, uint32_t *spi_speed);
int zelp_win32_io_usb_serial_set_spi_sample_reg_speed(morvel_evb_io_handle_t d, uint32_t spi_speed);
int zelp_win32_io_usb_serial_get_spi_sample_reg_speed(morvel_evb_io_handle_t d,
                                                      uint32_t *spi_speed);
int zelp_win32_io_usb_serial_zelp_state(morvel_evb_io_handle_t d, uint32_t zelp_state);
int zelp_linux_io_usb_serial_flash_rw_command(morvel_evb_io_handle_t d, int command, uint32_t addr,
                                              uint8_t *data, uint16_t len);

/* Elapsed time since zelp_linux_io_timer_start: microseconds (wraps after about 4295 s), or
 * whole seconds. */
void zelp_linux_io_timer_start(zelp_linux_io_timer_t *timer);
unsigned int zelp_linux_io_timer_read(zelp_linux_io_timer_t *timer);
unsigned int zelp_linux_io_timer_read_sec(zelp_linux_io_timer_t *timer);

/* The bridge has no I2C clock to set; kept for hosts written against other I/O layers. */
int zelp5xxx_pi_i2c_clock_set(char *i2c_dev, int i2c_addr);

#ifdef __cplusplus
}
#endif

#endif
