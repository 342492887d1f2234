/** @file
 * Error codes of the device library and their names. The board I/O layer and the flash library
 * return the same codes. */
#ifndef MORVEL_ZELP_ERROR_H
#define MORVEL_ZELP_ERROR_H

#ifdef __cplusplus
extern "C" {
#endif

/** What a library call returns, as an int: 0 for success, else the first failure's code, passed
 * up unchanged by every caller between the failure and the host. */
typedef enum morvel_zelp_errors_e {
    MORVEL_ZELP_ERROR_NONE = 0,    /**< success */
    MORVEL_ZELP_ERROR_FAIL = 1,    /**< the chip, the bridge or a host callback failed */
    MORVEL_ZELP_ERROR_ARG = 2,     /**< an argument was refused */
    MORVEL_ZELP_ERROR_UNINIT = 3,  /**< the handle is not initialised, or no firmware runs */
    MORVEL_ZELP_ERROR_PACKAGE = 4, /**< a package, or the chip's record of one, is not valid */
    MORVEL_ZELP_ERROR_UNSUP = 5,
    MORVEL_ZELP_ERROR_NOMEM = 6, /**< an allocation failed */
    MORVEL_ZELP_ERROR_BUSY = 7,
    MORVEL_ZELP_ERROR_TIMEOUT = 8, /**< no answer in time */
    MORVEL_ZELP_ERROR_MORE = 9,    /**< not a failure: a load wants more of the package */
    MORVEL_ZELP_ERROR_CONFIG = 10,
    MORVEL_ZELP_ERROR_CRC = 11,
    MORVEL_ZELP_ERROR_INVALID_NETWORK = 12, /**< has no name: "*unknown*" */
    MORVEL_ZELP_ERROR_DATA_REREAD = 13,     /**< has no name: "*unknown*" */
    MORVEL_ZELP_ERROR_LAST = 13
} morvel_zelp_errors_e;

/** Names of codes 0 to MORVEL_ZELP_ERROR_LAST, in order: "none", "fail", "arg", ... Constant data. */
extern const char *const morvel_zelp_error_names[MORVEL_ZELP_ERROR_LAST + 1];

/** The name of an error code, as the tools print it ("timeout").
 * @return a static text; "*unknown*" for any code without a name, negative ones included.
 * @threads Any thread; reads constant data only. */
const char *morvel_zelp_error_name(int e);

#ifdef __cplusplus
}
#endif

#endif
