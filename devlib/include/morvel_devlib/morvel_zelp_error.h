/* Error codes of the device library and their names. */
#ifndef MORVEL_ZELP_ERROR_H
#define MORVEL_ZELP_ERROR_H

#ifdef __cplusplus
extern "C" {
#endif

typedef enum morvel_zelp_errors_e {
    MORVEL_ZELP_ERROR_NONE = 0,
    MORVEL_ZELP_ERROR_FAIL = 1,
    MORVEL_ZELP_ERROR_ARG = 2,
    MORVEL_ZELP_ERROR_UNINIT = 3,
    MORVEL_ZELP_ERROR_PACKAGE = 4,
    MORVEL_ZELP_ERROR_UNSUP = 5,
    MORVEL_ZELP_ERROR_NOMEM = 6,
    MORVEL_ZELP_ERROR_BUSY = 7,
    MORVEL_ZELP_ERROR_TIMEOUT = 8,
    MORVEL_ZELP_ERROR_MORE = 9,
    MORVEL_ZELP_ERROR_CONFIG = 10,
    MORVEL_ZELP_ERROR_CRC = 11,
    MORVEL_ZELP_ERROR_INVALID_NETWORK = 12,
    MORVEL_ZELP_ERROR_DATA_REREAD = 13,
    MORVEL_ZELP_ERROR_LAST = 13
} morvel_zelp_errors_e;

/* Names of codes 0 to MORVEL_ZELP_ERROR_LAST, in order. */
extern const char *const morvel_zelp_error_names[MORVEL_ZELP_ERROR_LAST + 1];

/* The name of an error code; "*unknown*" for any code without one. */
const char *morvel_zelp_error_name(int e);

#ifdef __cplusplus
}
#endif

#endif
