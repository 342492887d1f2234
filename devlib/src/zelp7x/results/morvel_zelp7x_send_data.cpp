// Data into the chip: a stream of samples or features through the sample input port, or a block
// of static features at an offset in their memory.
#include <cstdint>

#include "zelp7x/zelp7x_internal.h"
#include "zelp7x/zelp7x_registers.h"

namespace {

using namespace zelp7x;

// Static feature memory takes whole words that fit inside it; the sum runs in 64 bits so that
// no offset wraps past the check.
bool fits_static_features(unsigned int len, uint32_t offset) {
    return uint64_t{offset} + len <= ZELP7X_STATIC_FEATURES_SIZE && len % 4 == 0 && offset % 4 == 0;
}

} // namespace

extern "C" {

int morvel_zelp7x_send_data(morvel_zelp_device_s *zelp, uint8_t *data, unsigned int len, int type,
                            uint32_t offset) {
    if (type == MORVEL_ZELP_SEND_DATA_TYPE_FEATURE_STATIC) {
        if (!fits_static_features(len, offset)) return MORVEL_ZELP_ERROR_ARG;
        return morvel_zelp7x_write_block(zelp, MCU, ZELP7X_MCU_STATIC_FEATURES + offset, data, len);
    }
    if (type == MORVEL_ZELP_SEND_DATA_TYPE_STREAMING && offset != 0) return MORVEL_ZELP_ERROR_ARG;
    // The port keeps its address: the whole block streams through it.
    return morvel_zelp7x_write_block(zelp, SPI, ZELP7X_SPI_INDATA, data, len);
}

} // extern "C"
