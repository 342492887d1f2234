/* Records shared with the zelp7x firmware: the firmware pointer table and the words of the
 * firmware state record the host reads. Firmware formats; offsets are binding. */
#ifndef ZELP7X_FIRMWARE_H
#define ZELP7X_FIRMWARE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Where a running firmware keeps its pointer table. */
#define MORVEL_ZELP7X_FW_POINTERS_ADDRESS 0x1FFFC0C0u

/* Word indices of the firmware pointer table; the other words are not read by the host. */
typedef enum zelp7x_fw_state_address_index_e {
    ZELP7X_FW_STATE_ADDRESS_INDEX_FW_STATE = 0,
    ZELP7X_FW_STATE_ADDRESS_INDEX_TANK_START = 5,
    ZELP7X_FW_STATE_ADDRESS_INDEX_TANK_END = 6,
    ZELP7X_FW_STATE_ADDRESS_INDEX_COUNT = 8
} zelp7x_fw_state_address_index_e;

/* The pointer table: 8 little-endian words. */
typedef struct zelp7x_fw_state_pointers_s {
    uint32_t addr[ZELP7X_FW_STATE_ADDRESS_INDEX_COUNT];
} zelp7x_fw_state_pointers_s;

/* Byte offsets inside the firmware state record zelp7x_fw_state_s, which begins with the host
 * interface record. Only the words the host touches are named. */
typedef enum zelp7x_fw_state_offset_e {
    ZELP7X_FW_STATE_TANKPTR = 0,
    ZELP7X_FW_STATE_MATCH_RING_SIZE = 4,
    ZELP7X_FW_STATE_MATCH_PRODUCER = 8,
    ZELP7X_FW_STATE_MATCH_RING = 12,
    ZELP7X_FW_STATE_POSTERIOR_PARAMETERS = 952,
    ZELP7X_FW_STATE_AGC = 6644,
    ZELP7X_FW_STATE_POSTERIOR_STATE = 6840
} zelp7x_fw_state_offset_e;

#ifdef __cplusplus
}
#endif

#endif
