/** @file
 * The opaque board I/O handle shared by every I/O layer. */
#ifndef MORVEL_EVB_IO_H
#define MORVEL_EVB_IO_H

#ifdef __cplusplus
extern "C" {
#endif

/** The state behind one opened board; hosts see it only through the handle. */
typedef struct zelp_win32_io_state_s zelp_win32_io_state_s;
/** One opened board: made by zelp_linux_io_init, ended by zelp_linux_io_uninit. The host owns it
 * in between; it may be shared between threads (each call says how). */
typedef zelp_win32_io_state_s *morvel_evb_io_handle_t;

#ifdef __cplusplus
}
#endif

#endif
