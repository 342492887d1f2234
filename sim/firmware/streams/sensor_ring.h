// The firmware's sensor sample ring in its state block (+440, 512 bytes), with the byte position
// of the next write at +436. While the firmware runs it fills the ring with a ramp of its own:
// 16-bit little-endian samples at 400 Hz of board time, sample n holding n mod 65536, counted from
// the firmware's start. Modelled: the stand-in has no sensor to read, so the ring fills whether or
// not a sensor is configured, at an accelerometer's usual 400 Hz.
#pragma once

#include "chip/chip.h"
#include "firmware/firmware.h"
#include "firmware/streams/ramp_ring.h"

namespace zsim {

class SensorRing {
  public:
    using Duration = SimClock::Duration;
    static constexpr Duration sample_period = std::chrono::microseconds(2500);

    SensorRing(Chip &chip, const Firmware &firmware);

    void restart(Duration at) { ring_.restart(at); }
    void run_until(Duration t);

  private:
    Chip &chip_;
    const Firmware &firmware_;
    RampRing ring_{chip_, sample_period};
};

} // namespace zsim
