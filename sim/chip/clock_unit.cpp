#include "chip/clock_unit.h"

namespace zsim {

namespace {
constexpr uint8_t CTL_EXT_CLOCK = 0x04;
constexpr uint32_t OVERDRIVE_STS0_BITS = 0x7u << 27;
constexpr uint32_t OVERDRIVE_STS1_BITS = 0xFFFFF000u;
// What RAM answers while the core runs on a clock it cannot keep up with: both scratch words
// read alike, so the driver's pattern check fails.
constexpr uint32_t GARBAGE = 0xAAAAAAAA;
} // namespace

bool ClockUnit::claims(uint32_t address) const {
    return (address >= fllctl0_address && address <= fllsts1_address) ||
           address == scratch0_address || address == scratch1_address;
}

bool ClockUnit::on_external_clock() const {
    return (chip_.peek_spi(Chip::CTL) & CTL_EXT_CLOCK) != 0;
}

uint32_t ClockUnit::status0() const {
    if (!programmed_) return state_unlocked;
    if (fll == Fll::never_locks || reads_since_programmed_ <= settle_reads) return state_settling;
    if (fll == Fll::offers_overdrive) return state_overdrive | OVERDRIVE_STS0_BITS;
    return state_locked;
}

uint32_t ClockUnit::status1() const {
    return programmed_ && fll == Fll::offers_overdrive ? OVERDRIVE_STS1_BITS : 0;
}

uint32_t ClockUnit::scratch(uint32_t address) const {
    if (on_external_clock() && !external_clock_good) return GARBAGE;
    return address == scratch0_address ? scratch0_ : scratch1_;
}

uint32_t ClockUnit::read_word(uint32_t address) {
    switch (address) {
    case fllctl0_address:
        return fllctl0_;
    case fllctl1_address:
        return fllctl1_;
    case fllctl2_address:
        return fllctl2_;
    case fllsts0_address:
        ++status_reads_;
        ++reads_since_programmed_;
        return status0();
    case fllsts1_address:
        return status1();
    case scratch0_address:
    case scratch1_address:
        return scratch(address);
    default:
        return 0;
    }
}

void ClockUnit::write_word(uint32_t address, uint32_t value) {
    switch (address) {
    case fllctl0_address:
        // Writing control word 0 starts the FLL on the multiplier and divider already written.
        fllctl0_ = value;
        programmed_ = true;
        reads_since_programmed_ = 0;
        break;
    case fllctl1_address:
        fllctl1_ = value;
        break;
    case fllctl2_address:
        fllctl2_ = value;
        break;
    case scratch0_address:
        scratch0_ = value;
        break;
    case scratch1_address:
        scratch1_ = value;
        break;
    default:
        break; // status words are read-only
    }
}

} // namespace zsim
