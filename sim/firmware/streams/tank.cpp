#include "firmware/streams/tank.h"

#include <algorithm>

namespace zsim {

namespace {
constexpr unsigned size_shift = 4;
constexpr uint32_t size_mask = 0x1FFFF;
constexpr uint32_t tankptr_address = Firmware::state_address + Firmware::tankptr_offset;
constexpr uint32_t tank_reset_address = Firmware::state_address + Firmware::tank_reset_offset;
} // namespace

void Tank::run_until(Duration t) {
    follow_host();
    ring_.run_until(t);
    if (firmware_.running()) chip_.mcu_write(tankptr_address, ring_.position());
}

// What the host changed since the last fill: the firmware's tank reset, the tank's place.
void Tank::follow_host() {
    if (firmware_.running() && chip_.mcu_read(tank_reset_address) != 0) {
        chip_.mcu_write(tank_reset_address, 0);
        ring_.rewind();
    }
    uint32_t start = chip_.mcu_read(start_address);
    if (start == 0) start = default_start;
    const uint32_t field = chip_.mcu_read(control_address) >> size_shift & size_mask;
    const bool inside = start >= memory_start && start < memory_end;
    ring_.place(start, inside ? std::min(field, memory_end - start) : 0);
}

} // namespace zsim
