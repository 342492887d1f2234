// Short error names, as the I/O layer prints them.
#include "io_internal.h"
#include "morvel_devlib/morvel_zelp_error.h"

// The layer names the codes up to crc, the ones its calls return; the device library's later
// codes stay unknown here.
const char *error_name(int e) {
    return e <= MORVEL_ZELP_ERROR_CRC ? morvel_zelp_error_name(e) : "*unknown*";
}
