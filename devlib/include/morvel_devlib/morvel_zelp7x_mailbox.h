/** @file
 * The mailbox protocol between the host and the zelp7x firmware: the byte layout, the codes, the
 * driver's state for it, and the process-wide trace level and counters. */
#ifndef MORVEL_ZELP7X_MAILBOX_H
#define MORVEL_ZELP7X_MAILBOX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/// @cond
typedef struct morvel_zelp_device_s morvel_zelp_device_s;
/// @endcond

/** Most data bits one mailbox transfer moves. */
#define MORVEL_ZELP7X_DEVICE_MAX_DATA 32

/** Layout of the two mailbox bytes. mbin (host writes): bits 0-2 h2m request, bit 3 h2m owner,
 * bits 4-6 host's response to the m2h request, bit 7 m2h owner. mbin_resp (firmware writes):
 * bits 0-2 response to the h2m request, bit 3 h2m owner, bits 4-6 m2h request, bit 7 m2h owner. */
typedef enum morvel_zelp7x_mb_protcol_e {
    MORVEL_ZELP7X_MB_HOST_TO_MCU_OWNER = 0x08,
    MORVEL_ZELP7X_MB_HOST_TO_MCU_M = 0x07,
    MORVEL_ZELP7X_MB_HOST_TO_MCU_S = 0,
    MORVEL_ZELP7X_MB_MCU_TO_HOST_OWNER = 0x80,
    MORVEL_ZELP7X_MB_MCU_TO_HOST_M = 0x70,
    MORVEL_ZELP7X_MB_MCU_TO_HOST_S = 4
} morvel_zelp7x_mb_protcol_e;

/** Request codes. SER is host-to-MCU only, MATCH MCU-to-host only (they share code 2). MIADDR is
 * an extended request: it travels as EXTOP followed by its value in 6 data bits. */
typedef enum morvel_zelp7x_mb_request_e {
    MORVEL_ZELP7X_MB_REQUEST_NOP = 0,
    MORVEL_ZELP7X_MB_REQUEST_CONT = 1,
    MORVEL_ZELP7X_MB_REQUEST_SER = 2,
    MORVEL_ZELP7X_MB_REQUEST_MATCH = 2,
    MORVEL_ZELP7X_MB_REQUEST_EXTOP = 3,
    MORVEL_ZELP7X_MB_REQUEST_DATA = 4, /* 4 to 7: the low 2 bits carry data */
    MORVEL_ZELP7X_MB_REQUEST_MIADDR = 8
} morvel_zelp7x_mb_request_e;

/** Response codes. */
typedef enum morvel_zelp7x_mb_response_e {
    MORVEL_ZELP7X_MB_RESPONSE_SUCCESS = 0,
    MORVEL_ZELP7X_MB_RESPONSE_CONT = 1,
    MORVEL_ZELP7X_MB_RESPONSE_ERROR = 2, /* a 6-bit error code follows as data */
    MORVEL_ZELP7X_MB_RESPONSE_DATA = 4   /* 4 to 7 */
} morvel_zelp7x_mb_response_e;

/** Error codes that follow an ERROR response. */
typedef enum morvel_zelp7x_mb_error_e {
    MORVEL_ZELP7X_MB_ERROR_FAIL = 0,
    MORVEL_ZELP7X_MB_ERROR_UNEXPECTED = 1
} morvel_zelp7x_mb_error_e;

/** No message to send. */
#define MORVEL_ZELP7X_MB_NONE 255

/** The two directions, indices of morvel_zelp7x_device_s.mb. */
typedef enum morvel_zelp7x_device_mailbox_directions_e {
    MORVEL_ZELP7X_DEVICE_MAILBOX_HOST_TO_MCU = 0,
    MORVEL_ZELP7X_DEVICE_MAILBOX_MCU_TO_HOST = 1,
    MORVEL_ZELP7X_DEVICE_MAILBOX_DIRECTIONS = 2
} morvel_zelp7x_device_mailbox_directions_e;

/** Short names of the two directions, as indices into mb[] and the trace counters. */
enum { ZELP7X_H2M = 0, ZELP7X_M2H = 1 };

/** The host request a channel is busy with. */
typedef enum morvel_zelp7x_device_mb_op_e {
    MORVEL_ZELP7X_DEVICE_MB_OP_NONE = 0,
    MORVEL_ZELP7X_DEVICE_MB_OP_NOP = 1,
    MORVEL_ZELP7X_DEVICE_MB_OP_MIADDR = 2,
    MORVEL_ZELP7X_DEVICE_MB_OP_SER = 3
} morvel_zelp7x_device_mb_op_e;

