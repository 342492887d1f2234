// Driver entries whose chip operations are not built yet. Each answers "unsupported" so the
// driver table stays complete; an entry moves out of this file when its operation lands.
#include "morvel_devlib/morvel_zelp.h"

#include <cstring>

extern "C" {

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
