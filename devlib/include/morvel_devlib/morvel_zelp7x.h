/* The zelp7x driver: per-device record and public driver functions. */
#ifndef MORVEL_ZELP7X_H
#define MORVEL_ZELP7X_H

#include <stdint.h>

#include "morvel_devlib/morvel_zelp7x_config.h"
#include "morvel_devlib/morvel_zelp7x_mailbox.h"
#include "morvel_devlib/morvel_zelp7x_package_parser.h"
#include "morvel_devlib/morvel_zelp7x_posterior.h"
#include "morvel_devlib/morvel_zelp_driver.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct morvel_zelp_device_s morvel_zelp_device_s;
typedef struct morvel_zelp_config_s morvel_zelp_config_s;

/* Driver state of one zelp7x chip; lives inside the device handle. */
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

/* Driver table entries. */
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

/* Single-unit access: one byte in SPI space, one little-endian word in MCU space. */
int morvel_zelp7x_read(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value);
int morvel_zelp7x_write(morvel_zelp_device_s *zelp, int mcu, uint32_t address, uint32_t value);

/* Reads one MCU word through the SPI window (maddr/mdata); works before the chip has a clock. */
int morvel_zelp7x_slow_read(morvel_zelp_device_s *zelp, uint32_t addr, uint32_t *vp);

/* Waits for the firmware's answer to a mailbox request through the host's mbwait callback. */
int morvel_zelp7x_mbwait(morvel_zelp_device_s *zelp);

/* Interrupt causes: bit n of the chip's intctl enables cause n. */
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

/* Notifications reported by poll. */
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

/* General-purpose I/O: 8 pins, bit n of every mask and value is pin n. Outputs and values whose
 * mask bit is set are written; the flags ask for the current state back. */
typedef enum morvel_zelp7x_gpio_flags_e {
    MORVEL_ZELP7X_GPIO_FLAGS_GET_OUTS = 1,
    MORVEL_ZELP7X_GPIO_FLAGS_GET_VALUES = 2,
    MORVEL_ZELP7X_GPIO_FLAGS_SET_INPUT_ENABLE = 4,
    MORVEL_ZELP7X_GPIO_FLAGS_GET_INPUT_ENABLE = 8,
    MORVEL_ZELP7X_GPIO_FLAGS_ALL = 15
} morvel_zelp7x_gpio_flags_e;

typedef struct morvel_zelp7x_gpio_s {
    unsigned int flags;
    unsigned int set_outs_mask;
    unsigned int outs; /* output enables */
    unsigned int set_values_mask;
    unsigned int values; /* pin values */
    unsigned int input_enable;
} morvel_zelp7x_gpio_s;

int morvel_zelp7x_gpio(morvel_zelp_device_s *zelp, morvel_zelp7x_gpio_s *gpio);

/* A transfer to a serial device behind the chip, all output first, then input. With continue_
 * the device stays selected after the last byte. */
int morvel_zelp7x_serial_transfer(morvel_zelp_device_s *zelp, unsigned int ifc_type,
                                  unsigned int ifc_addr, uint8_t *out, unsigned int outlen,
                                  uint8_t *in, unsigned int inlen, int continue_);

/* Mailbox statistics and the frames the firmware missed; SET_CLEAR zeroes them after the report. */
typedef enum morvel_zelp7x_status_set_e {
    MORVEL_ZELP7X_STATUS_SET_CLEAR = 1,
    MORVEL_ZELP7X_STATUS_SET_MAILBOX_TRACE = 2,
    MORVEL_ZELP7X_STATUS_SET_ALL_M = 3
} morvel_zelp7x_status_set_e;

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

int morvel_zelp7x_status(morvel_zelp_device_s *zelp, morvel_zelp7x_status_s *status);

/* Firmware state records a debug dump copies whole; *len must be the record's size. */
typedef enum morvel_zelp_debug_extract_type_e {
    MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_FW_STATE = 0,  /* 8584 bytes */
    MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_AGC_STATE = 1, /* 192 bytes */
    MORVEL_ZELP7X_DEBUG_EXTRACT_TYPE_PH_STATE = 2   /* 80 bytes */
} morvel_zelp_debug_extract_type_e;

int morvel_zelp7x_debug_extract(morvel_zelp_device_s *zelp, int type, void *data,
                                unsigned int *len);
uint32_t morvel_zelp7x_get_fw_agc_addr(morvel_zelp_device_s *zelp);

/* Reset (secured: also request a secured boot), adopting a running chip, and the boot loader
 * program that repairs a chip stuck in its boot loader. */
int morvel_zelp7x_reset(morvel_zelp_device_s *zelp, int secured);
int morvel_zelp7x_restart(morvel_zelp_device_s *zelp);
int morvel_zelp7x_reset_fix(morvel_zelp_device_s *zelp);
void morvel_zelp7x_reset_firmware_state(morvel_zelp_device_s *zelp);
int morvel_zelp7x_load_fw_pointers(morvel_zelp_device_s *zelp);
int morvel_zelp7x_restore_config(morvel_zelp_device_s *zelp);

/* Boot loader mailbox (mbout/mbout_resp and mbin/mbin_resp in boot mode). */
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
    MORVEL_ZELP7X_OPEN_RAM_BASE = 0x20017C00,
    MORVEL_ZELP7X_OPEN_RAM_SIZE = 1024
} morvel_zelp7x_boot_const_e;

/* Polls the SPI register at address until its bit 7 equals owner; stores the value read. */
int morvel_zelp7x_wait_mb(morvel_zelp_device_s *zelp, uint32_t address, uint8_t owner, uint8_t *vp);
int morvel_zelp7x_boot_start(morvel_zelp_device_s *zelp);
int morvel_zelp7x_boot_burst(morvel_zelp_device_s *zelp);

/* The two roads of the load entry: a package walked by the reader and applied tag by tag, and
 * firmware streamed through the boot loader of a secured chip. A call with len 0 starts a load;
 * each piece answers MORVEL_ZELP_ERROR_MORE until the package is complete. Secured pieces are
 * whole words. */
int morvel_zelp7x_load_ordinary(morvel_zelp_device_s *zelp, void *chunk, int len);
int morvel_zelp7x_load_secured_firmware(morvel_zelp_device_s *zelp, void *chunk, unsigned int len);
/* FAIL when the chip's host configuration area holds texts other than those cached. */
int morvel_zelp7x_verify_configuration(morvel_zelp_device_s *zelp);

/* The reset-fix package, handed whole to the boot loader. */
extern const uint8_t zelp7x_reset_fix_v1_mvpkg[];
extern const unsigned int zelp7x_reset_fix_v1_mvpkg_size;
#ifdef __cplusplus
}
#endif

#endif
