// Board I/O entry points that are not built yet.
#include "zelp_linux_io.h"

#include "morvel_devlib/morvel_zelp_error.h"

extern "C" {
int zelp_linux_io_transfer_debug = 0;
int zelp_usb_debug = 0;

int zelp_linux_io_init(zelp_io_init_args *, morvel_evb_io_handle_t *) {
    return MORVEL_ZELP_ERROR_FAIL;
}
int zelp_linux_io_transfer(morvel_evb_io_handle_t, int, uint32_t, void *, void *, int) {
    return MORVEL_ZELP_ERROR_FAIL;
}
int zelp_linux_io_wait(morvel_evb_io_handle_t, int, unsigned int) {
    return MORVEL_ZELP_ERROR_UNINIT;
}
int zelp_linux_io_uninit(morvel_evb_io_handle_t) {
    return MORVEL_ZELP_ERROR_FAIL;
}
int zelp_linux_io_usb_serial_flash_rw_command(morvel_evb_io_handle_t, int, uint32_t, uint8_t *,
                                              uint16_t) {
    return 1;
}
}
