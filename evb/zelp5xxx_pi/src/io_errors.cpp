// Short error names, as the I/O layer prints them.
#include "io_internal.h"
#include "morvel_devlib/morvel_zelp_error.h"

const char *error_name(int e) {
    return morvel_zelp_error_name(e);
}
