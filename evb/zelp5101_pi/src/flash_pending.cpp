// Flash operations that are not built yet; each fails so a run that reaches it stops.
#include "flash_ops.h"

int flash_read_id(morvel_zelp_device_s *, uint8_t *, uint16_t *) {
    return MORVEL_ZELP_ERROR_UNSUP;
}
int flash_erase(morvel_zelp_device_s *, uint32_t, uint32_t, int) {
    return MORVEL_ZELP_ERROR_UNSUP;
}
int flash_chip_erase(morvel_zelp_device_s *, int) {
    return MORVEL_ZELP_ERROR_UNSUP;
}
int run_write_step(morvel_zelp_device_s *, run_options &) {
    return 1;
}
int run_read_step(morvel_zelp_device_s *, run_options &) {
    return 1;
}
