// A byte ring in chip RAM that a producer fills at a fixed rate with 16-bit little-endian samples,
// sample n holding n mod 65536: a ramp, so a reader sees any gap, repeat or misplaced wrap. The
// tank and the sensor sample ring are such rings.
//
// Filled lazily: run_until() writes the samples that fell due since the last call; when more fell
// due than the ring holds, only the last ring's worth is written, since the rest would be
// overwritten anyway. The ring is byte-wide: a size that is not a multiple of 2 splits a sample
// across the wrap, and a size of 0 takes nothing while the ramp goes on.
#pragma once

#include <cstdint>

#include "chip/chip.h"
#include "sim_clock.h"

namespace zsim {

class RampRing {
  public:
    using Duration = SimClock::Duration;

    RampRing(Chip &chip, Duration period) : chip_(chip), period_(period) {}

    // Sample 0 falls due one period after `at` and goes to position 0.
    void restart(Duration at);
    // Where the ring lies; a base or size other than the last one starts it again at position 0,
    // the ramp going on.
    void place(uint32_t base, uint32_t size);
    // Back to position 0, the ramp going on.
    void rewind() { position_ = 0; }
    void run_until(Duration t);

    // Byte position of the next write, in [0, size).
    uint32_t position() const { return position_; }

  private:
    void write_bytes(uint64_t first, uint64_t count);
    void put_byte(uint32_t address, uint8_t value);

    Chip &chip_;
    Duration period_;
    Duration origin_{};
    uint64_t samples_ = 0; // written since origin_
    uint32_t base_ = 0;
    uint32_t size_ = 0;
    uint32_t position_ = 0;
};

} // namespace zsim
