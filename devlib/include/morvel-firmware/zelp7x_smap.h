/** @file
 * The chip's open RAM, and the secure memory access block there: the window through which the
 * firmware of a secured chip reads and writes memory on the host's behalf. A chip format; offsets
 * are binding. */
#ifndef ZELP7X_SMAP_H
#define ZELP7X_SMAP_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** The chip's open RAM: the one stretch of its memory the host may write on any chip, secured or
 * not. The boot loader takes a secured chip's firmware through it as its load window; a running
 * firmware keeps this block there. */
#define ZELP7X_OPEN_RAM_BASE 0x20017C00u
/** The open RAM's size in bytes. */
#define ZELP7X_OPEN_RAM_SIZE 1024u

/** Where the block lies: it fills the open RAM. */
#define ZELP7X_FW_SMAP_BASE ZELP7X_OPEN_RAM_BASE
/** The block's size: the control and address words, then the data. */
#define ZELP7X_FW_SMAP_SIZE ZELP7X_OPEN_RAM_SIZE
/** Bytes of the control and address words. */
#define ZELP7X_FW_SMAP_CONTROL_SIZE 8u
/** Most bytes one operation moves. */
#define ZELP7X_FW_SMAP_DATA_SIZE 1016u

/** @name Control word
 * @{ */
/** Fields of the control word: bit 0 RUN (host sets, firmware clears when done), bits 1-2 OP,
 * bits 3-5 STATUS, bits 16-25 LEN (byte count). */
#define ZELP7X_FW_SMAP_CONTROL_RUN_M 0x1u
#define ZELP7X_FW_SMAP_CONTROL_OP_S 1
#define ZELP7X_FW_SMAP_CONTROL_OP_M 0x6u
#define ZELP7X_FW_SMAP_CONTROL_STATUS_S 3
#define ZELP7X_FW_SMAP_CONTROL_STATUS_M 0x38u
#define ZELP7X_FW_SMAP_CONTROL_LEN_S 16
#define ZELP7X_FW_SMAP_CONTROL_LEN_M 0x3FF0000u
/** @} */

/** What the firmware is asked to do. */
typedef enum zelp7x_fw_smap_op_e {
    ZELP7X_FW_SMAP_OP_READ = 0,
    ZELP7X_FW_SMAP_OP_WRITE = 1,
    ZELP7X_FW_SMAP_OP_LOAD = 2
} zelp7x_fw_smap_op_e;

/** How it went. */
typedef enum zelp7x_fw_smap_status_e {
    ZELP7X_FW_SMAP_STATUS_SUCCESS = 0,
    ZELP7X_FW_SMAP_STATUS_UNSUP = 1,
    ZELP7X_FW_SMAP_STATUS_ACCESS = 2,
    ZELP7X_FW_SMAP_STATUS_SIZE = 3,
    ZELP7X_FW_SMAP_STATUS_AES = 4,
    ZELP7X_FW_SMAP_STATUS_MORE = 5,
    ZELP7X_FW_SMAP_STATUS_FAIL = 6
} zelp7x_fw_smap_status_e;

/** The block. */
typedef struct zelp7x_fw_smap_s {
    uint32_t control;
    uint32_t address;
    uint8_t data[ZELP7X_FW_SMAP_DATA_SIZE];
} zelp7x_fw_smap_s;

#ifdef __cplusplus
}
#endif

#endif
