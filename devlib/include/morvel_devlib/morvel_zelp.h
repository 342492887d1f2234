/** @file
 * Generic device API: the device handle, the host's integration interfaces and the calls that
 * dispatch to the chip family's driver.
 *
 * A host fills a morvel_zelp_integration_interfaces_s with its callbacks and calls
 * morvel_zelp_init, which allocates the handle through the host's malloc, reads the device type,
 * picks the driver and starts the chip. Every other call checks the handle
 * (MORVEL_ZELP_ERROR_UNINIT for a null or uninitialised one) and runs the driver between the
 * host's sync and unsync callbacks; it returns the driver's code, or unsync's when the driver
 * succeeded. The library reaches the chip only through the host's transfer callback. */
#ifndef MORVEL_ZELP_H
#define MORVEL_ZELP_H

#include <stdint.h>

#include "morvel_devlib/morvel_zelp7x.h"
#include "morvel_devlib/morvel_zelp_driver.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "morvel_packager/morvel_package.h"

#ifdef __cplusplus
extern "C" {
#endif

/** The host's own handle (its board I/O handle, say): the library passes it back unchanged as
 * the first argument of every host callback but malloc and free, and never looks into it. */
typedef void *morvel_zelp_handle_t;

/** Returns a block of `size` bytes, or null. Called only by morvel_zelp_init, for the handle. */
typedef void *(*morvel_zelp_malloc_f)(int size);
/** Releases a block from the host's malloc: a handle on a failed init or on uninit with `free`. */
typedef void (*morvel_zelp_free_f)(void *p);
/** Called right after the driver posted a mailbox request. The driver reads the request's outcome
 * as soon as this returns, so a host that wants the firmware's answer takes it in first (through
 * morvel_zelp_poll). Returns 0 or an error code, which ends the request. */
typedef int (*morvel_zelp_mbwait_f)(morvel_zelp_handle_t d);
/** Stores the chip's device type code in `*type` (SPI register 0, or what the host was told);
 * returns 0 or an error code. Called by init, before sync. */
typedef int (*morvel_zelp_get_device_type_f)(morvel_zelp_handle_t d, unsigned int *type);
/** Takes the host's exclusive access to the device for one library call; returns 0 or an error
 * code, in which case the call does nothing more and returns that code. */
typedef int (*morvel_zelp_sync_f)(morvel_zelp_handle_t d);
/** Gives back what sync took; called once after every sync that succeeded. */
typedef int (*morvel_zelp_unsync_f)(morvel_zelp_handle_t d);
/** Moves `count` bytes at `address` of the chip's SPI register space (`mcu` 0) or MCU memory
 * space (`mcu` nonzero): to the chip from `out` (then `in` is null) or from it into `in` (then
 * `out` is null). Returns 0 or an error code. The board I/O layer's zelp_linux_io_transfer is
 * one. */
typedef int (*morvel_zelp_transfer_f)(morvel_zelp_handle_t d, int mcu, uint32_t address, void *out,
                                      void *in, unsigned int count);

/** The host's side of the library: its handle and callbacks. Init copies the record into the
 * device handle, so the host's copy may go once init has returned. Every callback is required;
 * sync and unsync may simply return 0 in a host with one thread. */
typedef struct morvel_zelp_integration_interfaces_s {
    morvel_zelp_handle_t d; /**< passed back to every callback but malloc and free */
    morvel_zelp_malloc_f malloc;
    morvel_zelp_free_f free;
    morvel_zelp_mbwait_f mbwait;
    morvel_zelp_get_device_type_f get_type;
    morvel_zelp_sync_f sync;
    morvel_zelp_unsync_f unsync;
    morvel_zelp_transfer_f transfer;
} morvel_zelp_integration_interfaces_s;

/** Chip families, as morvel_zelp_get_device_family tells them from a device type code. */
typedef enum morvel_zelp_device_type_e {
    MORVEL_ZELP_INV_DEV_ID = -1, /**< no family of this library */
    MORVEL_ZELP_7X = 0,          /**< zelp7x: the driver of this library */
    MORVEL_ZELP_80 = 1           /**< the second family, which has no driver here */
} morvel_zelp_device_type_e;
/** The family type under its older name. */
typedef morvel_zelp_device_type_e morvel_zelp_device_type_t;

/** State of the second chip family; declared for the handle's layout, never used here. */
typedef struct morvel_zelp80_device_s {
    uint32_t reserved[64];
} morvel_zelp80_device_s;

/** The device handle. morvel_zelp_init allocates it through the host's malloc (or takes one the
 * host passes) and the host owns it from then on; uninit with `free` releases it. Hosts read its
 * fields at most: the library keeps its state for the chip here and nowhere else. */
struct morvel_zelp_device_s {
    morvel_zelp_integration_interfaces_s iif; /**< the host's record, copied by init */
    morvel_zelp_driver_s *driver;             /**< the family's driver, chosen by init */
    unsigned int device_type;                 /**< the code get_type reported */
    uint8_t init;                     /**< 1 once init succeeded; every other call refuses 0 */
    morvel_pkg_parser_state_t pstate; /**< the package reader's state during a load */
    union {
        morvel_zelp7x_device_s zelp7x; /**< the zelp7x driver's state */
        morvel_zelp80_device_s zelp80; /**< room for the second family; unused */
    } d;                               /**< the driver's state for the chip */
};

/** What morvel_zelp_get_config reports: the device and the texts the last package load left in
 * the chip. The caller provides each text buffer (or null) with its size in the matching `_len`
 * field, a multiple of 4; the call stores there the length of the text the chip holds. */
struct morvel_zelp_config_s {
    unsigned int device_id;
    const char *device_type;
    unsigned int classes;
    char *firmware_version;
    unsigned int firmware_version_len;
    char *parameters_version;
    unsigned int parameters_version_len;
    char *labels;
    unsigned int labels_len;
    char *pkg_version;
    unsigned int pkg_version_len;
    char *dsp_firmware_version;
    unsigned int dsp_firmware_version_len;
};

/** What morvel_zelp_send_data delivers: a stream through the sample input port, or static
 * features at an offset in their memory. */
typedef enum morvel_zelp_send_data_type_e {
    MORVEL_ZELP_SEND_DATA_TYPE_STREAMING = 0,
    MORVEL_ZELP_SEND_DATA_TYPE_FEATURE_STATIC = 1
} morvel_zelp_send_data_type_e;

/** What morvel_zelp_extract_data takes out of the chip. Types 2 and 4 are refused. */
typedef enum morvel_zelp_extract_type_e {
    MORVEL_ZELP_EXTRACT_TYPE_INPUT = 0, /* tank audio */
    MORVEL_ZELP_EXTRACT_TYPE_FEATURES = 1,
    MORVEL_ZELP_EXTRACT_TYPE_FEATURE_STATIC = 3,
    MORVEL_ZELP_EXTRACT_TYPE_INPUT_ANNOTATED = 4,
    MORVEL_ZELP_EXTRACT_TYPE_RAW_ACCEL = 5, /* sensor samples */
    MORVEL_ZELP_EXTRACT_TYPE_LAST = 5
} morvel_zelp_extract_type_e;

/** Where an extraction from a ring (the tank, the sensor samples) starts. */
typedef enum morvel_zelp_extract_from_e {
    MORVEL_ZELP_EXTRACT_FROM_MATCH = 0,  /* the bytes that end at the last match */
    MORVEL_ZELP_EXTRACT_FROM_UNREAD = 1, /* where the previous extraction stopped */
    MORVEL_ZELP_EXTRACT_FROM_OLDEST = 2, /* the oldest byte still in the ring */
    MORVEL_ZELP_EXTRACT_FROM_NEWEST = 3  /* the bytes that end at the newest one */
} morvel_zelp_extract_from_e;

/** Which class strengths morvel_zelp_get_match_strength reads. */
typedef enum morvel_zelp_strength_type_e {
    MORVEL_ZELP_STRENGTH_RAW = 0,    /**< the network's outputs, a byte per class */
    MORVEL_ZELP_STRENGTH_SOFTMAX = 1 /**< the firmware's softmax, a word per class */
} morvel_zelp_strength_type_e;

/** The library's version text, "v79".
 * @return static text; the caller must not change it.
 * @anythread */
char *morvel_zelp_devlib_version(void);
/** The chip family of a device type code: the zelp7x driver's codes (morvel_zelp7x_device_types)
 * are zelp7x, 0x30 to 0x3B the second family, anything else none (MORVEL_ZELP_INV_DEV_ID).
 * @anythread */
morvel_zelp_device_type_t morvel_zelp_get_device_family(unsigned int device_id);
/** The driver for a device type code: the zelp7x driver for the zelp7x family, else null.
 * @return static data.
 * @anythread */
morvel_zelp_driver_s *morvel_zelp_get_driver(unsigned int device_type);

/** Starts the library on a chip. With `*zelpp` null the handle is allocated through
 * `iif->malloc` and stored in `*zelpp`; a handle the caller passes is reused (`iif` may then be
 * null to keep its callbacks). Reads the device type through get_type, picks the driver, and
 * runs the driver's init under the host's lock: RESET resets the chip and detects a secured one,
 * RESTART adopts a running chip and its firmware, NO_TOUCH sends nothing.
 * @return 0, MORVEL_ZELP_ERROR_ARG without a handle pointer or with neither handle nor `iif`,
 *   MORVEL_ZELP_ERROR_NOMEM, MORVEL_ZELP_ERROR_FAIL for a type without a driver, or the first
 *   failure of a callback or of the driver.
 * @ownership On failure a handle this call allocated is released through `iif->free` and
 *   `*zelpp` is null again; a handle the caller passed stays, refusing every call until an init
 *   succeeds. The record `iif` is copied; the host may drop its own.
 * @locked
 * @quiet */
int morvel_zelp_init(morvel_zelp_device_s **zelpp, morvel_zelp_integration_interfaces_s *iif,
                     morvel_zelp_init_mode_e init_mode);
/** Ends the library's use of a chip: the handle refuses every call from the start of this one,
 * whatever follows. The driver's uninit runs under the host's lock (RESET resets the chip).
 * @param zelp the handle
 * @param free nonzero: release the handle through the host's free, also when the driver failed
 * @param init_mode what to do to the chip
 * @return MORVEL_ZELP_ERROR_UNINIT for a handle that is not initialised, else the driver's or
 *   unsync's code.
 * @locked
 * @quiet */
int morvel_zelp_uninit(morvel_zelp_device_s *zelp, int free, morvel_zelp_init_mode_e init_mode);

/** The bytes of one register access in a space: 1 in the SPI space (`mcu` 0), 4 in the MCU space.
 * @threads Takes no lock and sends nothing.
 * @quiet */
int morvel_zelp_op_size(morvel_zelp_device_s *zelp, int mcu, unsigned int *size);
/** Reads one register: a byte in the SPI space, a little-endian word in the MCU space, into
 * `value`, which has room for morvel_zelp_op_size bytes.
 * @locked
 * @quiet */
int morvel_zelp_read(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value);
/** Writes the low morvel_zelp_op_size bytes of `value` to one register, least significant first.
 * @locked
 * @quiet */
int morvel_zelp_write(morvel_zelp_device_s *zelp, int mcu, uint32_t address, uint32_t value);
/** Reads `count` bytes from `address` on; MCU memory a secured chip protects is read through the
 * firmware's secure access block. A range that would run past the end of the address space is
 * refused (MORVEL_ZELP_ERROR_ARG); `count` 0 reads nothing.
 * @locked
 * @quiet */
int morvel_zelp_read_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                           unsigned int count);
/** Writes `count` bytes from `address` on, as morvel_zelp_read_block reads them.
 * @locked
 * @quiet */
