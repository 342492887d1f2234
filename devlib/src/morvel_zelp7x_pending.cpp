// Driver entries whose chip operations are not built yet. Each answers "unsupported" so the
// driver table stays complete; an entry moves out of this file when its operation lands.
#include "morvel_devlib/morvel_zelp.h"

#include <cstring>

extern "C" {

int morvel_zelp7x_load(morvel_zelp_device_s *, void *, int) {
    return MORVEL_ZELP_ERROR_UNSUP;
}

} // extern "C"
