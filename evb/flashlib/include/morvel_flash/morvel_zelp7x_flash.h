/** @file
 * The SPI NOR flash behind a zelp7x chip, for host programs: its JEDEC ID, erases, page
 * programming, reads and verification, over the chip's MSPI registers or through the USB
 * bridge's own flash commands.
 *
 * Every call works on one caller-owned session record and keeps no state of its own, so distinct
 * boards may be flashed from distinct threads at once. No call prints or exits: each returns a
 * library error code (morvel_devlib/morvel_zelp_error.h) and, on failure, fills the caller's
 * failure record with the failing step and a message.
 *
 * One session, one call at a time. A call on a session record that is already in a call (from
 * that call's progress callback, or from another thread) is refused with MORVEL_ZELP_ERROR_BUSY
 * before anything is sent, and the first call goes on undisturbed. Calls are not queued: waiting
 * would deadlock a progress callback that calls its own session, or one that waits for a thread
 * which calls it. Hosts that share a board between threads take turns themselves (one lock around
 * each call) or give each thread a board of its own. Two session records over one device handle
 * are one board: the same rule applies, and the library cannot see it. */
#ifndef MORVEL_ZELP7X_FLASH_H
#define MORVEL_ZELP7X_FLASH_H

#include <stdint.h>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_evb_io/morvel_evb_io.h"
#include "morvel_evb_io/zelp_linux_io.h"