int morvel_zelp_write_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                            unsigned int count);

/** Enables the interrupt causes in `*on` (morvel_zelp_interrupt_e bits, or
 * MORVEL_ZELP_INTERRUPT_DEFAULT) and stores in `*on` the causes enabled before; a negative `*on`
 * only asks.
 * @locked
 * @quiet */
int morvel_zelp_interrupts(morvel_zelp_device_s *zelp, int *on);
/** What the chip signals: reads its interrupt status (acknowledging it when `clear` is nonzero),
 * takes in the firmware's mailbox messages, and stores morvel_zelp_notification_e bits in
 * `*notifications`; MATCH while a match is waiting for morvel_zelp_get_match_summary.
 * @locked
 * @quiet */
int morvel_zelp_poll(morvel_zelp_device_s *zelp, uint32_t *notifications, int clear);
/** Loads a package in pieces of any size: a call with `len` 0 starts a load, then each piece
 * returns MORVEL_ZELP_ERROR_MORE until the package's checksum record has come, and 0 after it. A
 * secured chip without firmware takes the package through its boot loader (pieces of whole
 * words); any other chip has it walked by the package reader and each tag applied as it
 * completes.
 * @return MORVEL_ZELP_ERROR_MORE, 0, or MORVEL_ZELP_ERROR_PACKAGE for a package the reader or the
 *   boot loader refuses; the chip then holds what the tags before the failure applied.
 * @ownership The piece is read during the call only.
 * @locked
 * @quiet */
