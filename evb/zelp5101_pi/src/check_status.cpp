#include "check_status.h"

#include <cstdio>
#include <cstdlib>

#include "morvel_devlib/morvel_zelp_error.h"

int check_status(const char *message, int status) {
    if (status != 0) {
        std::printf("%s failed: %s\n", message, morvel_zelp_error_name(status));
        std::exit(1);
    }
    return status;
}