#ifdef __cplusplus
extern "C" {
#endif

/** Which way flash bytes travel. */
typedef enum morvel_zelp7x_flash_path_e {
    MORVEL_ZELP7X_FLASH_PATH_MSPI = 0,   /**< SPI commands through the chip's MSPI registers */
    MORVEL_ZELP7X_FLASH_PATH_BRIDGE = 1, /**< the bridge firmware's flash read and write commands */
} morvel_zelp7x_flash_path_e;

/** What went wrong, and so how the message reads. */
typedef enum morvel_zelp7x_flash_failure_kind_e {
    MORVEL_ZELP7X_FLASH_FAILED_NONE = 0,
    /** A register access or bridge command failed; the message is "STEP failed: ERROR-NAME". */
    MORVEL_ZELP7X_FLASH_FAILED_CALL = 1,
    /** The flash stayed busy past its time limit; "flash wait expired after N MS". */
    MORVEL_ZELP7X_FLASH_FAILED_WAIT = 2,
    /** The call was refused before anything was sent: a size that is not a multiple of 4, a range
     * past the flash, a session already in a call. */
    MORVEL_ZELP7X_FLASH_FAILED_ARGUMENT = 3,
} morvel_zelp7x_flash_failure_kind_e;

/** Why a call failed. Every call clears the record first and fills it on failure; it is the
 * caller's, and may be null where the caller needs only the code. */
typedef struct morvel_zelp7x_flash_failure_s {
    int status; /**< the error code the call returned */
    morvel_zelp7x_flash_failure_kind_e kind;
    const char *step;  /**< static text: "mspi ctl write", "flash wait", ... */
    char message[128]; /**< the whole message, without a newline */
    /** Why, in the board I/O layer's words, when a board open failed for a reason it gave
     * ("cannot open /dev/ttyACM7: No such file or directory"), or the bridge choice's refusal;
     * "" otherwise. */
    char reason[256];
} morvel_zelp7x_flash_failure_s;

/** Progress of a long phase ("Erase", "Program", "Read"): `fraction` from 0 to 1. Called on the
 * calling thread, during the call; a flash call it makes on the same session is refused. */
typedef void (*morvel_zelp7x_flash_progress_f)(const char *phase, double fraction, void *user);

/** The board I/O calls the flash operations make besides register access. Hosts leave `board`
 * null for the board I/O layer's own; tests put recorders in their place. */
typedef struct morvel_zelp7x_flash_board_calls_s {
    int (*bridge_command)(morvel_evb_io_handle_t d, int command, uint32_t addr, uint8_t *data,
                          uint16_t len);
    int (*pipeline_begin)(morvel_evb_io_handle_t d, void *buf, int len);
    int (*pipeline_end)(morvel_evb_io_handle_t d);
} morvel_zelp7x_flash_board_calls_s;

/** One board's flash: the session record every call takes. `zelp` is an initialised device handle
 * over the board I/O layer: one morvel_zelp7x_board_open started (morvel_board), or one whose
 * integration record's `d` is the board I/O handle itself. The caller owns the record and what it
 * points to; the library keeps nothing of it after a call. Start it zeroed: calls write to it
 * (`in_call`, and `capacity` when they learn it), so it may not be const. One call at a time per
 * board: the calls run whole sequences of register accesses that must not interleave, and a second
 * call on a record in a call is refused. */
typedef struct morvel_zelp7x_flash_s {
    morvel_zelp_device_s *zelp;
    morvel_zelp7x_flash_path_e path;
    morvel_zelp7x_flash_progress_f progress;        /**< may be null */
    void *progress_user;                            /**< passed to `progress` */
    const morvel_zelp7x_flash_board_calls_s *board; /**< null: the board I/O layer's */
    /** Bytes the flash holds: every call refuses a range that reaches past it, with the text of
     * morvel_zelp7x_flash_check_range. 0 when not known: then only the 16 MiB that 3-byte flash
     * addresses reach bound a call. The host may set it; read_id sets it when it is 0 and the ID
     * names a size, and morvel_zelp7x_flash_board_session fills it from the board's open. */
    uint32_t capacity;
    int in_call; /**< the library's: nonzero while a call runs on this record */
} morvel_zelp7x_flash_s;

/** Flash bytes a JEDEC device ID's capacity code (its low byte) stands for: 2^code for 0x10 to
 * 0x18, 0 for a code not known.
 * @anythread */
uint32_t morvel_zelp7x_flash_capacity(uint16_t device_id);

/** Whether [address, address + count) fits a flash of `capacity` bytes (0: not known, then the
 * 16 MiB that 3-byte flash addresses reach). A range that ends exactly at the end fits. Every
 * call below refuses its range with this text before anything is sent.
 * @return 0 when it fits; else MORVEL_ZELP_ERROR_ARG, and the failure record (which may be null)
 *   says "flash range 0xFIRST to 0xEND does not fit the N-byte flash" (end exclusive) or, without
 *   a capacity, "WHAT at 0xADDRESS, N bytes, goes beyond the 16 MiB that 3-byte flash addresses
 *   reach", with `what` naming the range.
 * @anythread */
int morvel_zelp7x_flash_check_range(uint32_t capacity, uint64_t address, uint64_t count,
                                    const char *what, morvel_zelp7x_flash_failure_s *failure);

/** The JEDEC ID: vendor byte and the 16-bit device ID (memory type, capacity code), and the
 * capacity that code stands for. `capacity` may be null. A vendor byte of 0xFF (a data line
 * nothing drives) is read once more after the flash has finished any program or erase it is busy
 * with, as a flash a cut-off run left busy answers so; a flash that stays busy past the 64 KiB
 * erase's limit fails the call with "flash wait expired".
 * @threads One call at a time per board; distinct boards in parallel.
 * @never Prints, exits or keeps a pointer to its arguments. */
int morvel_zelp7x_flash_read_id(morvel_zelp7x_flash_s *flash, uint8_t *vendor, uint16_t *device_id,
                                uint32_t *capacity, morvel_zelp7x_flash_failure_s *failure);

/** Erases every 4 KiB sector that [address, address + count) touches, with a 64 KiB block erase
 * for each whole aligned block inside it.
 * @threads One call at a time per board; distinct boards in parallel.
 * @never Prints, exits or keeps a pointer to its arguments. */
int morvel_zelp7x_flash_erase(morvel_zelp7x_flash_s *flash, uint32_t address, uint32_t count,
                              morvel_zelp7x_flash_failure_s *failure);
/** Erases the whole flash chip.
 * @threads One call at a time per board; distinct boards in parallel.
 * @never Prints, exits or keeps a pointer to its arguments. */
int morvel_zelp7x_flash_erase_chip(morvel_zelp7x_flash_s *flash,
                                   morvel_zelp7x_flash_failure_s *failure);

/** Programs `count` bytes (a multiple of 4) page by page; the flash must be erased there.
 * @threads One call at a time per board; distinct boards in parallel.
 * @never Prints, exits or keeps a pointer to its arguments. */
int morvel_zelp7x_flash_program(morvel_zelp7x_flash_s *flash, uint32_t address, const uint8_t *data,
                                uint32_t count, morvel_zelp7x_flash_failure_s *failure);

/** Reads `count` bytes (a multiple of 4) into `buf`.
 * @threads One call at a time per board; distinct boards in parallel.
 * @never Prints, exits or keeps a pointer to its arguments. */
int morvel_zelp7x_flash_read(morvel_zelp7x_flash_s *flash, uint32_t address, uint8_t *buf,
                             uint32_t count, morvel_zelp7x_flash_failure_s *failure);

/** What morvel_zelp7x_flash_verify found. */
typedef struct morvel_zelp7x_flash_verify_s {
    uint32_t differences;      /**< bytes that differ */
    uint32_t first_difference; /**< flash address of the first one (when any) */
} morvel_zelp7x_flash_verify_s;

/** Reads [address, address + count) and compares it with `data`; a difference is not a failure.
 * @threads One call at a time per board; distinct boards in parallel.
 * @never Prints, exits or keeps a pointer to its arguments. */
int morvel_zelp7x_flash_verify(morvel_zelp7x_flash_s *flash, uint32_t address, const uint8_t *data,
                               uint32_t count, morvel_zelp7x_flash_verify_s *result,
                               morvel_zelp7x_flash_failure_s *failure);

/** Bridge path: announces an image of `total` flash bytes before its first write.
 * @threads One call at a time per board; distinct boards in parallel.
 * @never Prints, exits or keeps a pointer to its arguments. */
int morvel_zelp7x_flash_start_of_file(morvel_zelp7x_flash_s *flash, uint32_t total,
                                      morvel_zelp7x_flash_failure_s *failure);

/** A further piece of a write: `count` bytes at `address`. */
typedef struct morvel_zelp7x_flash_piece_s {
    uint32_t address;    /**< where its first byte goes */
    const uint8_t *data; /**< its bytes; the caller's */
    uint32_t count;      /**< how many */
} morvel_zelp7x_flash_piece_s;

/** How morvel_zelp7x_flash_write writes. */
typedef struct morvel_zelp7x_flash_write_options_s {
    int skip_unchanged; /**< send only what differs from what the flash holds */
    /** Bytes from `address` to erase as well (MSPI path); every sector of that span ends blank
     * but for the data, and with `skip_unchanged` is erased only when it does not already hold
     * what it must. */
    uint32_t erase_count;
    /** More pieces written in the same pass, such as a descriptor at the end of the erase span:
     * each sector is planned once with everything that lands in it, so with `skip_unchanged` a
     * sector that already holds the data and the pieces is not touched. Pieces may not overlap
     * each other or the data. Null (with `piece_count` 0): none. */
    const morvel_zelp7x_flash_piece_s *pieces;
    uint32_t piece_count; /**< how many `pieces` there are */
} morvel_zelp7x_flash_write_options_s;

/** What morvel_zelp7x_flash_write did. */
typedef struct morvel_zelp7x_flash_write_stats_s {
    uint32_t sectors;           /**< 4 KiB sectors the data and the pieces touch */
    uint32_t sectors_unchanged; /**< of those, already holding the data */
    uint32_t sectors_erased;
    uint32_t pages_programmed;
} morvel_zelp7x_flash_write_stats_s;

/** Writes `data` at `address`: erases the sectors it touches and programs it. With
 * `skip_unchanged` it reads those sectors first and sends only what differs: nothing for a sector
 * that already holds what it must, a program of the differing pages where the data only clears
 * bits, else an erase and a program of the pages that are not blank, with the sector's bytes
 * outside the data (and outside the erase span) programmed back as they were. On the bridge path
 * a changed sector is sent whole (the bridge erases it) and an unchanged one not at all. `count`
 * need not be a multiple of 4: the flash bytes after the data keep what they hold (with
 * `skip_unchanged`) or end erased. `options` may be null (a plain write), and so may `stats`.
 * @threads One call at a time per board; distinct boards in parallel.
 * @never Prints, exits or keeps a pointer to its arguments. */
int morvel_zelp7x_flash_write(morvel_zelp7x_flash_s *flash, uint32_t address, const uint8_t *data,
                              uint32_t count, const morvel_zelp7x_flash_write_options_s *options,
                              morvel_zelp7x_flash_write_stats_s *stats,
                              morvel_zelp7x_flash_failure_s *failure);

/** A board opened as zelp7x_flash opens it, through morvel_zelp7x_board_open (morvel_board):
 * its board I/O handle and device handle, and the flash's capacity. */
typedef struct morvel_zelp7x_flash_board_s morvel_zelp7x_flash_board_s;

/** Opens a board as zelp7x_flash opens it: the board I/O layer on `port` (a name -s takes: "sim",
 * "sim:FILE,opts", a serial device, or null for the first supported bridge), the device library
 * started with a chip reset, the chip's input clock set (`input_freq` in Hz, or 0 for the board
 * kind's default), and the flash's JEDEC ID read, so the board knows the flash's capacity.
 * @return 0 with the board in `*board`, or the failing step's code with `failure` filled (a port
 *   that did not open: step "io_init", the board I/O layer's reason in `reason`); whatever was
 *   opened is closed again.
 * @ownership The board is the caller's until morvel_zelp7x_flash_board_close.
 * @threads Any thread. The device handle's host lock does nothing: one thread uses a board at a
 *   time, and distinct boards may be used from distinct threads.
 * @never Prints or exits itself; the board I/O layer prints its own lines (see
 *   morvel_zelp7x_flash_board_open_with for a host that takes them). */
int morvel_zelp7x_flash_board_open(const char *port, int input_freq,
                                   morvel_zelp7x_flash_board_s **board,
                                   morvel_zelp7x_flash_failure_s *failure);
/** How a board is opened, field by field as zelp7x_flash's options give it. Fill it with
 * morvel_zelp7x_flash_board_options_init, which puts in the tool's defaults, then change what the
 * host wants. */
typedef struct morvel_zelp7x_flash_board_options_s {
    const char *port;         /**< as for morvel_zelp7x_flash_board_open */
    int input_freq;           /**< Hz; 0 or below: the board kind's default */
    unsigned int device_type; /**< the chip's type, low 8 bits; 0: read it from the chip */
    int spi_default_speed;    /**< bridge SPI speeds in bits/s; 0 leaves the bridge's own */
    int spi_mcu_read_speed;
    int spi_sample_write_speed;
    int spi_split; /**< carried for other board I/O layers */
    int spi_read_delay;
    /** Read the flash's JEDEC ID once the clock is set (1 from options_init), so sessions over
     * the board know the flash's capacity; 0 leaves the flash alone, as a run through the
     * bridge's own flash commands does. */
    int read_id;
    /** Where the board I/O layer's lines go, as morvel_zelp7x_board_options_s.io_report says:
     * all zero (options_init) prints them as zelp7x_flash does; a callback takes every line of
     * the board, from the open to morvel_zelp7x_flash_board_close. */
    zelp_io_report_s io_report;
} morvel_zelp7x_flash_board_options_s;

/** Puts zelp7x_flash's defaults in `options` (null is ignored).
 * @anythread */
void morvel_zelp7x_flash_board_options_init(morvel_zelp7x_flash_board_options_s *options);
/** morvel_zelp7x_flash_board_open with every option the tool has, per board.
 * @ownership As morvel_zelp7x_flash_board_open; nothing is kept of `options`.
 * @threads As morvel_zelp7x_flash_board_open. */
int morvel_zelp7x_flash_board_open_with(const morvel_zelp7x_flash_board_options_s *options,
                                        morvel_zelp7x_flash_board_s **board,
                                        morvel_zelp7x_flash_failure_s *failure);
/** The input clock a board kind drives the chip with, in Hz: 32768 over the USB bridge
 * (ZELP_IO_DEVICE_TYPE_USB), 16000000 over SPI.
 * @anythread */
int morvel_zelp7x_flash_default_input_freq(int io_device_type);

/** The device handle to put in a session record; null for a null board.
 * @ownership The board keeps it; it lives until morvel_zelp7x_flash_board_close.
 * @anythread */
morvel_zelp_device_s *morvel_zelp7x_flash_board_device(const morvel_zelp7x_flash_board_s *board);
/** Fills `flash` with a session over the board: on the MSPI path, without progress, with the
 * board's device handle and the capacity its open read (0 when the ID was not read or names no
 * size). A null board leaves it zeroed; a null `flash` is ignored.
 * @ownership The record is the caller's; the device handle lives until
 *   morvel_zelp7x_flash_board_close.
 * @anythread */
void morvel_zelp7x_flash_board_session(const morvel_zelp7x_flash_board_s *board,
                                       morvel_zelp7x_flash_s *flash);
/** Ends the device library's use of the chip (leaving the chip as it is), closes the board I/O
 * handle and frees the board; null is ignored.
 * @ownership The board and its device handle are gone when the call returns.
 * @threads No other thread may use the board during or after the call. */
void morvel_zelp7x_flash_board_close(morvel_zelp7x_flash_board_s *board);

/** 3-byte encoding, for flashes read by loaders that take three data bytes per word: every
 * fourth flash byte (offsets 0, 4, 8, ...) is a 0xFF filler. The flash bytes for `count` data
 * bytes, rounded up to a multiple of 4 (plain when `three_byte` is 0).
 * @anythread */
int64_t morvel_zelp7x_flash_encoded_size(int64_t count, int three_byte);
/** The same without the rounding: the flash bytes up to and including the last data byte. The
 * bytes after it up to the rounded size are filler, not image: a changed-only write covers only
 * these, so the flash keeps its own bytes there.
 * @anythread */
int64_t morvel_zelp7x_flash_encoded_data_size(int64_t count, int three_byte);
/** Lays `count` data bytes out on `flash_count` flash bytes (fillers and the tail become 0xFF).
 * @anythread */
void morvel_zelp7x_flash_encode(const uint8_t *data, uint32_t count, int three_byte, uint8_t *flash,
                                uint32_t flash_count);

#ifdef __cplusplus
}
#endif

#endif
