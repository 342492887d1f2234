/* Mailbox protocol between the host and the zelp7x firmware: byte layout, codes and state. */
#ifndef MORVEL_ZELP7X_MAILBOX_H
#define MORVEL_ZELP7X_MAILBOX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define MORVEL_ZELP7X_DEVICE_MAX_DATA 32

typedef enum morvel_zelp7x_device_mailbox_directions_e {
    MORVEL_ZELP7X_DEVICE_MAILBOX_HOST_TO_MCU = 0,
    MORVEL_ZELP7X_DEVICE_MAILBOX_MCU_TO_HOST = 1,
    MORVEL_ZELP7X_DEVICE_MAILBOX_DIRECTIONS = 2
} morvel_zelp7x_device_mailbox_directions_e;

/* Per-direction mailbox state kept in the device record. */
typedef struct morvel_zelp7x_device_mb_state_s {
    uint8_t data[4];
    uint8_t error;
    uint8_t op;
    uint8_t phase;
    uint8_t index;
    uint8_t bits;
    uint8_t out;
    uint8_t unexpected;
} morvel_zelp7x_device_mb_state_s;

#ifdef __cplusplus
}
#endif

#endif
