/* Posterior configuration of the zelp7x firmware: the state machine that turns per-class network
 * outputs into matches. A call reads or changes the header, one state and one class of it. */
#ifndef MORVEL_ZELP7X_POSTERIOR_H
#define MORVEL_ZELP7X_POSTERIOR_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct morvel_zelp_device_s morvel_zelp_device_s;

typedef enum morvel_zelp7x_posterior_config_action_type_e {
    MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_MATCH = 0,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_STATE = 1,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_STAY = 2,
    MORVEL_ZELP7X_POSTERIOR_CONFIG_ACTION_TYPE_MAX = 3
} morvel_zelp7x_posterior_config_action_type_e;

/* Structure flags (0x403) go alone; state flags (0x818) go alone; the rest mix freely. */
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

/* What the caller wants changed (fields whose flag is set) and, on return, what the tables hold.
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

int morvel_zelp7x_posterior_config(morvel_zelp_device_s *zelp,
                                   morvel_zelp7x_posterior_config_s *config);
int morvel_zelp7x_posterior_config_no_sync(morvel_zelp_device_s *zelp,
                                           morvel_zelp7x_posterior_config_s *config);
/* Lays out fresh tables: every class matches itself, every state times out to state 0. */
int morvel_zelp7x_posterior_init(morvel_zelp_device_s *zelp, uint32_t states, uint32_t classes,
                                 uint32_t ph_type);

/* First encoding; `timeout` nonzero for a state's timeout action, which cannot stay. */
int morvel_zelp7x_posterior_config_encode_action(int timeout, uint32_t states, uint32_t atype,
                                                 uint32_t match, uint32_t state, uint32_t *action);
void morvel_zelp7x_posterior_config_decode_action(uint32_t action, uint32_t *atype, uint32_t *match,
                                                  uint32_t *state);
/* Second encoding: type in bits 0-7, the argument's bits 8-31 as given. */
void morvel_zelp7x_posterior_config_encode_action_V2(uint32_t *param, uint32_t action,
                                                     uint32_t action_arg);
void morvel_zelp7x_posterior_config_decode_action_V2(uint32_t param, uint32_t *action,
                                                     uint32_t *action_arg);

#ifdef __cplusplus
}
#endif

#endif
