/** @file
 * The zelp7x driver: its state for one chip and its calls beyond the generic API (GPIO, serial
 * transfers through the chip, status, debug dumps), with the steps of reset, boot and load that
 * hosts with needs of their own may call. */
#ifndef MORVEL_ZELP7X_H
#define MORVEL_ZELP7X_H

#include <stdint.h>

#include "morvel-firmware/zelp7x_smap.h"
#include "morvel_devlib/morvel_zelp7x_config.h"
#include "morvel_devlib/morvel_zelp7x_mailbox.h"
#include "morvel_devlib/morvel_zelp7x_package_parser.h"
#include "morvel_devlib/morvel_zelp7x_posterior.h"
#include "morvel_devlib/morvel_zelp_driver.h"

#ifdef __cplusplus
extern "C" {
#endif

/// @cond
typedef struct morvel_zelp_device_s morvel_zelp_device_s;
typedef struct morvel_zelp_config_s morvel_zelp_config_s;
/// @endcond

/** The driver's state for one zelp7x chip, inside the device handle (`zelp->d.zelp7x`): caches
 * of what the chip holds, read positions and the mailbox protocol's state. Hosts may read it; the
 * driver's calls change it. */
typedef struct morvel_zelp7x_device_s {
    unsigned int dnn_input;
    unsigned int tank_bits;
    unsigned int tank_input;
    unsigned int tank_size;
    unsigned int audio_frame_size;
    unsigned int audio_frame_step;
    unsigned int freq_frame_size;
    unsigned int dnn_frame_size;
    unsigned int input_clock_rate;
    uint32_t fw_pointers_addr;
    uint32_t fw_state_addr;
    uint32_t fw_agc_addr;
    uint32_t fw_posterior_state_addr;
    uint32_t fw_posterior_parameters_addr;
    uint32_t tank_address;
    uint32_t tank_max_size;
    uint32_t tank;
    unsigned int classes;
    unsigned int fwver_len;
    unsigned int paramver_len;
    unsigned int labels_len;
    unsigned int pkgver_len;
    unsigned int secured;
    unsigned int tlv_tag;
    unsigned int tlv_len;
    unsigned int tlv_parsed;
    unsigned int load_offset;
    unsigned int intctl;
    unsigned int fw_loaded;
    uint32_t addrprotlo[2];
    uint32_t addrprothi[2];
    uint8_t secured_fw_ver[32];
    unsigned int secured_fw_ver_len;
    uint32_t matches;
    uint32_t prev_matches;
    uint32_t tankptr_last;
    uint32_t tankptr_match;
    uint32_t match_ring_size;
    uint32_t match_producer;
    uint32_t match_consumer;
    uint32_t accelptr_last;
    morvel_zelp7x_device_mb_state_s mb[2];
    uint8_t mbin_resp;
    uint8_t mbin;
} morvel_zelp7x_device_s;

/** @name Driver operations
 * @{ */
/** A driver operation: what the generic call of the same name in morvel_zelp.h does for a zelp7x
 * chip (morvel_zelp_init calls morvel_zelp7x_init, and so on). Hosts call the generic calls.
 * @unlocked Called directly, it neither checks the handle's init flag nor takes the host's lock.
 * @quiet */
int morvel_zelp7x_init(morvel_zelp_device_s *zelp, morvel_zelp_init_mode_e init_mode);
int morvel_zelp7x_uninit(morvel_zelp_device_s *zelp, morvel_zelp_init_mode_e init_mode);
int morvel_zelp7x_op_size(morvel_zelp_device_s *zelp, int mcu, unsigned int *size);
int morvel_zelp7x_interrupts(morvel_zelp_device_s *zelp, int *causes);
int morvel_zelp7x_poll(morvel_zelp_device_s *zelp, uint32_t *notifications, int clear);
int morvel_zelp7x_load(morvel_zelp_device_s *zelp, void *chunk, int len);
int morvel_zelp7x_get_config(morvel_zelp_device_s *zelp, morvel_zelp_config_s *config);
int morvel_zelp7x_send_data(morvel_zelp_device_s *zelp, uint8_t *data, unsigned int len, int type,
                            uint32_t offset);
int morvel_zelp7x_extract_data(morvel_zelp_device_s *zelp, int type, int from, uint8_t *data,
                               unsigned int *lenp);
int morvel_zelp7x_get_match_summary(morvel_zelp_device_s *zelp, uint32_t *summary);
int morvel_zelp7x_get_match_binary(morvel_zelp_device_s *zelp, uint8_t *matches, unsigned int len);
int morvel_zelp7x_get_match_strength(morvel_zelp_device_s *zelp, uint8_t *strengths,
                                     unsigned int len, int type);
int morvel_zelp7x_read_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                             unsigned int count);
int morvel_zelp7x_write_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                              unsigned int count);
/** @} */

