/** @file
 * Opening an evaluation board for a host program, as the tools open it: the bridge chosen (a
 * port name, a USB serial number, or the first supported bridge), the board I/O layer opened on
 * it, the device library started over callbacks of the board's own, and the chip put on its
 * input clock.
 *
 * A board record carries everything one open needs: the board I/O handle, the device handle, the
 * device type and every option it was opened with. The device library's integration record
 * points at the board (its `d`), so boards opened at the same time share nothing, whatever their
 * options, and no call keeps state outside the records it is given. Nothing here prints or ends
 * the process: what the choice of a bridge has to say goes to the host's message callback, the
 * board I/O layer's lines go to the host's I/O report callback (or, without one, are printed as the
 * tools print them), and a failure fills the caller's failure record, with the reason the board I/O
 * layer gave when the port did not open. */
#ifndef MORVEL_ZELP7X_BOARD_H
#define MORVEL_ZELP7X_BOARD_H

#include <stddef.h>
#include <stdint.h>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_evb_io/morvel_evb_io.h"
#include "morvel_evb_io/zelp_linux_io.h"
#include "morvel_evb_io/zelp_usb_bridges.h"

#ifdef __cplusplus
extern "C" {
#endif

/** One opened board: made by morvel_zelp7x_board_open, ended by morvel_zelp7x_board_close. */
typedef struct morvel_zelp7x_board_s morvel_zelp7x_board_s;

/** A line the open has to say that is no failure of its own, or the reason for one, without a
 * newline: "using PORT, the first of N supported bridges (--list shows them)", "no supported
 * bridge has serial number S (--list shows them)", ... The tools print each on standard error.
 * Called on the opening thread, during the call; `line` lives until the callback returns. */
typedef void (*morvel_zelp7x_board_message_f)(const char *line, void *user);

/** When the chip goes on the board's input clock. */
typedef enum morvel_zelp7x_board_clock_e {
    /** Right after the library has started, whatever the chip: zelp7x_flash's way. */
    MORVEL_ZELP7X_BOARD_CLOCK_AT_OPEN = 0,
    /** Right after the library has started, unless the init mode is
     * MORVEL_ZELP_INIT_MODE_NO_TOUCH (then never) or the chip boots secured and runs no firmware
     * yet: such a chip lets the host at its clock only through its firmware, so the clock waits
     * for morvel_zelp7x_board_settle_clock after a load has started one. zelp7x_host's way. */
    MORVEL_ZELP7X_BOARD_CLOCK_WHEN_ALLOWED = 1
} morvel_zelp7x_board_clock_e;

/** How a board is opened. Fill it with morvel_zelp7x_board_options_init, which puts in
 * zelp7x_flash's defaults, then change what the host wants. */
typedef struct morvel_zelp7x_board_options_s {
    /** The port: a name -s takes ("sim", "sim:FILE,opts", a serial device, a board daemon's
     * link, "rfc2217://HOST:PORT" for a bridge that ser2net serves on another machine, with board
     * parameters such as ",pipeline=N"), passed to the board I/O layer as it is;
     * "serial=S[,params]" for the supported bridge with USB serial number S (any case); null for
     * the first supported bridge. */
    const char *port;
    int spi_default_speed;      /**< bridge SPI clock in bits/s; 0 leaves the bridge's own */
    int spi_mcu_read_speed;     /**< carried for other board I/O layers */
    int spi_sample_write_speed; /**< the bridge's sample write clock; 0 leaves the bridge's own */
    int spi_split;              /**< carried for other board I/O layers */
    int spi_read_delay;         /**< carried for other board I/O layers */
    /** The chip's input clock in Hz; negative: the board kind's default
     * (morvel_zelp7x_board_default_input_freq). */
    int input_freq;
    /** 0: the chip's type is read from its SPI register 0; otherwise its low 8 bits are the type,
     * whatever the chip says, and the register is not read. */
    unsigned int device_type;
    morvel_zelp_init_mode_e init_mode; /**< how the library starts on the chip */
    morvel_zelp7x_board_clock_e clock; /**< when the chip goes on its input clock */
    /** 0: a mailbox request ends as soon as it is posted (zelp7x_flash, which talks to no
     * firmware); 1: it waits for the firmware's answer, taking the chip's notifications in, as a
     * host that talks to firmware needs. */
    int wait_for_answers;
    /** Nonzero: the bridge's raw HID function on the opened port's USB device is opened too, so
     * that zelp_linux_io_wait can wait for the chip's interrupt report; 0: it is not. A network
     * port ("rfc2217://...") has none and is refused (MORVEL_ZELP_ERROR_UNSUP). */
    int usb_interrupts;
    morvel_zelp7x_board_message_f message; /**< null: the lines are not said */
    void *message_user;                    /**< passed to `message` */
    /** Where the board I/O layer's lines go while the board is open (its failures, the reason
     * for them, its traces), from the open to morvel_zelp7x_board_close: the callback gets each
     * line on the thread of the call that has it to say. A null `line` prints them as the tools
     * do (zelp_linux_io_print_line) and makes standard output unbuffered, as zelp_linux_io_init
     * without a callback does; with a callback nothing of the board reaches the process's
     * streams. Either way the reason for a failed open goes into the failure record too. */
    zelp_io_report_s io_report;
} morvel_zelp7x_board_options_s;

/** Room for a failure record's texts. */
#define MORVEL_ZELP7X_BOARD_TEXT_SIZE 256

/** Why an open, or a later step on a board, failed. */
typedef struct morvel_zelp7x_board_failure_s {
    int status; /**< the error code the call returned */
    /** The step that failed, static text: "io_init" (choosing and opening the port), "zelp_init"
     * (starting the library), "zelp7x_config input set" (the input clock); null on success. */
    const char *step;
    /** "STEP failed: NAME" with the error's name, as zelp7x_flash prints it; "" on success. */
    char message[MORVEL_ZELP7X_BOARD_TEXT_SIZE];
    /** Why, in words, when known: the bridge choice's refusal ("no supported bridge has serial
     * number S (--list shows them)"), or at step "io_init" the reason the board I/O layer gave
     * (its first ZELP_IO_LINE_REASON line: "cannot open /dev/ttyACM7: No such file or
     * directory", "ZELP USB device not found"); "" otherwise. */
    char reason[MORVEL_ZELP7X_BOARD_TEXT_SIZE];
} morvel_zelp7x_board_failure_s;

/** Puts zelp7x_flash's defaults in `options` (null is ignored): the first supported bridge, SPI
 * clock 1000000 bits/s, read delay 1, the board kind's input clock, the type from the chip, a chip
 * reset, the clock at open, no waiting for mailbox answers, no message callback, the board I/O
 * layer's lines printed.
 * @anythread */
void morvel_zelp7x_board_options_init(morvel_zelp7x_board_options_s *options);

/** Opens a board: chooses the port (saying through the message callback which bridge the search
 * took when several are attached), opens it with the board I/O layer, starts the device library
 * in the options' init mode, and puts the chip on its input clock as the options' clock says.
 * Port names go to the board I/O layer unchanged but for a "serial=S" prefix, which becomes the
 * port of that bridge.
 * @param options how to open it; nothing is kept of it, the port name included.
 * @param board receives the board.
 * @param failure filled on failure, cleared on success; may be null.
 * @return 0 with the board in `*board`, or the failing step's error code with `*board` null and
 *   whatever was opened closed again (a refused bridge choice: MORVEL_ZELP_ERROR_ARG at step
 *   "io_init", with the refusal in `reason` and said through the message callback too; a port
 *   that did not open: the board I/O layer's code at step "io_init", with its reason in
 *   `reason`).
 * @ownership The board is the caller's until morvel_zelp7x_board_close.
 * @threads Any thread; boards opened at the same time share nothing. The device handle's host
 *   lock does nothing: one thread uses a board at a time (the board I/O handle itself may be
 *   shared, as its calls say).
 * @never Prints or exits itself, or keeps state outside the board; the board I/O layer's lines
 *   go where `io_report` says. */
int morvel_zelp7x_board_open(const morvel_zelp7x_board_options_s *options,
                             morvel_zelp7x_board_s **board, morvel_zelp7x_board_failure_s *failure);

/** Ends the device library's use of the chip (leaving the chip as it is: no reset), closes the
 * board I/O handle and frees the board; null is ignored.
 * @ownership The board, its device handle and its I/O handle are gone when the call returns.
 * @threads No other thread may use the board during or after the call. */
void morvel_zelp7x_board_close(morvel_zelp7x_board_s *board);

/** The device handle the library was started on; null for a null board.
 * @ownership The board keeps it; it lives until morvel_zelp7x_board_close.
 * @anythread */
morvel_zelp_device_s *morvel_zelp7x_board_device(const morvel_zelp7x_board_s *board);
/** The board I/O handle, for the layer's own calls (bridge commands, the interrupt wait); null for
 * a null board.
 * @ownership The board keeps it; it lives until morvel_zelp7x_board_close.
 * @anythread */
morvel_evb_io_handle_t morvel_zelp7x_board_io(const morvel_zelp7x_board_s *board);
/** The port the board was opened on, after the choice: a "serial=S" name as the bridge's port,
 * board parameters kept; "" when the search chose (null name); null for a null board.
 * @ownership The board keeps it; it lives until morvel_zelp7x_board_close.
 * @anythread */
const char *morvel_zelp7x_board_port(const morvel_zelp7x_board_s *board);
/** The input clock in Hz the chip was, or is to be, put on; 0 for a null board.
 * @anythread */
int morvel_zelp7x_board_input_freq(const morvel_zelp7x_board_s *board);

/** Puts the chip on its input clock if that is still due (MORVEL_ZELP7X_BOARD_CLOCK_WHEN_ALLOWED
 * held it back) and the chip now allows it; otherwise does nothing and returns 0. Hosts call it
 * after a load, which may have started a secured chip's firmware.
 * @return 0, or the configuration call's error code (MORVEL_ZELP_ERROR_ARG for a null board).
 * @threads One call at a time per board.
 * @never Prints or exits. */
int morvel_zelp7x_board_settle_clock(morvel_zelp7x_board_s *board);

/** Whether firmware runs on the chip and answers: a NOP mailbox request, which only a running
 * firmware completes, given at most `bound_ms` for its answer. Needs a board opened with
 * `wait_for_answers`.
 * @param board the board.
 * @param bound_ms the longest the answer may take.
 * @param answers receives 1 when the firmware answered in time, else 0.
 * @return 0 (silence or a refused answer is no failure: `*answers` says 0), a transport's error
 *   code, or MORVEL_ZELP_ERROR_ARG for a null argument or a board that does not wait for answers.
 * @threads One call at a time per board.
 * @never Prints or exits. */
int morvel_zelp7x_board_probe_firmware(morvel_zelp7x_board_s *board, unsigned int bound_ms,
                                       int *answers);

/** The board I/O handle behind a device handle: the board's when a board open started the
 * library on it, else the integration record's own `d` (a host that put its board I/O handle
 * there). The flash library reaches the bridge's own commands through it.
 * @anythread */
morvel_evb_io_handle_t morvel_zelp7x_board_device_io(const morvel_zelp_device_s *zelp);

/** The input clock a board kind drives the chip with, in Hz: 32768 over the USB bridge
 * (ZELP_IO_DEVICE_TYPE_USB), 16000000 over SPI.
 * @anythread */
int morvel_zelp7x_board_default_input_freq(int io_device_type);

/** Called once for each attached supported bridge, in search order. */
typedef void (*morvel_zelp7x_board_bridge_f)(const zelp_io_bridge_s *bridge, void *user);

/** Calls `each` for every attached supported bridge, in the order the search takes them (the
 * first is the one a null port opens), as zelp7x_flash --list shows them.
 * @return 0, or the listing's error code (then `each` was not called).
 * @threads Any thread; reads the system's device records only.
 * @never Sends anything to a board, opens one, prints or exits. */
int morvel_zelp7x_board_bridges(morvel_zelp7x_board_bridge_f each, void *user);

/** The port an open with `port` would take, without opening it: "serial=S[,params]" resolved to
 * that bridge's port with the parameters after it, any other name as it is. A null `port` gives
 * "" (the search decides at open) and says through `message`, when several bridges are attached,
 * which one the search takes.
 * @param port as morvel_zelp7x_board_options_s takes it.
 * @param chosen receives the port name, NUL-terminated.
 * @param chosen_size the room at `chosen`, NUL included.
 * @param message may be null; gets the lines the choice has to say, refusals included.
 * @param message_user passed to `message`.
 * @param failure filled on failure (step "io_init", the refusal in `reason`); may be null.
 * @return 0, MORVEL_ZELP_ERROR_ARG for no bridge or several with that serial number, a null
 *   argument or too little room, or the listing's error code.
 * @threads Any thread.
 * @never Opens a board, prints or exits. */
int morvel_zelp7x_board_choose_port(const char *port, char *chosen, size_t chosen_size,
                                    morvel_zelp7x_board_message_f message, void *message_user,
                                    morvel_zelp7x_board_failure_s *failure);

#ifdef __cplusplus
}
#endif

#endif
