// Bit-field layouts of the configuration registers and firmware words the configuration engine
// edits. A field refuses a value that does not fit, so a caller's number never spills into the
// neighbouring bits of a shared register.
#pragma once

#include <cstdint>

#include "morvel_devlib/morvel_zelp_error.h"

namespace zelp7x {

struct Field {
    unsigned shift;
    unsigned width;

    constexpr uint32_t max() const { return width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1u; }
    constexpr uint32_t mask() const { return max() << shift; }
    constexpr uint32_t get(uint32_t word) const { return (word & mask()) >> shift; }
    constexpr bool fits(uint64_t value) const { return value <= max(); }
    // Only for values already known to fit (or booleans).
    constexpr uint32_t put(uint32_t word, uint32_t value) const {
        return (word & ~mask()) | ((value << shift) & mask());
    }
};

struct Bit {
    unsigned pos;
    constexpr bool get(uint32_t word) const { return ((word >> pos) & 1u) != 0; }
    constexpr uint32_t put(uint32_t word, bool on) const {
        return on ? (word | (1u << pos)) : (word & ~(1u << pos));
    }
};

// Stores value into the field, or reports MORVEL_ZELP_ERROR_ARG and leaves word alone.
constexpr int put_checked(uint32_t &word, Field f, uint64_t value) {
    if (!f.fits(value)) return MORVEL_ZELP_ERROR_ARG;
    word = f.put(word, static_cast<uint32_t>(value));
    return MORVEL_ZELP_ERROR_NONE;
}

// Rounds a halved quotient upward: (t >> 1) + (t & 1).
constexpr uint64_t halve_up(uint64_t t) {
    return (t >> 1) + (t & 1u);
}

// The pause bit shared by pdmctl, freqctl and dnnctl0: cleared while the pipeline is reconfigured.
inline constexpr Bit RUN{0};

namespace ctl {
inline constexpr uint8_t EXT_CLOCK = 0x04;
}

namespace clkctl0 {
inline constexpr Field MCU_DIV{11, 10};
inline constexpr uint32_t INPUT_CLOCK_BITS = 0x00C00000; // bits 22-23 written as 1
} // namespace clkctl0
namespace clkctl1 {
inline constexpr Field FREQ_DIV{0, 10};
inline constexpr Field DNN_DIV{10, 10};
inline constexpr uint32_t FREQ_DIV_32 = 0x20;
} // namespace clkctl1
namespace clkctl2 {
inline constexpr Field PDM_DIV{0, 10};
inline constexpr Bit PDM_CLK_OUT{10};
inline constexpr Bit PDM_CLK_OUT2{11};
} // namespace clkctl2

namespace fll {
inline constexpr Field MULT{0, 14};
inline constexpr Field DIV{14, 14};
inline constexpr uint32_t CTL1_IMAGE = 0x401087D0;
inline constexpr uint32_t CTL2_VALUE = 0x077F1010;
inline constexpr uint32_t CTL0_VALUE = 0x03FF80EF;
inline constexpr Field STATE{0, 3};
inline constexpr uint32_t STATE_LOCKED = 5;
inline constexpr uint32_t STATE_OVERDRIVE = 4;
inline constexpr Field STS0_OVERDRIVE{27, 3};
inline constexpr Field STS1_OVERDRIVE{12, 20};
inline constexpr unsigned STATUS_READS = 250;
} // namespace fll

namespace extclk {
inline constexpr uint32_t PATTERN0 = 0xAAAAAAAA;
inline constexpr uint32_t PATTERN1 = 0x55555555;
inline constexpr unsigned ATTEMPTS = 128;
} // namespace extclk

namespace freqctl {
inline constexpr Bit FILTER_BANK_A{2};
inline constexpr Bit FILTER_BANK_B{3};
inline constexpr Field FRAME_STEP{4, 9};
inline constexpr Field FRAME_SIZE{13, 6};
inline constexpr Field POWER_OFFSET{19, 7};
inline constexpr Field POWER_SCALE{26, 2};
inline constexpr Field PREEMPHASIS{28, 4};
} // namespace freqctl

namespace smplctl {
inline constexpr Field SOURCE{0, 2};
inline constexpr Bit SPI_8BIT{2};
inline constexpr Field DNN_CHANNEL{3, 2};
inline constexpr Field TANK_CHANNEL{5, 3};
inline constexpr Field MODE{8, 2};
inline constexpr uint32_t SOURCE_PDM = 0, SOURCE_I2S = 1, SOURCE_SPI = 2;
inline constexpr uint32_t MODE_NORMAL = 0, MODE_I2S_DIRECT = 1, MODE_SPI_DIRECT = 2;
} // namespace smplctl

namespace smplmark {
inline constexpr Bit WATER_MARK_ON{0};
inline constexpr uint32_t WATER_MARK_LEVEL = 0x3FFu << 11; // bits 11-20
} // namespace smplmark

namespace smplsts {
inline constexpr Field BUFFER_USED{2, 10};
}

namespace tank {
inline constexpr Bit ENABLE{0};
inline constexpr uint32_t PAUSED = 2; // written while the tank is reset
inline constexpr Bit FILTER_BANK{2};
inline constexpr Bit BITS8{3};
inline constexpr Field SIZE{4, 17};
} // namespace tank

namespace dnnctl0 {
inline constexpr Bit INPUT_A{1};
inline constexpr Bit INPUT_B{2};
inline constexpr Field FREQ_FRAME_SIZE{8, 6};
inline constexpr Bit SIGNED{28};
} // namespace dnnctl0
namespace dnnctl1 {
inline constexpr Field INPUTS{8, 11};
}
namespace dnnctl3 {
inline constexpr Field RUN_THRESHOLD{14, 8};
inline constexpr Field MIN_THRESHOLD{22, 8};
} // namespace dnnctl3
namespace dnnctl7 {
inline constexpr Field FRAME_SIZE{0, 11};
inline constexpr Field STATIC_INPUTS{11, 11};
inline constexpr Field OUTPUTS{22, 7};
} // namespace dnnctl7

namespace pdmctl {
inline constexpr Bit ANY{1};
inline constexpr Bit CH1{2};
inline constexpr Bit CH0{3};
} // namespace pdmctl
namespace pdmcfg {
inline constexpr Field DECIMATION{0, 8};
inline constexpr Field IN_SHIFT{8, 5};
inline constexpr Field OUT_SHIFT{13, 3};
inline constexpr Bit RAW{16};
inline constexpr Field DC_MAGNITUDE{17, 13};
inline constexpr Bit DC_NEGATIVE{30};
} // namespace pdmcfg

namespace i2sctl {
inline constexpr Bit IN_USE{0};
inline constexpr Bit DIRECT{2};
inline constexpr Bit MONO{3};
inline constexpr Bit RIGHT{4};
inline constexpr Bit LEFT{5};
inline constexpr Field FRAME_SIZE{6, 5};
inline constexpr Field SAMPLE_SIZE{11, 5};
inline constexpr Field SAMPLE_MSBIT{16, 5};
} // namespace i2sctl

namespace mem {
inline constexpr Field BOOTRAM{11, 3};
inline constexpr Field RAM{14, 3};
inline constexpr Bit BOOTROM_OFF{17};
inline constexpr Field DNNFEATURE{11, 3}; // in mem0
inline constexpr uint32_t CODE_OFF = 7, CODE_ON = 6, CODE_RETAIN = 1;
} // namespace mem

// Words of the firmware state block, as byte offsets from fw_state_addr.
namespace fw {
inline constexpr uint32_t TANKPTR = 0;
inline constexpr uint32_t ENABLE = 276;
inline constexpr uint32_t TANK_RESET = 280;
inline constexpr uint32_t GPIO_ROLE = 300;
inline constexpr uint32_t SENSOR = 308;
inline constexpr uint32_t MATCH_PER_FRAME = 404;
inline constexpr uint32_t MAX_ADJUSTMENT_GAIN = 412;
inline constexpr uint32_t NOM_SPEECH_QUIET = 416;
inline constexpr uint32_t NOISE_THRESHOLD = 420;
inline constexpr uint32_t NOISE_THRESHOLD_WIN = 424;
inline constexpr uint32_t NOISE_THRESHOLD_CNTR_HI = 428;
inline constexpr uint32_t NOISE_THRESHOLD_CNTR_LO = 432;

inline constexpr Bit ENABLE_AGC{0};
inline constexpr unsigned NOM_SPEECH_SHIFT = 22;
inline constexpr uint32_t NOM_SPEECH_MAX = 1023;
inline constexpr uint32_t AGC_ADJ_MAX = 15;

inline constexpr unsigned SENSOR_RECORD_SIZE = 24;
namespace sensor_control {
inline constexpr Field ID{0, 8};
inline constexpr Field ADDRESS{8, 8};
inline constexpr Field INT_GPIO{16, 4};
inline constexpr Field AXES{20, 4};
} // namespace sensor_control
inline constexpr unsigned SENSOR_TANK_SHIFT = 0;
inline constexpr unsigned SENSOR_INPUT_SHIFT = 16;
} // namespace fw

} // namespace zelp7x