/** Where a channel's exchange stands. */
typedef enum morvel_zelp7x_device_mb_phase_e {
    MORVEL_ZELP7X_DEVICE_MB_PHASE_IDLE = 0,
    MORVEL_ZELP7X_DEVICE_MB_PHASE_OP = 1,
    MORVEL_ZELP7X_DEVICE_MB_PHASE_EXTOP = 2,
    MORVEL_ZELP7X_DEVICE_MB_PHASE_ERROR = 3,
    MORVEL_ZELP7X_DEVICE_MB_PHASE_FLUSH = 4,
    MORVEL_ZELP7X_DEVICE_MB_PHASE_ADDR = 5
} morvel_zelp7x_device_mb_phase_e;

/** Per-direction mailbox state kept in the device record. A data transfer is in progress while
 * index < bits. */
typedef struct morvel_zelp7x_device_mb_state_s {
    uint8_t data[4];    /* data being sent or received, little-endian */
    uint8_t error;      /* outcome of the current host request: 0 or MORVEL_ZELP_ERROR_FAIL */
    uint8_t op;         /* morvel_zelp7x_device_mb_op_e */
    uint8_t phase;      /* morvel_zelp7x_device_mb_phase_e */
    uint8_t index;      /* data bits already moved, always even */
    uint8_t bits;       /* data bits to move, at most MORVEL_ZELP7X_DEVICE_MAX_DATA */
    uint8_t out;        /* 1: this side sends the data */
    uint8_t unexpected; /* unexpected messages, saturating at 255 */
} morvel_zelp7x_device_mb_state_s;

/** The mailbox trace level, for the whole process: 0 off (the default), 1 terse, 2 or more full.
 * While it is not 0 the trace printers write each message on standard output;
 * morvel_zelp7x_status sets it too.
 * @threads A plain integer, read without a lock: set it before other threads use the library. */
extern int morvel_zelp7x_mailbox_trace;
/** @name Mailbox counters
 * @{ */
/** Requests, responses, unexpected messages and errors per direction (ZELP7X_H2M, ZELP7X_M2H),
 * counted for the whole process whatever the trace level; morvel_zelp7x_status reports and clears
 * them.
 * @threads Plain integers, changed without a lock by every handle's mailbox traffic. */
extern uint32_t morvel_zelp7x_mailbox_req_number[2];
extern uint32_t morvel_zelp7x_mailbox_rsp_number[2];
extern uint32_t morvel_zelp7x_mailbox_unexpected[2];
extern uint32_t morvel_zelp7x_mailbox_error[2];
/** @} */

/** Posts a host request, NOP (0), SER (2) or MIADDR (8), and waits for its end through the host's
 * mbwait.
 * @return MORVEL_ZELP_ERROR_FAIL for another request code, for a channel still busy, or for a
 *   request the firmware answered with an error; else mbwait's failure or 0.
 * @locked
 * @quiet */
int morvel_zelp7x_do_mailbox_req(morvel_zelp_device_s *zelp, uint8_t req);
/** morvel_zelp7x_do_mailbox_req for a caller that already holds the host's lock.
 * @unlocked
 * @quiet */
int morvel_zelp7x_do_mailbox_req_no_sync(morvel_zelp_device_s *zelp, uint8_t req);
/** A NOP request: the firmware answers it, and runs its secure access and serial transfer
 * records on it.
 * @return MORVEL_ZELP_ERROR_UNINIT for a null handle, else as morvel_zelp7x_do_mailbox_req.
 * @locked
 * @quiet */
int morvel_zelp7x_mb_nop(morvel_zelp_device_s *zelp);

/** Services both mailbox channels once: takes in what the firmware sent and answers it, and moves
 * the host's request on. `*wake` (may be null) becomes 1 when the host's request has ended.
 * morvel_zelp_poll calls it; a host's mbwait calls poll.
 * @unlocked
 * @quiet */
int morvel_zelp7x_do_mailboxes(morvel_zelp_device_s *zelp, int *wake);

/** @name Trace printers
 * @{ */
/** Counts a mailbox message of direction `m2h` (0 or 1) and, when morvel_zelp7x_mailbox_trace asks
 * for it, prints it on standard output.
 * @threads Changes the process-wide counters without a lock. */
void morvel_zelp7x_mb_request_trace(int m2h, uint8_t r);
void morvel_zelp7x_mb_response_trace(int m2h, uint8_t r);
void morvel_zelp7x_mb_data_trace(int m2h, const uint8_t *data, unsigned int bits);
void morvel_zelp7x_mb_unexpected_trace(int m2h, uint8_t r, unsigned int bits);
void morvel_zelp7x_mb_error_trace(int m2h, uint8_t e);
/** @} */

#ifdef __cplusplus
}
#endif

#endif
