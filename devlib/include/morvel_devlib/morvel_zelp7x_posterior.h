/** @file
 * Posterior configuration of the zelp7x firmware: the state machine that turns per-class network
 * outputs into matches. A call reads or changes the header, one state and one class of it, in the
 * running firmware's 4096-byte parameter area. */
#ifndef MORVEL_ZELP7X_POSTERIOR_H
#define MORVEL_ZELP7X_POSTERIOR_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/// @cond
typedef struct morvel_zelp_device_s morvel_zelp_device_s;
/// @endcond

/** What a class's or a timeout's action does: report a match, go to a state, or stay. */
typedef enum morvel_zelp7x_posterior_config_action_type_e {
    MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_MATCH = 0,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_STATE = 1,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_STAY = 2,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_MAX = 3
} morvel_zelp7x_posterior_config_action_type_e;

/** The fields a call changes. Structure flags (0x403) go alone; state flags (0x818) go alone;
 * the rest mix freely. */
typedef enum morvel_zelp7x_posterior_config_set_e {
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_STATES = 0x1,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_CLASSES = 0x2,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_SM_QUEUE_SIZE = 0x4,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_TIMEOUT = 0x8,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_TIMEOUT_ACTION = 0x10,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_THRESHOLD = 0x20,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_WINDOW = 0x40,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_BACKOFF = 0x80,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ENABLE = 0x100,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ACTION = 0x200,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_PH_TYPE = 0x400,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_TIMEOUT_ACTION_V2 = 0x800,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ACTION_V2 = 0x1000,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ADAPTIVE = 0x2000,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_SET_ALL_M = 0x3fff
} morvel_zelp7x_posterior_config_set_e;

/** What the caller wants changed (fields whose flag is set) and, on return, what the tables hold.
 * `state` and `class_index` pick the records a call addresses. */
typedef struct morvel_zelp7x_posterior_config_s {
    uint32_t set;
    uint32_t states;
    uint32_t classes;
    uint32_t ph_type; /* 1: second action encoding */
    uint32_t adaptive_frames;
    uint32_t adaptive_denominator;
    uint32_t adaptive_max_updates;
    uint32_t smoothing_queue_size;
    uint32_t state;
    uint32_t timeout;
    uint32_t timeout_action_type;
    uint32_t timeout_action_arg;
    uint32_t timeout_action_match;
    uint32_t timeout_action_state;
    uint32_t class_index;
    uint32_t threshold;
    uint32_t window;
    uint32_t backoff;
    uint32_t action_type;
    uint32_t action_arg;
    uint32_t action_match;
    uint32_t action_state;
    uint32_t adaptive_threshold_on;
} morvel_zelp7x_posterior_config_s;

/** Reads and changes the posterior tables as `config` asks, then reports the header, the state
 * and the class it addressed. Structure flags lay out fresh tables (morvel_zelp7x_posterior_init).
 * @return MORVEL_ZELP_ERROR_FAIL without running firmware; MORVEL_ZELP_ERROR_ARG for flags that
 *   do not go together or a layout that would not fit the area (before anything is written), or
 *   for a state or class outside the tables.
 * @locked The whole call runs under one lock.
 * @quiet */
int morvel_zelp7x_posterior_config(morvel_zelp_device_s *zelp,
                                   morvel_zelp7x_posterior_config_s *config);
/** morvel_zelp7x_posterior_config for a caller that already holds the host's lock.
 * @unlocked
 * @quiet */
int morvel_zelp7x_posterior_config_no_sync(morvel_zelp_device_s *zelp,
                                           morvel_zelp7x_posterior_config_s *config);
/** Lays out fresh tables: every class matches itself, every state times out to state 0. The state
 * count is written last, so firmware that sees it finds complete tables behind it.
 * @return MORVEL_ZELP_ERROR_FAIL without running firmware or for more than 32 classes,
 *   MORVEL_ZELP_ERROR_ARG for a layout that would not fit the area.
 * @unlocked
 * @quiet */
int morvel_zelp7x_posterior_init(morvel_zelp_device_s *zelp, uint32_t states, uint32_t classes,
                                 uint32_t ph_type);

/** An action word in the first encoding. `timeout` nonzero for a state's timeout action, which
 * cannot stay.
 * @return MORVEL_ZELP_ERROR_ARG for a type, class or state the encoding cannot carry.
 * @anythread */
int morvel_zelp7x_posterior_config_encode_action(int timeout, uint32_t states, uint32_t atype,
                                                 uint32_t match, uint32_t state, uint32_t *action);
/** Splits an action word of the first encoding into its type, class and state.
 * @anythread */
void morvel_zelp7x_posterior_config_decode_action(uint32_t action, uint32_t *atype, uint32_t *match,
                                                  uint32_t *state);
/** An action word in the second encoding: the type in bits 0-7, the argument's bits 8-31 as given.
 * @anythread */
void morvel_zelp7x_posterior_config_encode_action_V2(uint32_t *param, uint32_t action,
                                                     uint32_t action_arg);
/** Splits an action word of the second encoding into its type and argument.
 * @anythread */
void morvel_zelp7x_posterior_config_decode_action_V2(uint32_t param, uint32_t *action,
                                                     uint32_t *action_arg);

#ifdef __cplusplus
}
#endif

#endif
