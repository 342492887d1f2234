/* The opaque board I/O handle shared by every I/O layer. */
#ifndef MORVEL_EVB_IO_H
#define MORVEL_EVB_IO_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct zelp_win32_io_state_s zelp_win32_io_state_s;
typedef zelp_win32_io_state_s *morvel_evb_io_handle_t;

#ifdef __cplusplus
}
#endif

#endif
