/** @file
 * A host for the chip's firmware, as zelp7x_host is one: a session on an opened board, package
 * checks and loading, what the chip holds, the posterior tables, matches, extraction from the
 * rings and feature areas, recording the tank without a break, sending data, GPIO, serial
 * transfers through the chip, the mailbox counters and the firmware's state records.
 *
 * Every call on a session returns a library error code (morvel_devlib/morvel_zelp_error.h) and
 * hands its results back in the caller's records. Nothing here prints, ends the process or
 * writes a file: the command line and the Python package print and save what the calls return.
 *
 * One session, one call at a time. A call on a session that is already in a call (from a
 * recording's sound callback, or from another thread) is refused with MORVEL_ZELP_ERROR_BUSY
 * before it touches the chip, and the first call goes on undisturbed. Hosts that share a session
 * between threads take turns themselves. Sessions on distinct boards are independent, but the
 * device library's mailbox counters (morvel_zelp7x_host_status) are kept per process. */
#ifndef MORVEL_ZELP7X_HOST_H
#define MORVEL_ZELP7X_HOST_H

#include <stddef.h>
#include <stdint.h>

#include "morvel_board/morvel_zelp7x_board.h"
#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x.h"
#include "morvel_devlib/morvel_zelp7x_posterior.h"

#ifdef __cplusplus
extern "C" {
#endif

/** One session: an opened board with the device library started on it. */
typedef struct morvel_zelp7x_host_s morvel_zelp7x_host_s;

/** @name Session
 * @{ */

/** Puts a host's defaults in `options` (null is ignored): those of
 * morvel_zelp7x_board_options_init, with the chip reset (what a load needs).
 * @anythread */
void morvel_zelp7x_host_options_init(morvel_zelp7x_board_options_s *options);

/** Opens the board as morvel_zelp7x_board_open does, in the options' init mode, as a host of
 * firmware: mailbox requests wait for the firmware's answer, and the chip goes on its input clock
 * when it allows it (never in MORVEL_ZELP_INIT_MODE_NO_TOUCH; on a secured chip once a load has
 * started its firmware). The options' `clock` and `wait_for_answers` are set so whatever they
 * hold.
 * @param options how to open the board; nothing is kept of it.
 * @param host receives the session.
 * @param failure filled on failure as morvel_zelp7x_board_open fills it; may be null.
 * @return 0 with the session in `*host`, or the board open's error code with `*host` null.
 * @ownership The session is the caller's until morvel_zelp7x_host_close.
 * @threads Any thread; sessions on distinct boards share nothing.
 * @never Prints or exits itself (the board I/O layer writes its own failure lines). */
int morvel_zelp7x_host_open(const morvel_zelp7x_board_options_s *options,
                            morvel_zelp7x_host_s **host, morvel_zelp7x_board_failure_s *failure);

/** Gives the board back, leaving the chip as it is; null is ignored.
 * @ownership The session and its board are gone when the call returns.
 * @threads No other thread may use the session during or after the call. */
void morvel_zelp7x_host_close(morvel_zelp7x_host_s *host);

/** The session's board, for the board library's calls (its device handle, its I/O handle); null
 * for a null session.
 * @ownership The session keeps it; it lives until morvel_zelp7x_host_close.
 * @anythread */
morvel_zelp7x_board_s *morvel_zelp7x_host_board(const morvel_zelp7x_host_s *host);

/** The init mode a name stands for: "reset", "restart", "no-touch" or "reset-secured".
 * @param name the name.
 * @param mode receives the mode.
 * @return 0, or MORVEL_ZELP_ERROR_ARG for another name (then `*mode` is left alone).
 * @anythread */
int morvel_zelp7x_host_init_mode_named(const char *name, morvel_zelp_init_mode_e *mode);
/** @} */

/** @name Packages
 * @{ */

/** How reading an input file ended. */
typedef enum morvel_zelp7x_host_input_e {
    MORVEL_ZELP7X_HOST_INPUT_READ = 0,        /**< read to its end, or as far as it was needed */
    MORVEL_ZELP7X_HOST_INPUT_CANNOT_OPEN = 1, /**< it did not open */
    MORVEL_ZELP7X_HOST_INPUT_READ_ERROR = 2,  /**< reading it failed */
    MORVEL_ZELP7X_HOST_INPUT_TOO_LARGE = 3 /**< it ran past the 16 MiB every input is read within */
} morvel_zelp7x_host_input_e;

/** An input file's reading: how it ended, with the system's error number (errno; EFBIG past the
 * bound) when it failed. */
typedef struct morvel_zelp7x_host_input_s {
    morvel_zelp7x_host_input_e result;
    int system_error;
} morvel_zelp7x_host_input_s;

/** What the package reader says of a package file. */
typedef struct morvel_zelp7x_host_package_check_s {
    morvel_zelp7x_host_input_s input; /**< how reading the file ended */
    int result;      /**< 0, or the package reader's error code (morvel_pkg_error_name) */
    uint32_t offset; /**< the byte of the file where the reader stopped */
    uint32_t crc;    /**< the checksum the reader computed */
} morvel_zelp7x_host_package_check_s;

/** Walks the package file at `path` through the package reader, piece by piece as a load feeds
 * it, without touching any chip, so that a bad file is found before a load resets the chip.
 * @param path the file.
 * @param check receives the verdict.
 * @return 0 for a package the reader takes whole; MORVEL_ZELP_ERROR_PACKAGE when it refuses it
 *   (`result` and `offset` say where); MORVEL_ZELP_ERROR_FAIL when the file cannot be read
 *   (`input` says why); MORVEL_ZELP_ERROR_ARG for a null argument.
 * @threads Any thread; touches no board.
 * @never Prints or exits; memory stays bounded by one piece whatever the file holds. */
int morvel_zelp7x_host_check_package(const char *path, morvel_zelp7x_host_package_check_s *check);

/** Loads a package through the library's load entry, `chunk` bytes per call, then puts the chip
 * on its input clock if that waited for a firmware this package started.
 * @param host the session.
 * @param package the package's bytes.
 * @param size how many.
 * @param chunk bytes per call, 1 to INT_MAX.
 * @param loaded receives the bytes handed over; may be null.
 * @return 0; MORVEL_ZELP_ERROR_MORE for a package that ended before the library saw its end; the
 *   library's error; MORVEL_ZELP_ERROR_ARG for a bad chunk or a null argument;
 *   MORVEL_ZELP_ERROR_BUSY for a session in a call.
 * @threads One call at a time per session.
 * @never Prints or exits. */
int morvel_zelp7x_host_load(morvel_zelp7x_host_s *host, const uint8_t *package, size_t size,
                            size_t chunk, size_t *loaded);

/** morvel_zelp7x_host_load for the package in the file at `path`, read `chunk` bytes at a time and
 * each piece handed on as it is read, within 16 MiB.
 * @param host the session.
 * @param path the package file.
 * @param chunk bytes per call, 1 to INT_MAX.
 * @param loaded receives the bytes handed over; may be null.
 * @param input receives how reading the file ended; may be null.
 * @return as morvel_zelp7x_host_load, or MORVEL_ZELP_ERROR_FAIL when the file cannot be read
 *   (`input` says why; what was handed over before stays handed over).
 * @threads One call at a time per session.
 * @never Prints or exits. */
int morvel_zelp7x_host_load_file(morvel_zelp7x_host_s *host, const char *path, size_t chunk,
                                 size_t *loaded, morvel_zelp7x_host_input_s *input);
/** @} */

/** @name What the chip holds
 * @{ */

/** The room for a text of the chip's host configuration area: the whole area. */
#define MORVEL_ZELP7X_HOST_TEXT_SIZE 3072

/** What the chip holds. Each text is NUL-terminated at its first NUL within what the chip stores;
 * its `_len` is the length the chip reports, 0 when no package stored it. */
typedef struct morvel_zelp7x_host_info_s {
    unsigned int device_type;
    int secured;          /**< the chip boots secured */
    int firmware_running; /**< a firmware answered a mailbox request within 250 ms */
    char firmware_version[MORVEL_ZELP7X_HOST_TEXT_SIZE + 1];
    unsigned int firmware_version_len;
    char parameters_version[MORVEL_ZELP7X_HOST_TEXT_SIZE + 1];
    unsigned int parameters_version_len;
    char package_version[MORVEL_ZELP7X_HOST_TEXT_SIZE + 1];
    unsigned int package_version_len;
    /** The class names as stored, one NUL after each; `labels_read` bytes of them. */
    uint8_t labels[MORVEL_ZELP7X_HOST_TEXT_SIZE];
    unsigned int labels_len;  /**< the labels' length as the chip reports it */
    unsigned int labels_read; /**< the bytes in `labels` */
} morvel_zelp7x_host_info_s;

/** What the chip holds: its type, whether it boots secured, whether firmware runs and answers (the
 * pointer table a reset left in RAM does not count), and the texts the loaded packages stored.
 * @param host the session.
 * @param info receives it.
 * @return 0, the library's error, MORVEL_ZELP_ERROR_ARG for a null argument or
 *   MORVEL_ZELP_ERROR_BUSY.
 * @threads One call at a time per session.
 * @never Prints or exits. */
int morvel_zelp7x_host_info(morvel_zelp7x_host_s *host, morvel_zelp7x_host_info_s *info);

/** The class names alone, as the chip stores them (one NUL after each), in one configuration read.
 * @param host the session.
 * @param labels receives up to `room` bytes.
 * @param room the room at `labels`.
 * @param stored receives the labels' length as the chip reports it (may exceed `room`).
 * @return 0, the library's error, MORVEL_ZELP_ERROR_ARG or MORVEL_ZELP_ERROR_BUSY.
 * @threads One call at a time per session.
 * @never Prints or exits. */
int morvel_zelp7x_host_labels(morvel_zelp7x_host_s *host, uint8_t *labels, unsigned int room,
                              unsigned int *stored);
/** @} */

/** @name Posterior tables
 * @{ */

/** Reads the posterior tables without changing them: the header, and the records of `state` and
 * of its class `class_index`.
 * @param host the session.
 * @param state the state to read; null for none.
 * @param class_index the class of that state to read; null for none.
 * @param tables receives the tables.
 * @return 0; MORVEL_ZELP_ERROR_ARG for a state or class the tables do not have, a class without a
 *   state, or a null argument; the library's error; MORVEL_ZELP_ERROR_BUSY.
 * @threads One call at a time per session.
 * @never Prints or exits. */
int morvel_zelp7x_host_posterior(morvel_zelp7x_host_s *host, const uint32_t *state,
                                 const uint32_t *class_index,
                                 morvel_zelp7x_posterior_config_s *tables);

/** An action of the posterior tables, in words. */
typedef struct morvel_zelp7x_host_action_s {
    /** "match", "state" or "stay"; null for another type, shown by its number. */
    const char *name;
    uint32_t type;
    uint32_t arg; /**< the class to match or state to go to, or the second encoding's argument */
} morvel_zelp7x_host_action_s;

/** The timeout action of the state morvel_zelp7x_host_posterior read, in words.
 * @anythread */
void morvel_zelp7x_host_state_timeout_action(const morvel_zelp7x_posterior_config_s *tables,
                                             morvel_zelp7x_host_action_s *action);
/** The action of the class morvel_zelp7x_host_posterior read, in words.
 * @anythread */
void morvel_zelp7x_host_class_action(const morvel_zelp7x_posterior_config_s *tables,
                                     morvel_zelp7x_host_action_s *action);
/** @} */

/** @name Matches
 * @{ */

/** A match: the firmware's summary word and its fields. */
typedef struct morvel_zelp7x_host_match_s {
    uint32_t summary;
    uint32_t class_index;
    uint32_t snr;
    uint32_t confidence;
    uint32_t noise;
    int has_position; /**< the entry carries a tank position to take audio up to */
} morvel_zelp7x_host_match_s;

/** The fields of a summary word.
 * @anythread */
void morvel_zelp7x_host_match_of(uint32_t summary, morvel_zelp7x_host_match_s *match);

/** Enables the interrupts that bring matches in (causes already enabled stay so). Matches made
 * before this call may still be in the match ring; a host that wants only new ones takes those
 * with morvel_zelp7x_host_next_match and a wait of 0 first.
 * @return 0, the library's error, MORVEL_ZELP_ERROR_ARG or MORVEL_ZELP_ERROR_BUSY.
 * @threads One call at a time per session.
 * @never Prints or exits. */
int morvel_zelp7x_host_watch_matches(morvel_zelp7x_host_s *host);

/** Takes the next match the chip reports, waiting up to `wait_ms` for it: on the bridge's
 * interrupt report where the board has one, else polling every 2 ms.
 * @param host the session, after morvel_zelp7x_host_watch_matches.
 * @param wait_ms the longest wait; 0 looks once.
 * @param matched receives 1 when a match came, 0 when none did in time.
 * @param match receives the match; may be null.
 * @return 0 (with `*matched` saying whether a match came), the library's error,
 *   MORVEL_ZELP_ERROR_ARG or MORVEL_ZELP_ERROR_BUSY.
 * @threads One call at a time per session.
 * @never Prints or exits. */
int morvel_zelp7x_host_next_match(morvel_zelp7x_host_s *host, uint32_t wait_ms, int *matched,
                                  morvel_zelp7x_host_match_s *match);
/** @} */

/** @name Extraction
 * @{ */

/** The most bytes one extraction takes: more than any ring or area of the chip holds. */
#define MORVEL_ZELP7X_HOST_EXTRACT_MAX (1u << 20)

/** The extraction type (MORVEL_ZELP_EXTRACT_TYPE_*) a name stands for: "input" (the audio tank),
 * "features" (the network's inputs), "static" (static feature memory) or "accel" (the sensor
 * ring).
 * @param name the name.
 * @param type receives the type.
 * @return 0, or MORVEL_ZELP_ERROR_ARG for another name.
 * @anythread */
int morvel_zelp7x_host_extract_type_named(const char *name, int *type);
/** Where an extraction starts (MORVEL_ZELP_EXTRACT_FROM_*): "match", "unread", "oldest" or
 * "newest".
 * @param name the name.
 * @param from receives the start.
 * @return 0, or MORVEL_ZELP_ERROR_ARG for another name.
 * @anythread */
int morvel_zelp7x_host_extract_start_named(const char *name, int *from);

/** The tank's sample width in bits (16, or 8 when so configured) and its size in bytes, as the
 * last configuration left them.
 * @param host the session.
 * @param bits receives the width; may be null.
 * @param size receives the size; may be null.
 * @return 0, MORVEL_ZELP_ERROR_ARG or MORVEL_ZELP_ERROR_BUSY.
 * @threads One call at a time per session.
 * @never Prints, exits or touches the chip. */
int morvel_zelp7x_host_tank(morvel_zelp7x_host_s *host, unsigned int *bits, uint32_t *size);

/** The bytes an extraction of `type` from `from` takes when none are asked for: a whole feature
 * area; of a ring half from a match (it fills on while the match is fetched), a word less from
 * newest (the producer may stand inside one), else the whole ring. 0 for an unknown type.
 * @param host the session.
 * @param type the extraction type.
 * @param from where it starts.
 * @threads One call at a time per session.
 * @never Prints, exits or touches the chip. */
uint32_t morvel_zelp7x_host_extract_room(morvel_zelp7x_host_s *host, int type, int from);

/** Up to `room` bytes of a ring or feature area. From a match, the bytes that end at the match
 * last taken; right at a match the tank may not have moved on yet, so a refusal there is tried
 * again a few times, a millisecond apart.
 * @param host the session.
 * @param type the extraction type.
 * @param from where it starts.
 * @param data receives the bytes.
 * @param room the room at `data`: a multiple of 4, at most MORVEL_ZELP7X_HOST_EXTRACT_MAX.
 * @param taken receives the bytes taken.
 * @param available receives what the library reported available; may be null.
 * @return 0; MORVEL_ZELP_ERROR_ARG for a room that is no multiple of 4 or too large, an unknown
 *   type or start, the sensor ring from a match (its samples carry no match position), a null
 *   argument, or audio from a match that has been overwritten; the library's error;
 *   MORVEL_ZELP_ERROR_BUSY.
 * @threads One call at a time per session.
 * @never Prints or exits. */
int morvel_zelp7x_host_extract(morvel_zelp7x_host_s *host, int type, int from, uint8_t *data,
                               uint32_t room, uint32_t *taken, uint32_t *available);
/** @} */

/** @name Recording
 * @{ */

/** The longest recording: a day. */
#define MORVEL_ZELP7X_HOST_RECORD_MAX_MS 86400000u

/** Takes what one read of a recording brought, in the chip's own form (maybe nothing). The bytes
 * are the library's buffer and may be changed in place; they live until the callback returns.
 * Returns 0 to go on; anything else ends the recording with that status. Called on the
 * recording's thread, during the call; a call it makes on the same session is refused. */
typedef int (*morvel_zelp7x_host_sound_f)(uint8_t *bytes, size_t count, void *user);

/** What a recording brought. */
typedef struct morvel_zelp7x_host_recording_s {
    uint64_t samples; /**< samples handed to the callback */
    uint32_t gaps;    /**< stretches the firmware overwrote before they were read, left out */
} morvel_zelp7x_host_recording_s;

/** Where a recording starts: "unread" (where the previous take stopped) or "newest" (now).
 * @param name the name.
 * @param from receives MORVEL_ZELP_EXTRACT_FROM_UNREAD or _NEWEST.
 * @return 0, or MORVEL_ZELP_ERROR_ARG for another name.
 * @anythread */
int morvel_zelp7x_host_record_start_named(const char *name, int *from);

/** Records the tank without a break for `duration_ms`: reads what is unread every 2 ms, each read
 * kept clear of the producer, and hands the sound to `sound`. What the firmware overwrote before
 * it was read (the host's clock at the tank's rate tells) is counted as a gap and left out, never
 * filled in.
 * @param host the session.
 * @param from MORVEL_ZELP_EXTRACT_FROM_UNREAD or _NEWEST.
 * @param duration_ms how long, at most MORVEL_ZELP7X_HOST_RECORD_MAX_MS; 0 makes one read.
 * @param sound takes the sound.
 * @param user passed to `sound`.
 * @param recording receives the totals, whatever the outcome; may be null.
 * @return 0, the library's error or the callback's status, MORVEL_ZELP_ERROR_ARG or
 *   MORVEL_ZELP_ERROR_BUSY.
 * @threads One call at a time per session; the session is in the call for the whole recording.
 * @never Prints or exits. */
int morvel_zelp7x_host_record(morvel_zelp7x_host_s *host, int from, uint32_t duration_ms,
                              morvel_zelp7x_host_sound_f sound, void *user,
                              morvel_zelp7x_host_recording_s *recording);
/** @} */

/** @name Sending data
 * @{ */

/** Streams the file at `path` to the chip's sample input port
 * (MORVEL_ZELP_SEND_DATA_TYPE_STREAMING), or writes it into static feature memory from `offset`
 * on (MORVEL_ZELP_SEND_DATA_TYPE_FEATURE_STATIC), 64 KiB at a time as it is read, within 16 MiB.
 * @param host the session.
 * @param path the file.
 * @param type where it goes.
 * @param offset where in static feature memory it starts (streaming ignores it).
 * @param sent receives the bytes the chip took; may be null.
 * @param input receives how reading the file ended; may be null.
 * @return 0, the library's error, MORVEL_ZELP_ERROR_FAIL when the file cannot be read (`input`
 *   says why), MORVEL_ZELP_ERROR_ARG or MORVEL_ZELP_ERROR_BUSY.
 * @threads One call at a time per session.
 * @never Prints or exits. */
int morvel_zelp7x_host_send_file(morvel_zelp7x_host_s *host, const char *path, int type,
                                 uint32_t offset, size_t *sent, morvel_zelp7x_host_input_s *input);
/** @} */

/** @name GPIO
 * @{ */

/** Changes to the chip's eight GPIO pins, each only where its mask has bits. */
typedef struct morvel_zelp7x_host_pins_s {
    uint32_t outputs_mask; /**< these pins become outputs where `outputs` has a 1, else inputs */
    uint32_t outputs;
    uint32_t values_mask; /**< these pins take the bits of `values` */
    uint32_t values;
    int set_input_enable; /**< nonzero: set the input enable to `input_enable` */
    uint32_t input_enable;
} morvel_zelp7x_host_pins_s;

/** The chip's eight GPIO pins. */
typedef struct morvel_zelp7x_host_pin_state_s {
    uint32_t outputs; /**< a 1 for each output */
    uint32_t values;
    uint32_t input_enable;
} morvel_zelp7x_host_pin_state_s;

/** Makes the changes (none: nothing is written), then reads all eight pins back in a call of
 * their own, as the pins stand after them.
 * @param host the session.
 * @param changes may be null: only the read.
 * @param state receives the pins.
 * @return 0, the library's error, MORVEL_ZELP_ERROR_ARG for a mask or bits beyond eight pins, an
 *   input enable other than 0 or 1 or a null `state`, MORVEL_ZELP_ERROR_BUSY.
 * @threads One call at a time per session.
 * @never Prints or exits. */
int morvel_zelp7x_host_gpio(morvel_zelp7x_host_s *host, const morvel_zelp7x_host_pins_s *changes,
                            morvel_zelp7x_host_pin_state_s *state);
/** @} */

/** @name Serial transfers
 * @{ */

/** The most bytes one serial transfer moves each way. */
#define MORVEL_ZELP7X_HOST_SERIAL_MAX 65536u

/** The serial interface (MORVEL_ZELP7X_SERIAL_INTERFACE_*) a name stands for: "i2c" or "spi0" to
 * "spi3".
 * @param name the name.
 * @param interface receives the interface.
 * @return 0, or MORVEL_ZELP_ERROR_ARG for another name.
 * @anythread */
int morvel_zelp7x_host_serial_interface_named(const char *name, unsigned int *interface);

/** One transfer with a device behind the chip, through its running firmware: `out_count` bytes
 * out first, then `in_count` bytes in.
 * @param host the session.
 * @param interface the serial interface.
 * @param address the I2C address, or the chip-select GPIO for SPI.
 * @param out the bytes to send; may be null when `out_count` is 0.
 * @param out_count how many, at most MORVEL_ZELP7X_HOST_SERIAL_MAX.
 * @param in receives the bytes read; may be null when `in_count` is 0.
 * @param in_count how many, at most MORVEL_ZELP7X_HOST_SERIAL_MAX.
 * @return 0, the library's error (MORVEL_ZELP_ERROR_UNINIT without firmware),
 *   MORVEL_ZELP_ERROR_ARG or MORVEL_ZELP_ERROR_BUSY.
 * @threads One call at a time per session.
 * @never Prints or exits. */
int morvel_zelp7x_host_serial(morvel_zelp7x_host_s *host, unsigned int interface, uint32_t address,
                              const uint8_t *out, uint32_t out_count, uint8_t *in,
                              uint32_t in_count);
/** @} */

/** @name Status and state records
 * @{ */

/** The mailbox counters and the match reports the firmware skipped; with `clear` nonzero they
 * are zeroed after the report.
 * @param host the session.
 * @param clear nonzero to zero the counters.
 * @param status receives them.
 * @return 0, the library's error, MORVEL_ZELP_ERROR_ARG or MORVEL_ZELP_ERROR_BUSY.
 * @threads One call at a time per session; the counters are the process's.
 * @never Prints or exits. */
int morvel_zelp7x_host_status(morvel_zelp7x_host_s *host, int clear,
                              morvel_zelp7x_status_s *status);

/** The firmware state record (MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_*) a name stands for, with its
 * size: "fw", "agc" or "ph".
 * @param name the name.
 * @param type receives the record's type.
 * @param size receives its size in bytes; may be null.
 * @return 0, or MORVEL_ZELP_ERROR_ARG for another name.
 * @anythread */
int morvel_zelp7x_host_dump_named(const char *name, int *type, uint32_t *size);

/** A firmware state record, whole.
 * @param host the session.
 * @param type the record's type.
 * @param data receives the record.
 * @param room the room at `data`: at least the record's size.
 * @param size receives the record's size; may be null.
 * @return 0, the library's error, MORVEL_ZELP_ERROR_ARG for an unknown type, too little room or a
 *   null `data`, MORVEL_ZELP_ERROR_BUSY.
 * @threads One call at a time per session.
 * @never Prints or exits. */
int morvel_zelp7x_host_dump(morvel_zelp7x_host_s *host, int type, uint8_t *data, uint32_t room,
                            uint32_t *size);
/** @} */

#ifdef __cplusplus
}
#endif

#endif
