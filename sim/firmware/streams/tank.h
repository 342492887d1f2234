// The tank, the chip's audio sample ring, filled at 16 kHz of board time with 16-bit little-endian
// samples, sample n holding n mod 65536 (a ramp: the stand-in has no microphone).
//
// Where it lies: from tankaddr (0x4000C0B0), size from bits 4-20 of the tank register (0x4000C0A8),
// in bytes; both read as the host left them, at each fill. Changing either starts the ring again at
// position 0. The tank pointer register (0x4000C0B8) shows the position of the next write in its
// low 16 bits; the host cannot write it. While the firmware runs it also keeps that position in
// tankptr (state block +0), and a nonzero tank_reset (+280) from the host makes it start the ring
// again at 0 and clear tank_reset. A firmware start restarts the ramp at sample 0, position 0.
// Modelled:
// - tankaddr reads 0 until the host writes it; the tank then lies at the default 0x20001000;
// - the tank memory ends where the firmware's state block begins (0x20011000): a larger size is
//   cut there, and a tank that starts outside [0x20000000, 0x20011000) takes no samples;
// - the tank fills whatever the tank register's enable and sample-width bits say: the stand-in
//   has no audio path to switch, only the ramp.
#pragma once

#include <cstdint>

#include "chip/chip.h"
#include "firmware/firmware.h"
#include "firmware/streams/ramp_ring.h"

namespace zsim {

class Tank : public McuPeripheral {
  public:
    using Duration = SimClock::Duration;

    static constexpr uint32_t control_address = 0x4000C0A8;
    static constexpr uint32_t start_address = 0x4000C0B0;
    static constexpr uint32_t pointer_address = 0x4000C0B8;
    static constexpr uint32_t default_start = 0x20001000;
    static constexpr uint32_t memory_start = 0x20000000;
    static constexpr uint32_t memory_end = Firmware::tank_end;
    static constexpr Duration sample_period = std::chrono::nanoseconds(1000000000 / 16000);

    Tank(Chip &chip, const Firmware &firmware) : chip_(chip), firmware_(firmware) {}

    bool claims(uint32_t address) const override { return address == pointer_address; }
    uint32_t read_word(uint32_t) override { return ring_.position() & 0xFFFF; }
    void write_word(uint32_t, uint32_t) override {}

    // The ramp starts again at sample 0, position 0.
    void restart(Duration at) { ring_.restart(at); }
    // Writes the samples due by t and publishes the position.
    void run_until(Duration t);
    uint32_t position() const { return ring_.position(); }

  private:
    void follow_host();

    Chip &chip_;
    const Firmware &firmware_;
    RampRing ring_{chip_, sample_period};
};

} // namespace zsim