/** One register: a byte in the SPI space, a little-endian word in the MCU space.
 * @unlocked
 * @quiet */
int morvel_zelp7x_read(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value);
/** Writes one register, as morvel_zelp7x_read reads it.
 * @unlocked
 * @quiet */
int morvel_zelp7x_write(morvel_zelp_device_s *zelp, int mcu, uint32_t address, uint32_t value);

/** Reads one MCU word through the SPI register window (maddr/mdata), which works before the chip
 * has a clock; block reads take this way by themselves until the input clock is set.
 * @unlocked
 * @quiet */
int morvel_zelp7x_slow_read(morvel_zelp_device_s *zelp, uint32_t addr, uint32_t *vp);

/** Waits for the firmware's answer to the mailbox request just posted: calls the host's mbwait,
 * then returns its failure or the request's outcome.
 * @unlocked
 * @quiet */
int morvel_zelp7x_mbwait(morvel_zelp_device_s *zelp);

/** Interrupt causes for morvel_zelp_interrupts: bit n of the chip's intctl enables cause n. */
typedef enum morvel_zelp_interrupt_e {
    MORVEL_ZELP_INTERRUPT_MATCH = 0x1,
    MORVEL_ZELP_INTERRUPT_MAILBOX_IN = 0x2,
    MORVEL_ZELP_INTERRUPT_MAILBOX_OUT = 0x4,
    MORVEL_ZELP_INTERRUPT_DNN_FRAME = 0x8,
    MORVEL_ZELP_INTERRUPT_FEATURE = 0x10,
    MORVEL_ZELP_INTERRUPT_ADDRESS_ERROR = 0x20,
    MORVEL_ZELP_INTERRUPT_WATER_MARK = 0x40,
    MORVEL_ZELP_INTERRUPT_SPI_READ_FAILURE = 0x80,
    MORVEL_ZELP_INTERRUPT_ALL = 0xFF,
    MORVEL_ZELP_INTERRUPT_DEFAULT = 0x100
} morvel_zelp_interrupt_e;

/** What morvel_zelp_poll reports, as bits. */
typedef enum morvel_zelp_notification_e {
    MORVEL_ZELP_NOTIFICATION_ERROR = 0x1,
    MORVEL_ZELP_NOTIFICATION_MATCH = 0x2,
    MORVEL_ZELP_NOTIFICATION_DNN = 0x4,
    MORVEL_ZELP_NOTIFICATION_MAILBOX_IN = 0x8,
    MORVEL_ZELP_NOTIFICATION_MAILBOX_OUT = 0x10,
    MORVEL_ZELP_NOTIFICATION_WATER_MARK = 0x20,
    MORVEL_ZELP_NOTIFICATION_FEATURE = 0x40,
    MORVEL_ZELP_NOTIFICATION_EXTRACT_READY = 0x80,
    MORVEL_ZELP_NOTIFICATION_ALL_M = 0xFF
} morvel_zelp_notification_e;

/** What morvel_zelp7x_gpio reports back, and whether it sets the input enable. */
typedef enum morvel_zelp7x_gpio_flags_e {
    MORVEL_ZELP7X_GPIO_FLAGS_GET_OUTS = 1,
    MORVEL_ZELP7X_GPIO_FLAGS_GET_VALUES = 2,
    MORVEL_ZELP7X_GPIO_FLAGS_SET_INPUT_ENABLE = 4,
    MORVEL_ZELP7X_GPIO_FLAGS_GET_INPUT_ENABLE = 8,
    MORVEL_ZELP7X_GPIO_FLAGS_ALL = 15
} morvel_zelp7x_gpio_flags_e;

/** The chip's 8 general-purpose pins: bit n of every mask and value is pin n. Outputs and values
 * whose mask bit is set are written; the flags ask for the state back into the same fields. */
typedef struct morvel_zelp7x_gpio_s {
    unsigned int flags;           /**< morvel_zelp7x_gpio_flags_e */
    unsigned int set_outs_mask;   /**< output enables to write */
    unsigned int outs;            /**< output enables */
    unsigned int set_values_mask; /**< pin values to write */
    unsigned int values;          /**< pin values */
    unsigned int input_enable;    /**< 0 or 1 */
} morvel_zelp7x_gpio_s;

/** Sets and reads the general-purpose pins as `gpio` asks: output enables first, then values,
 * then the input enable.
 * @return MORVEL_ZELP_ERROR_ARG for unknown flags or a mask beyond the 8 pins, before anything is
 *   sent.
 * @threads Each register access takes the host's lock on its own, so another thread's access may
 *   come between them.
 * @quiet */
