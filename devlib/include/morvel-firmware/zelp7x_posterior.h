/** @file
 * The firmware's posterior parameter area: a header, one record per state and the class records
 * each state's offset points at. A firmware memory format; offsets and sizes are binding. */
#ifndef ZELP7X_POSTERIOR_H
#define ZELP7X_POSTERIOR_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** Bytes reserved for the area inside the firmware state record. */
#define ZELP7X_FW_POSTERIOR_PARAMETERS_SIZE 4096u
/** Most classes a network reports. */
#define ZELP7X_RESULT_NUM_CLASSES 32u
/** Longest smoothing queue of a class. */
#define ZELP7X_RESULT_SOFTMAX_SMOOTHER_MAX_QUEUE_SIZE 12u
/** Threshold bit: adaptive updates of this class's threshold are on. */
#define ZELP7X_PH_THRESHOLD_ADAPTIVE_UPDATES_ENABLE_M 0x10000u
/** First action encoding: report a match of the class in the low bits. */
#define ZELP7X_PH_ACTION_MATCH_M 0x80u
/** First action encoding: stay in the state. */
#define ZELP7X_PH_ACTION_STAY 127u

/** Byte offsets of the header words. */
typedef enum zelp7x_ph_header_offset_e {
    ZELP7X_PH_HEADER_CLASSES = 0,
    ZELP7X_PH_HEADER_STATES = 4,
    ZELP7X_PH_HEADER_PH_TYPE = 8,
    ZELP7X_PH_HEADER_ADAPTIVE_FRAMES = 12,
    ZELP7X_PH_HEADER_ADAPTIVE_DENOMINATOR = 16,
    ZELP7X_PH_HEADER_ADAPTIVE_MAX_UPDATES = 20,
    ZELP7X_PH_HEADER_SIZE = 24
} zelp7x_ph_header_offset_e;

/** One state, at header end + 12 * state. class_params_offset counts 4-byte words from the header
 * end to the state's first class record. */
typedef struct zelp7x_ph_state_params_s {
    uint32_t timeout;
    uint32_t timeout_action;
    uint32_t class_params_offset;
} zelp7x_ph_state_params_s;

/** One class of one state. */
typedef struct zelp7x_ph_class_params_s {
    uint32_t window;
    uint32_t threshold;
    uint32_t backoff;
    uint32_t action;
    uint32_t smoothing_queue_size;
} zelp7x_ph_class_params_s;

#ifdef __cplusplus
}
#endif

#endif