int morvel_zelp_load(morvel_zelp_device_s *zelp, void *package, int len);
/** Fills `config`: `device_id` with the handle's device type, the type's name, the classes and
 * the version texts and labels the chip's host configuration area holds, each cut to the
 * caller's buffer. With every `_len` field 0 nothing is read from the chip: the call stores the
 * lengths it knows, so the host can size its buffers.
 * @return MORVEL_ZELP_ERROR_ARG for a buffer size that is not a multiple of 4.
 * @locked
 * @quiet */
int morvel_zelp_get_config(morvel_zelp_device_s *zelp, morvel_zelp_config_s *config);
/** Sends `len` bytes into the chip: a stream through the sample input port (`offset` 0), or whole
 * words of static features at `offset` in their memory.
 * @return MORVEL_ZELP_ERROR_ARG for `len` 0, before the host's lock is taken, or for static
 *   features that do not fit their memory.
 * @locked
 * @quiet */
int morvel_zelp_send_data(morvel_zelp_device_s *zelp, uint8_t *data, unsigned int len, int type,
                          uint32_t offset);
/** Takes data out of the chip: `*len` bytes (a multiple of 4) of a ring from where `from` says, or
 * of a fixed area from its start, into `data`. With `data` null nothing is read and the read
 * position stays. On return `*len` holds the bytes available. Ring positions and sizes read from
 * the chip are checked, so no read runs outside the ring or the caller's buffer.
 * @locked
 * @quiet */
int morvel_zelp_extract_data(morvel_zelp_device_s *zelp, int type, int from, uint8_t *data,
                             unsigned int *len);
/** The next match in the firmware's match ring (0 when none is waiting; without firmware, the
 * chip's match register): the class in the low byte, then SNR, confidence and noise bytes. Each
 * match is reported once.
 * @locked
 * @quiet */
int morvel_zelp_get_match_summary(morvel_zelp_device_s *zelp, uint32_t *summary);
/** The winning classes as bits, `len` bytes (a multiple of 4).
 * @locked
 * @quiet */
int morvel_zelp_get_match_binary(morvel_zelp_device_s *zelp, uint8_t *matches, unsigned int len);
/** The class strengths of the last network run, `len` bytes (a multiple of 4) of the kind `type`
 * names (morvel_zelp_strength_type_e); the softmax strengths need running firmware.
 * @locked
 * @quiet */
int morvel_zelp_get_match_strength(morvel_zelp_device_s *zelp, uint8_t *strengths, unsigned int len,
                                   int type);

#ifdef __cplusplus
}
#endif

#endif
