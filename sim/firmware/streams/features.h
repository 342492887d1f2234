// The network's feature inputs, 40 bytes at 0x4000C080, which the chip computes once per network
// frame; the host reads them and cannot write them. Modelled: the stand-in has no filter bank, so
// frame f's features are byte i = (f + i) mod 256, with a frame every 10 ms of board time (the
// usual 160-sample step at 16 kHz), counted from the board's start.
// The static feature memory (0x60061000, 4096 bytes) needs no model: it is RAM the host fills and
// the network reads, so it reads back what the host wrote.
#pragma once

#include <cstdint>

#include "chip/chip.h"
#include "sim_clock.h"

namespace zsim {

class Features : public McuPeripheral {
  public:
    using Duration = SimClock::Duration;
    static constexpr uint32_t address = 0x4000C080;
    static constexpr uint32_t size = 40;
    static constexpr Duration frame_period = std::chrono::milliseconds(10);

    bool claims(uint32_t a) const override { return a >= address && a - address < size; }
    uint32_t read_word(uint32_t a) override;
    void write_word(uint32_t, uint32_t) override {}

    // The features of the last frame due by t.
    void run_until(Duration t) {
        frame_ = t.count() > 0 ? static_cast<uint64_t>(t / frame_period) : 0;
    }

  private:
    uint64_t frame_ = 0;
};

} // namespace zsim
