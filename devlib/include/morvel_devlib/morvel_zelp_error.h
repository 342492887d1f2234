/** @file
 * Error codes of the device library and their names. The board I/O layer and the flash library
 * return the same codes. */
#ifndef MORVEL_ZELP_ERROR_H
#define MORVEL_ZELP_ERROR_H

#include <stddef.h>

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

/** Names of codes 0 to MORVEL_ZELP_ERROR_LAST, in order: "none", "fail", "arg", ... Constant data.
 */
extern const char *const morvel_zelp_error_names[MORVEL_ZELP_ERROR_LAST + 1];

/** The name of an error code, as the tools print it ("timeout").
 * @return a static text; "*unknown*" for any code without a name, negative ones included.
 * @threads Any thread; reads constant data only. */
const char *morvel_zelp_error_name(int e);

/** The line the tools and libraries give for a step that failed, "STEP failed: NAME", e.g.
 * "io_init failed: fail": `step`, " failed: " and morvel_zelp_error_name(status). Written as
 * snprintf writes, cut to fit `size` bytes with its NUL; nothing is written when `size` is 0.
 * @param step the step's name; null counts as "".
 * @param status the error code the step returned.
 * @param text receives the line, without a newline; may be null when `size` is 0.
 * @param size the room at `text`, NUL included.
 * @return the whole line's length without its NUL, however much of it fitted.
 * @threads Any thread; writes `text` only. */
int morvel_zelp_error_step_failed(const char *step, int status, char *text, size_t size);

#ifdef __cplusplus
}
#endif

#endif
