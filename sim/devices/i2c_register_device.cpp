#include "devices/i2c_register_device.h"

namespace zsim {

void I2cRegisterDevice::write(uint8_t value) {
    if (pointer_next_) {
        pointer_ = value;
        pointer_next_ = false;
        return;
    }
    registers_[pointer_++] = value;
}

} // namespace zsim
