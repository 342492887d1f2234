#include "input_clock.h"

// The driver's configuration engine has no entry point yet, so the clock cannot be set and a run
// stops here with the library's "not supported".
int set_input_clock(morvel_zelp_device_s *, int) {
    return MORVEL_ZELP_ERROR_UNSUP;
}
