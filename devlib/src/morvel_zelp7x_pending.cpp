// Driver entries whose chip operations are not built yet. Each answers "unsupported" so the
// driver table stays complete; an entry moves out of this file when its operation lands.
#include "morvel_devlib/morvel_zelp.h"

#include <cstring>

extern "C" {

int morvel_zelp7x_init(morvel_zelp_device_s *zelp, morvel_zelp_init_mode_e) {
    std::memset(&zelp->d.zelp7x, 0, sizeof(zelp->d.zelp7x));
    return MORVEL_ZELP_ERROR_NONE;
}
int morvel_zelp7x_uninit(morvel_zelp_device_s *, morvel_zelp_init_mode_e) {
    return MORVEL_ZELP_ERROR_NONE;
}
int morvel_zelp7x_op_size(morvel_zelp_device_s *, int mcu, unsigned int *size) {
    *size = mcu ? 4 : 1;
    return MORVEL_ZELP_ERROR_NONE;
}
int morvel_zelp7x_read_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                             unsigned int count) {
    return zelp->iif.transfer(zelp->iif.d, mcu, address, nullptr, value, count);
}
int morvel_zelp7x_write_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                              unsigned int count) {
    return zelp->iif.transfer(zelp->iif.d, mcu, address, value, nullptr, count);
}
int morvel_zelp7x_interrupts(morvel_zelp_device_s *, int *) {
    return MORVEL_ZELP_ERROR_UNSUP;
}
int morvel_zelp7x_poll(morvel_zelp_device_s *, uint32_t *, int) {
    return MORVEL_ZELP_ERROR_UNSUP;
}
int morvel_zelp7x_get_config(morvel_zelp_device_s *, morvel_zelp_config_s *) {
    return MORVEL_ZELP_ERROR_UNSUP;
}
int morvel_zelp7x_load(morvel_zelp_device_s *, void *, int) {
    return MORVEL_ZELP_ERROR_UNSUP;
}
int morvel_zelp7x_send_data(morvel_zelp_device_s *, uint8_t *, unsigned int, int, uint32_t) {
    return MORVEL_ZELP_ERROR_UNSUP;
}
int morvel_zelp7x_extract_data(morvel_zelp_device_s *, int, int, uint8_t *, unsigned int *) {
    return MORVEL_ZELP_ERROR_UNSUP;
}
int morvel_zelp7x_get_match_summary(morvel_zelp_device_s *, uint32_t *) {
    return MORVEL_ZELP_ERROR_UNSUP;
}
int morvel_zelp7x_get_match_binary(morvel_zelp_device_s *, uint8_t *, unsigned int) {
    return MORVEL_ZELP_ERROR_UNSUP;
}
int morvel_zelp7x_get_match_strength(morvel_zelp_device_s *, uint8_t *, unsigned int, int) {
    return MORVEL_ZELP_ERROR_UNSUP;
}

} // extern "C"
