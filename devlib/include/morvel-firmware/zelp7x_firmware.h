/** @file
 * Records shared with the zelp7x firmware: the firmware pointer table and the words of the
 * firmware state record the host reads. Firmware formats; offsets are binding. */
#ifndef ZELP7X_FIRMWARE_H
#define ZELP7X_FIRMWARE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** Where a running firmware keeps its pointer table. */
#define MORVEL_ZELP7X_FW_POINTERS_ADDRESS 0x1FFFC0C0u

/** Word indices of the firmware pointer table; the other words are not read by the host. */
typedef enum zelp7x_fw_state_address_index_e {
    ZELP7X_FW_STATE_ADDRESS_INDEX_FW_STATE = 0,
    ZELP7X_FW_STATE_ADDRESS_INDEX_TANK_START = 5,
    ZELP7X_FW_STATE_ADDRESS_INDEX_TANK_END = 6,
    ZELP7X_FW_STATE_ADDRESS_INDEX_COUNT = 8
} zelp7x_fw_state_address_index_e;

/** The pointer table: 8 little-endian words. */
typedef struct zelp7x_fw_state_pointers_s {
    uint32_t addr[ZELP7X_FW_STATE_ADDRESS_INDEX_COUNT];
} zelp7x_fw_state_pointers_s;

/** Byte offsets inside the firmware state record zelp7x_fw_state_s, which begins with the host
 * interface record. Only the words the host touches are named. */
typedef enum zelp7x_fw_state_offset_e {
    ZELP7X_FW_STATE_TANKPTR = 0,
    ZELP7X_FW_STATE_MATCH_RING_SIZE = 4,
    ZELP7X_FW_STATE_MATCH_PRODUCER = 8,
    ZELP7X_FW_STATE_MATCH_RING = 12,           /* 10 entries: summary word, then tankptr */
    ZELP7X_FW_STATE_RAW_STRENGTHS = 100,       /* one byte per class */
    ZELP7X_FW_STATE_SOFTMAX_STRENGTHS = 132,   /* 32 words */
    ZELP7X_FW_STATE_WINNER_ONE_HOT = 260,      /* 2 words of class bits */
    ZELP7X_FW_STATE_SERIAL = 284,              /* zelp7x_fw_serial_s */
    ZELP7X_FW_STATE_MATCH_SKIPPED = 408,       /* m2h_match_skipped */
    ZELP7X_FW_STATE_SENSOR_RAW_PRODUCER = 436, /* byte position in the sensor ring */
    ZELP7X_FW_STATE_SENSOR_RAW_SAMPLES = 440,  /* sensor ring, 128 words */
    ZELP7X_FW_STATE_POSTERIOR_PARAMETERS = 952,
    ZELP7X_FW_STATE_AGC = 6644,
    ZELP7X_FW_STATE_POSTERIOR_STATE = 6840
} zelp7x_fw_state_offset_e;

/** @name Record sizes
 * @{ */
/** Bytes of a record a debug dump copies (state, gain control, posterior state), and of the
 * sensor sample ring. */
#define ZELP7X_FW_STATE_SIZE 8584u
#define ZELP7X_FW_AGC_STATE_SIZE 192u
#define ZELP7X_FW_POSTERIOR_STATE_SIZE 80u
#define ZELP7X_FW_SENSOR_RAW_SIZE 512u
/** @} */

/** @name Match ring
 * @{ */
/** The match ring: ZELP7X_MATCH_RING_SIZE entries of ZELP7X_MATCH_ENTRY_SIZE bytes, each the
 * summary word (class in the low byte, then SNR, confidence and noise threshold bytes, as the
 * shifts and masks give them) and the tank position of the match. */
#define ZELP7X_MATCH_RING_SIZE 10u
#define ZELP7X_MATCH_ENTRY_SIZE 8u
#define ZELP7X_MATCH_SNR_SHIFT 8
#define ZELP7X_MATCH_SNR_MASK 0xFF00u
#define ZELP7X_MATCH_CONFIDENCE_SHIFT 16
#define ZELP7X_MATCH_CONFIDENCE_MASK 0xFF0000u
#define ZELP7X_MATCH_NOISE_THRESHOLD_SHIFT 24
#define ZELP7X_MATCH_NOISE_THRESHOLD_MASK 0xFF000000u
#define ZELP7X_MATCH_NO_TANKPTR 0x80u /**< set: the entry's tankptr is not a match position */
/** @} */

/** @name Serial transfer record
 * @{ */
/** The serial transfer record's fields: the host fills control and data, sets RUN and sends a
 * mailbox NOP; the firmware runs the transfer, puts the input bytes into data and clears RUN.
 * STATUS is 0 for success, 1 for a timeout, 2 for an error; CONTINUE keeps the device selected
 * afterwards. */
#define ZELP7X_FW_SERIAL_BYTE_MAX 12u
#define ZELP7X_FW_SERIAL_CONTROL_RUN 0x1u
#define ZELP7X_FW_SERIAL_CONTROL_CONTINUE 0x2u
#define ZELP7X_FW_SERIAL_CONTROL_STATUS_S 6
#define ZELP7X_FW_SERIAL_CONTROL_STATUS_M 0xC0u
#define ZELP7X_FW_SERIAL_CONTROL_ADDRESS_S 8
#define ZELP7X_FW_SERIAL_CONTROL_OUT_LEN_S 16
#define ZELP7X_FW_SERIAL_CONTROL_IN_LEN_S 22
/** @} */

/** The serial transfer record in the firmware state. */
typedef struct zelp7x_fw_serial_s {
    uint32_t control;
    uint8_t data[ZELP7X_FW_SERIAL_BYTE_MAX];
} zelp7x_fw_serial_s;

#ifdef __cplusplus
}
#endif

#endif
