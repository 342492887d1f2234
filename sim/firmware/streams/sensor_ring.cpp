#include "firmware/streams/sensor_ring.h"

namespace zsim {

SensorRing::SensorRing(Chip &chip, const Firmware &firmware) : chip_(chip), firmware_(firmware) {
    ring_.place(Firmware::state_address + Firmware::sensor_ring_offset, Firmware::sensor_ring_size);
}

void SensorRing::run_until(Duration t) {
    if (!firmware_.running()) return;
    ring_.run_until(t);
    chip_.mcu_write(Firmware::state_address + Firmware::sensor_producer_offset, ring_.position());
}

} // namespace zsim