int morvel_zelp7x_gpio(morvel_zelp_device_s *zelp, morvel_zelp7x_gpio_s *gpio);

/** A transfer with a serial device behind the chip (I2C at a 7-bit address, or one of the SPI
 * ports), run by the firmware: all of `out` goes first, then `inlen` bytes come into `in`. With
 * `continue_` nonzero the device stays selected after the last byte.
 * @return MORVEL_ZELP_ERROR_UNINIT without running firmware, MORVEL_ZELP_ERROR_ARG for an
 *   interface or address the chip cannot reach or a length without a buffer.
 * @locked The whole transfer runs under one lock.
 * @quiet */
int morvel_zelp7x_serial_transfer(morvel_zelp_device_s *zelp, unsigned int ifc_type,
                                  unsigned int ifc_addr, uint8_t *out, unsigned int outlen,
                                  uint8_t *in, unsigned int inlen, int continue_);

/** What morvel_zelp7x_status changes besides reporting. */
typedef enum morvel_zelp7x_status_set_e {
    MORVEL_ZELP7X_STATUS_SET_CLEAR = 1,         /**< zero the counters after the report */
    MORVEL_ZELP7X_STATUS_SET_MAILBOX_TRACE = 2, /**< set the trace level to `mailbox_trace` */
    MORVEL_ZELP7X_STATUS_SET_ALL_M = 3
} morvel_zelp7x_status_set_e;

/** Mailbox statistics in both directions (the process-wide counters of
 * morvel_devlib/morvel_zelp7x_mailbox.h) and the match reports the firmware had to skip. */
typedef struct morvel_zelp7x_status_s {
    unsigned int set;
    int mailbox_trace;
    uint32_t h2m_mailbox_req;
    uint32_t h2m_mailbox_rsp;
    uint32_t h2m_mailbox_unexpected;
    uint32_t h2m_mailbox_error;
    uint32_t m2h_mailbox_req;
    uint32_t m2h_mailbox_rsp;
    uint32_t m2h_mailbox_unexpected;
    uint32_t m2h_mailbox_error;
    uint32_t missed_frames;
} morvel_zelp7x_status_s;

/** Reports the mailbox counters and, with running firmware, its missed frames; `status->set` may
 * also set the trace level and clear the counters and the firmware's count.
 * @threads The counters are the process's, shared by every handle and read without a lock; the
 *   firmware's count is read under the host's lock.
 * @quiet */
int morvel_zelp7x_status(morvel_zelp_device_s *zelp, morvel_zelp7x_status_s *status);

/** Firmware state records morvel_zelp7x_debug_extract copies whole. */
typedef enum morvel_zelp_debug_extract_type_e {
    MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_FW_STATE = 0,  /* 8584 bytes */
    MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_AGC_STATE = 1, /* 192 bytes */
    MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_PH_STATE = 2   /* 80 bytes */
} morvel_zelp_debug_extract_type_e;

/** Copies a whole firmware state record into `data`.
 * @param zelp the handle, with running firmware (else MORVEL_ZELP_ERROR_UNINIT)
 * @param type a morvel_zelp_debug_extract_type_e
 * @param data room for the record
 * @param len the record's size exactly (else MORVEL_ZELP_ERROR_ARG)
 * @locked
 * @quiet */
int morvel_zelp7x_debug_extract(morvel_zelp_device_s *zelp, int type, void *data,
                                unsigned int *len);
/** Where the running firmware keeps its gain control state; 0 without firmware or handle.
 * @threads Reads the handle only. */
uint32_t morvel_zelp7x_get_fw_agc_addr(morvel_zelp_device_s *zelp);

/** @name Reset, restart and boot steps
 * What init runs for each mode, for hosts that drive a chip through them themselves.
 * @{ */
/** Resets the chip and forgets its firmware; with `secured` nonzero asks for a secured boot. A
 * chip whose first boot ROM word reads 0 is secured; an open one is then made ready for the host.
 * @unlocked
 * @quiet */
int morvel_zelp7x_reset(morvel_zelp_device_s *zelp, int secured);
/** Adopts a chip as it runs: its configuration, the mailbox's state, the texts of the last load
 * and, with running firmware, its pointer table and match ring, taking in what it signalled.
 * @unlocked
 * @quiet */
int morvel_zelp7x_restart(morvel_zelp_device_s *zelp);
/** Runs the reset-fix package (zelp7x_reset_fix_v1_mvpkg) through the boot loader, which repairs a
 * chip stuck in it.
 * @unlocked
 * @quiet */
int morvel_zelp7x_reset_fix(morvel_zelp_device_s *zelp);
/** Forgets the firmware: mailbox state, pointers, match ring positions. Sends nothing.
 * @unlocked */
