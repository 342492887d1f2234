/** @file
 * Board I/O over the USB bridge: opening a board, register transfers, the bridge's own commands,
 * the interrupt wait and timers.
 *
 * The layer says why a call failed in lines, before it returns an error code, and traces in lines
 * while zelp_usb_debug or zelp_linux_io_transfer_debug is set. Every line goes one way: to the
 * report callback the host gave at init (zelp_io_report_s), kept in the handle, or, without one,
 * to the process's streams as the tools print them (zelp_linux_io_print_line): failures on
 * standard error, a few of them and the traces on standard output. A handle may be shared
 * between threads: every packet exchange holds the handle's lock from its first byte out to its
 * answer's last byte in, and interrupt waits hold a lock of their own. */
#ifndef ZELP_LINUX_IO_H
#define ZELP_LINUX_IO_H

#include <stdint.h>

#include "morvel_evb_io.h"

#ifdef __cplusplus
extern "C" {
#endif

/** How a board is reached; zelp_linux_io_init reports it in zelp_io_init_args.device_type. */
typedef enum zelp_io_device_type_e {
    ZELP_IO_DEVICE_TYPE_SPI = 0,          /**< a direct SPI link (other I/O layers) */
    ZELP_IO_DEVICE_TYPE_LINUX_DRIVER = 1, /**< a kernel driver (other I/O layers) */
    ZELP_IO_DEVICE_TYPE_USB = 2           /**< the USB bridge: what this layer opens */
} zelp_io_device_type_e;

/** What a line of the layer is about. */
typedef enum zelp_io_line_kind_e {
    /** A failure as the layer states it: "Error in opening serial port", "error opening spi:
     * fail", "Error during transfer on the Serial/SPI device". */
    ZELP_IO_LINE_ERROR = 0,
    /** Why: the system's reason or the layer's own, "cannot open /dev/ttyACM7: No such file or
     * directory", "ZELP USB device not found", "err 5: Access is denied.". */
    ZELP_IO_LINE_REASON = 1,
    /** What mends it: "install the udev rules (60-zelp7x.rules), then unplug and replug the
     * board". */
    ZELP_IO_LINE_ADVICE = 2,
    /** A trace line of zelp_usb_debug or zelp_linux_io_transfer_debug. */
    ZELP_IO_LINE_TRACE = 3
} zelp_io_line_kind_e;

/** One line the layer has to say. */
typedef struct zelp_io_line_s {
    zelp_io_line_kind_e kind; /**< what it is about */
    /** Where it is printed without a report callback: 1 standard output, 2 standard error. */
    int stream;
    const char *text; /**< the line without its newline */
    /** 1 when the printed line ends in a newline; 0 for the few that never had one ("Error
     * during transfer on the Serial/SPI device" after a register access). */
    int newline;
} zelp_io_line_s;

/** Takes one line of the layer instead of the process's streams. Called on the thread of the call
 * that has the line to say, during that call, which may hold the handle's lock: it must not call
 * the layer on the same handle. `line` and its text live until the callback returns. */
typedef void (*zelp_io_report_f)(const zelp_io_line_s *line, void *user);

/** Where a handle's lines go. All zero (the default): printed as the tools print them. */
typedef struct zelp_io_report_s {
    /** Null: each line is printed on its stream (zelp_linux_io_print_line), and init makes
     * standard output unbuffered; set: every line of the handle goes here and nothing of the
     * handle reaches the process's streams, standard output's buffering included. */
    zelp_io_report_f line;
    void *user; /**< passed to `line` */
} zelp_io_report_s;

/** What zelp_linux_io_init opens and how. The caller owns it; init reads it during the call and
 * writes `device_type`. */
typedef struct zelp_io_init_args {
    char *spidev;            /**< port name (see zelp_linux_io_init); null: the first bridge */
    int spi_default_speed;   /**< bridge SPI clock in bits/s; 0 sends no clock command */
    int spi_mcu_read_speed;  /**< carried for other I/O layers */
    int spi_pcm_input_speed; /**< the bridge's sample write clock in bits/s; 0 sends nothing */
    int spi_split;           /**< carried for other I/O layers */
    int spi_read_delay;      /**< carried for other I/O layers */
    int gpio;                /**< carried for other I/O layers */
    int usb_int_enable;      /**< nonzero: open the bridge's HID function for interrupt waits */
    int device_type;         /**< out: ZELP_IO_DEVICE_TYPE_USB */
    int fd;                  /**< carried for other I/O layers */
    /** Where the handle's lines go, from init to uninit; kept in the handle (the callback and
     * `user` must stay valid until zelp_linux_io_uninit returns). */
    zelp_io_report_s report;
} zelp_io_init_args;

/** Packet commands: register transfers in the chip's two spaces and the bridge's own commands.
 * Every packet from the host starts with ZELP_IO_PACKET_START. */
#define ZELP_IO_PACKET_START 0x3A
/** Packet command codes. */
enum {
    eMCU_READ = 0,
    eMCU_WRITE = 1,
    eSPI_READ = 2,
    eSPI_WRITE = 3,
    eSPI_SPEED = 9,
    eSAMPLE_SPI_SPEED = 10,
    eZELP_STATE = 15
};

/** @name Bridge flash commands
 * @{ */
/** The bridge's flash block commands for zelp_linux_io_usb_serial_flash_rw_command, and the
 * largest block one carries. */
#define ATMEL_DONGLE_FW_FLASH_WRITE 16
#define ATMEL_DONGLE_FW_FLASH_READ 17
#define ATMEL_DONGLE_FW_FLASH_START_OF_FILE 19
#define ZELP_IO_FLASH_BLOCK_MAX 256
/** @} */

/** A real-time clock reading, for the interval timers. */
typedef struct zelp_linux_io_timer_t {
    int64_t tv_sec;
    int32_t tv_nsec;
} zelp_linux_io_timer_t;

/** Nonzero: every register transfer is traced in trace lines (on standard output without a
 * report callback). 0 by default, for the whole process.
 * @threads A plain integer, read without a lock: set it before other threads use the layer. */
extern int zelp_linux_io_transfer_debug;
/** Nonzero: the HID search is traced in trace lines (on standard output without a report
 * callback). 0 by default, for the whole process.
 * @threads A plain integer, read without a lock: set it before other threads use the layer. */
extern int zelp_usb_debug;

/** Opens a board. `spidev` names the bridge's serial device: on Linux a path or a name under
 * /dev, on Windows a port name beginning with "COM"; "sim" for a simulated board in this process,
 * or "sim:FILE[,name=value...]" for one whose flash is kept in FILE (a build without the
 * simulated board refuses both); "rfc2217://HOST:PORT" for a bridge that a telnet COM port server
 * (RFC 2217, e.g. ser2net) serves on another machine. Null finds the first supported bridge. Any
 * name may end in board parameters the layer takes itself: ",pipeline=N" (1 to 256) lets
 * pipelined reads keep N answers outstanding. The port is held exclusively (TIOCEXCL and an
 * advisory lock on Linux; a network server lets one client in), so a second opener fails at once
 * (a network port after trying for a second: a server may still be closing its last client's
 * session). Then the clock commands go out and register 0 is read as a probe; neither decides
 * the open.
 * @return 0 with the handle in `*d`; MORVEL_ZELP_ERROR_ARG for a name that cannot name a port
 *   here, bad board parameters, or no bridge found; MORVEL_ZELP_ERROR_FAIL for a port that does
 *   not open; MORVEL_ZELP_ERROR_UNSUP for usb_int_enable on a network port, which carries no
 *   interrupt report. A failure's lines, with the system's reason, go to `init_args->report`
 *   (standard error without a callback).
 * @ownership The handle is the caller's until zelp_linux_io_uninit; of `init_args` it keeps only
 *   `report` (the callback and its `user`, called until uninit returns).
 * @threads Any thread. Without a report callback it makes standard output unbuffered for the
 *   whole process (zelp_linux_io_unbuffer_stdout), so the tools' progress lines and the layer's
 *   lines interleave in order; with one it leaves the process's streams alone. */
int zelp_linux_io_init(zelp_io_init_args *init_args, morvel_evb_io_handle_t *d);
/** One register transfer, the integration interfaces' transfer for a host of the device library:
 * `mcu` 0 for the byte-wide SPI register space, 1 for the 32-bit MCU space (count a multiple of
 * 4); `outp` to write or `inp` to read, never both; `count` at most 65535. Input left over from
 * an earlier exchange is dropped first, and a bridge that stops answering fails the call within
 * a bound that grows with the count.
 * @return 0, MORVEL_ZELP_ERROR_ARG, MORVEL_ZELP_ERROR_UNINIT for a closed handle, or
 *   MORVEL_ZELP_ERROR_FAIL with a line (the handle's report, standard error by default).
 * @threads Holds the handle's lock for the whole exchange; other threads' transfers on the handle
 *   wait. */
int zelp_linux_io_transfer(morvel_evb_io_handle_t d, int mcu, uint32_t addr, void *outp, void *inp,
                           int count);
/** Waits for the chip's interrupt report; zelp_win32_io_usb_wait without the device type, which is
 * ignored.
 * @return MORVEL_ZELP_ERROR_UNINIT for a board opened without its HID function.
 * @threads As zelp_win32_io_usb_wait. */
int zelp_linux_io_wait(morvel_evb_io_handle_t d, int timeout, unsigned int device_type);

/** @name Pipelined reads
 * @{ */
/** Pipelined reads, when the port name carried the board parameter pipeline=N (else both calls do
 * nothing and return 0). From begin to end, a register read or bridge flash read whose answer
 * goes into [buf, buf + len) is sent without waiting for its answer. Up to N such answers are
 * kept outstanding: with N of them on their way the oldest is taken before the call returns, and
 * the end takes the rest; each is taken in order within its usual bound. The packets are the same
 * as without; the input is purged when the first of them goes out, not while answers are on their
 * way. The caller looks at `buf` only after end, which returns the first failure since begin.
 * @ownership `buf` stays the caller's and must stay valid until end.
 * @threads The handle's lock is held from begin to end: other threads' calls on the handle wait,
 *   and end comes from the thread that began. */
int zelp_linux_io_pipeline_begin(morvel_evb_io_handle_t d, void *buf, int len);
int zelp_linux_io_pipeline_end(morvel_evb_io_handle_t d);
/** @} */
/** Closes the port and frees the handle; null is accepted. A simulated board saves its flash file.
 * @return MORVEL_ZELP_ERROR_FAIL when the system reported a failure closing the port (with a line
 *   to the handle's report, standard error by default); the handle is freed all the same.
 * @ownership The handle is gone when the call returns, whatever it returns.
 * @threads No other thread may use the handle during or after the call. */
int zelp_linux_io_uninit(morvel_evb_io_handle_t d);

/** Waits up to `timeout` ms (-1: no limit) for the chip's interrupt report on the bridge's HID
 * function.
 * @return 0 when a report came, MORVEL_ZELP_ERROR_TIMEOUT when none did,
 *   MORVEL_ZELP_ERROR_UNINIT without the HID function.
 * @threads Waits of several threads on one handle take turns; transfers go on meanwhile. */
int zelp_win32_io_usb_wait(morvel_evb_io_handle_t d, int timeout);

/** @name Bridge commands
 * @{ */
/** A command to the bridge itself: its SPI clocks, the chip's state line, a flash block (command
 * ATMEL_DONGLE_FW_FLASH_WRITE, _READ or _START_OF_FILE, `len` at most ZELP_IO_FLASH_BLOCK_MAX).
 * A speed of 0 sends nothing.
 * @return 0 on success, 1 on failure (with a line to the handle's report: standard error, or
 *   standard output for the flash block commands, without a callback).
 * @threads Holds the handle's lock for the whole exchange. */
int zelp_win32_io_usb_serial_set_spi_speed(morvel_evb_io_handle_t d, int spi_speed);
int zelp_win32_io_usb_serial_get_spi_speed(morvel_evb_io_handle_t d, uint32_t *spi_speed);
int zelp_win32_io_usb_serial_set_spi_sample_reg_speed(morvel_evb_io_handle_t d, uint32_t spi_speed);
int zelp_win32_io_usb_serial_get_spi_sample_reg_speed(morvel_evb_io_handle_t d,
                                                      uint32_t *spi_speed);
int zelp_win32_io_usb_serial_zelp_state(morvel_evb_io_handle_t d, uint32_t zelp_state);
int zelp_linux_io_usb_serial_flash_rw_command(morvel_evb_io_handle_t d, int command, uint32_t addr,
                                              uint8_t *data, uint16_t len);
/** @} */

/** @name Interval timers
 * @{ */
/** Starts a timer, and the time since its start: microseconds (wraps after about 4295 s), or
 * whole seconds. A clock that cannot be read is reported on standard error: the timers belong to
 * no handle, so no report callback takes their lines.
 * @threads Touches `timer` only. */
void zelp_linux_io_timer_start(zelp_linux_io_timer_t *timer);
unsigned int zelp_linux_io_timer_read(zelp_linux_io_timer_t *timer);
unsigned int zelp_linux_io_timer_read_sec(zelp_linux_io_timer_t *timer);
/** @} */

/** @name Lines as the tools print them
 * @{ */
/** Prints one line as the layer does without a report callback: its text and, when it has one,
 * its newline on its stream (1 standard output, else standard error), in one write. For a host
 * whose callback passes some lines on as they were (null is ignored).
 * @anythread */
void zelp_linux_io_print_line(const zelp_io_line_s *line);
/** Makes standard output unbuffered, as zelp_linux_io_init does when it has no report callback,
 * so that the layer's lines and a tool's own output reach a shared terminal or file in the order
 * they were written. For a host that takes the lines itself and still prints them as the tools
 * do.
 * @threads Call it before other threads write to standard output. */
void zelp_linux_io_unbuffer_stdout(void);
/** @} */

/** The bridge has no I2C clock to set: does nothing and returns 0; kept for hosts written against
 * other I/O layers.
 * @anythread */
int zelp5xxx_pi_i2c_clock_set(char *i2c_dev, int i2c_addr);

#ifdef __cplusplus
}
#endif

#endif
