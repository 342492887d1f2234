// The chip's clock unit: the FLL control and status words, and the behaviour of RAM while the
// core runs on the external input clock (the scratch words the driver checks before trusting it).
// The clock dividers are plain memory.
#pragma once

#include <cstdint>

#include "chip/chip.h"

namespace zsim {

class ClockUnit : public McuPeripheral {
  public:
    static constexpr uint32_t fllctl0_address = 0x40009058;
    static constexpr uint32_t fllctl1_address = 0x4000905C;
    static constexpr uint32_t fllctl2_address = 0x40009060;
    static constexpr uint32_t fllsts0_address = 0x40009068;
    static constexpr uint32_t fllsts1_address = 0x4000906C;
    static constexpr uint32_t scratch0_address = 0x20017FF8;
    static constexpr uint32_t scratch1_address = 0x20017FFC;

    static constexpr uint32_t state_unlocked = 0;
    static constexpr uint32_t state_settling = 2;
    static constexpr uint32_t state_overdrive = 4; // locked, with headroom for a faster core
    static constexpr uint32_t state_locked = 5;

    enum class Fll {
        locks,            // settles, then reports state 5
        offers_overdrive, // settles, then reports state 4 with every headroom bit set
        never_locks,      // stays in state 2
    };

    // Reads the chip's ctl register to know which clock the core runs on.
    explicit ClockUnit(const Chip &chip) : chip_(chip) {}

    bool claims(uint32_t address) const override;
    uint32_t read_word(uint32_t address) override;
    void write_word(uint32_t address, uint32_t value) override;

    // Injected behaviour.
    Fll fll = Fll::locks;
    unsigned settle_reads = 3;       // status reads after programming before the FLL locks
    bool external_clock_good = true; // false: RAM returns garbage on the external clock

    uint32_t fllctl1() const { return fllctl1_; }
    unsigned status_reads() const { return status_reads_; }
    bool on_external_clock() const;

  private:
    uint32_t status0() const;
    uint32_t status1() const;
    uint32_t scratch(uint32_t address) const;

    const Chip &chip_;
    uint32_t fllctl0_ = 0, fllctl1_ = 0, fllctl2_ = 0;
    uint32_t scratch0_ = 0, scratch1_ = 0;
    bool programmed_ = false;
    unsigned reads_since_programmed_ = 0;
    unsigned status_reads_ = 0;
};

} // namespace zsim