void morvel_zelp7x_reset_firmware_state(morvel_zelp_device_s *zelp);
/** Reads the running firmware's pointer table and caches the addresses of its state record, tank
 * and match ring; a table that describes no tank gives a tank of size 0.
 * @unlocked
 * @quiet */
int morvel_zelp7x_load_fw_pointers(morvel_zelp_device_s *zelp);
/** Caches the lengths of the texts (labels, versions) the chip's host configuration area holds.
 * @unlocked
 * @quiet */
int morvel_zelp7x_restore_config(morvel_zelp_device_s *zelp);
/** @} */

/** The boot loader's mailbox codes (mbout/mbout_resp and mbin/mbin_resp in boot mode) and its
 * open-RAM window. */
typedef enum morvel_zelp7x_boot_const_e {
    MORVEL_ZELP7X_BOOT_MB_REQUEST_BOOTING = 17,
    MORVEL_ZELP7X_BOOT_MB_REQUEST_LOAD = 9,
    MORVEL_ZELP7X_BOOT_MB_REQUEST_BURST = 1,
    MORVEL_ZELP7X_BOOT_MB_RESPONSE_DONE = 0,
    MORVEL_ZELP7X_BOOT_MB_RESPONSE_MORE = 1,
    MORVEL_ZELP7X_BOOT_MB_RESPONSE_ERROR = 0x20,
    MORVEL_ZELP7X_BOOT_MB_RESPONSE_ERROR_FAIL = 0,
    MORVEL_ZELP7X_BOOT_MB_ERROR_MASK = 0x1F,
    MORVEL_ZELP7X_BOOT_MB_OWNER_MASK = 0x80,
    MORVEL_ZELP7X_BOOT_MB_PAYLOAD_MASK = 0x7F,
    MORVEL_ZELP7X_OPEN_RAM_BASE = ZELP7X_OPEN_RAM_BASE,
    MORVEL_ZELP7X_OPEN_RAM_SIZE = ZELP7X_OPEN_RAM_SIZE
} morvel_zelp7x_boot_const_e;

/** @name Boot loader exchange
 * @{ */
/** Polls the SPI register at `address` until its bit 7 equals `owner` (a bounded number of
 * reads), acknowledges the interrupt, and stores the value read in `*vp` (may be null).
 * @return MORVEL_ZELP_ERROR_TIMEOUT when the boot loader never answered.
 * @unlocked
 * @quiet */
int morvel_zelp7x_wait_mb(morvel_zelp_device_s *zelp, uint32_t address, uint8_t owner, uint8_t *vp);
/** Answers the boot loader's announcement and asks it to load.
 * @return 0 once it waits for the first window, MORVEL_ZELP_ERROR_FAIL for any other answer.
 * @unlocked
 * @quiet */
int morvel_zelp7x_boot_start(morvel_zelp_device_s *zelp);
/** Hands the filled open-RAM window to the boot loader.
 * @return MORVEL_ZELP_ERROR_MORE for the next window, 0 when the package was taken,
 *   MORVEL_ZELP_ERROR_PACKAGE for a package it refused, MORVEL_ZELP_ERROR_FAIL for its own
 *   failure.
 * @unlocked
 * @quiet */
int morvel_zelp7x_boot_burst(morvel_zelp_device_s *zelp);
/** @} */

/** @name Load
 * The two roads of the driver's load: a package walked by the package reader and applied tag by
 * tag, and firmware streamed through the boot loader of a secured chip. A call with `len` 0
 * starts a load; each piece answers MORVEL_ZELP_ERROR_MORE until the package is complete.
 * Secured pieces are whole words.
 * @{ */
/** A load through the package reader, each tag applied by its handler as it completes.
 * @unlocked
 * @quiet */
int morvel_zelp7x_load_ordinary(morvel_zelp_device_s *zelp, void *chunk, int len);
/** A secured chip's firmware package, streamed still enciphered through the boot loader's
 * open-RAM window; the call stops after the checksum record.
 * @unlocked
 * @quiet */
int morvel_zelp7x_load_secured_firmware(morvel_zelp_device_s *zelp, void *chunk, unsigned int len);
/** Compares the lengths of the texts the chip's host configuration area holds with those cached.
 * @return MORVEL_ZELP_ERROR_FAIL when one differs.
 * @unlocked
 * @quiet */
int morvel_zelp7x_verify_configuration(morvel_zelp_device_s *zelp);
/** @} */

/** The reset-fix package, handed whole to the boot loader. Constant data. */
extern const uint8_t zelp7x_reset_fix_v1_mvpkg[];
/** The reset-fix package's size in bytes. */
extern const unsigned int zelp7x_reset_fix_v1_mvpkg_size;
#ifdef __cplusplus
}
#endif

#endif
