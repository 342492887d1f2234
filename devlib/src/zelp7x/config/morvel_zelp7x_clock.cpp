// Clocks: the input clock step that puts the chip on its input clock (through the FLL below
// 4 MHz, directly at and above), the FLL multiplier arithmetic, and the module clock dividers.
#include <algorithm>
#include <array>
#include <limits>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_config.h"
#include "zelp7x/config/zelp7x_config_bus.h"
#include "zelp7x/config/zelp7x_config_fields.h"
#include "zelp7x/config/zelp7x_config_steps.h"
#include "zelp7x/zelp7x_registers.h"

using namespace zelp7x;

namespace {

using Config = morvel_zelp7x_config_s;

constexpr uint32_t PDM_RATE_STEP = 64000; // PDM clocks the FLL can serve exactly
constexpr uint32_t FAST_MODULE_LIMIT = 19200000;

constexpr uint32_t saturate32(uint64_t v) {
    return static_cast<uint32_t>(std::min<uint64_t>(v, std::numeric_limits<uint32_t>::max()));
}

// What the FLL is to be programmed with, worked out before anything is written.
struct FllPlan {
    uint32_t pdm_clock_rate;
    uint32_t core_clock_rate;
    uint32_t fllctl1;
};

// Multiplier and divider for the core rate, or MORVEL_ZELP_ERROR_ARG when either does not fit
// its 14-bit field (an input clock too slow, or a core clock far out of reach).
int fll_word(uint32_t &core, uint32_t input, uint32_t &fllctl1) {
    uint32_t mult = 0, div = 0;
    morvel_zelp7x_config_calc_mult_mult(&core, &input, &mult, &div);
    if (mult == 0 || div == 0 || !fll::MULT.fits(mult) || !fll::DIV.fits(div))
        return MORVEL_ZELP_ERROR_ARG;
    fllctl1 = fll::DIV.put(fll::MULT.put(fll::CTL1_IMAGE, mult), div);
    return MORVEL_ZELP_ERROR_NONE;
}

// The core clock is chosen as a multiple of the PDM clock so the microphones get an exact divider.
int plan_fll(const Config &c, FllPlan &plan) {
    uint64_t pdm = c.pdm_clock_rate;
    if (pdm % PDM_RATE_STEP != 0) pdm = (pdm + PDM_RATE_STEP / 2) / PDM_RATE_STEP * PDM_RATE_STEP;
    if (pdm > std::numeric_limits<uint32_t>::max()) return MORVEL_ZELP_ERROR_ARG;

    uint64_t pdm_clk_div = pdm != 0 ? (pdm / 2 + MORVEL_ZELP7X_TARGET_CLOCK_RATE) / pdm : 1;
    if (pdm_clk_div > 1 && pdm_clk_div % 2 == 1) ++pdm_clk_div;

    uint64_t core = MORVEL_ZELP7X_TARGET_CLOCK_RATE;
    if (pdm != 0) {
        core = pdm * pdm_clk_div;
        if (core < MORVEL_ZELP7X_TARGET_CLOCK_RATE) core = pdm * (pdm_clk_div + 2);
    }
    if (core > std::numeric_limits<uint32_t>::max()) return MORVEL_ZELP_ERROR_ARG;

    plan.pdm_clock_rate = static_cast<uint32_t>(pdm);
    plan.core_clock_rate = static_cast<uint32_t>(core);
    return fll_word(plan.core_clock_rate, c.input_clock_rate, plan.fllctl1);
}

int use_fll_clock(morvel_zelp_device_s *zelp, uint8_t &ctl) {
    if ((ctl & ctl::EXT_CLOCK) == 0) return MORVEL_ZELP_ERROR_NONE;
    ctl = static_cast<uint8_t>(ctl & ~ctl::EXT_CLOCK);
    return write_spi(zelp, ZELP7X_SPI_CTL, ctl);
}

bool fll_overdrive_ready(uint32_t sts0, uint32_t sts1) {
    return fll::STS0_OVERDRIVE.get(sts0) == fll::STS0_OVERDRIVE.max() &&
           fll::STS1_OVERDRIVE.get(sts1) == fll::STS1_OVERDRIVE.max();
}

// The FLL ends in state 5 (locked) or 4 (locked, with headroom for the overdrive rate, which is
// then taken when the status words show it is available).
int wait_fll_lock(morvel_zelp_device_s *zelp, uint32_t input, uint32_t &core) {
    for (unsigned i = 0; i < fll::STATUS_READS; ++i) {
        uint32_t sts0 = 0;
        int s = read_word(zelp, ZELP7X_MCU_FLLSTS0, sts0);
        if (s != 0) return s;
        const uint32_t state = fll::STATE.get(sts0);
        if (state == fll::STATE_LOCKED) return MORVEL_ZELP_ERROR_NONE;
        if (state != fll::STATE_OVERDRIVE) continue;
        uint32_t sts1 = 0;
        s = read_word(zelp, ZELP7X_MCU_FLLSTS1, sts1);
        if (s != 0 || !fll_overdrive_ready(sts0, sts1)) return s;
        uint32_t overdrive = MORVEL_ZELP7X_TARGET_OVERDRIVE_CLOCK_RATE;
        uint32_t fllctl1 = 0;
        // An input too slow to multiply up that far stays at the rate it has locked on.
        if (fll_word(overdrive, input, fllctl1) != 0) return MORVEL_ZELP_ERROR_NONE;
        s = write_word(zelp, ZELP7X_MCU_FLLCTL1, fllctl1);
        if (s == 0) core = overdrive;
        return s;
    }
    return MORVEL_ZELP_ERROR_TIMEOUT;
}

int start_fll(morvel_zelp_device_s *zelp, const FllPlan &plan, Config &c, uint8_t &ctl,
              uint32_t &core) {
    c.pdm_clock_rate = plan.pdm_clock_rate;
    core = plan.core_clock_rate;
    int s = use_fll_clock(zelp, ctl);
    if (s == 0) s = write_word(zelp, ZELP7X_MCU_FLLCTL1, plan.fllctl1);
    if (s == 0) s = write_word(zelp, ZELP7X_MCU_FLLCTL2, fll::CTL2_VALUE);
    if (s == 0) s = write_word(zelp, ZELP7X_MCU_FLLCTL0, fll::CTL0_VALUE);
    if (s == 0) s = wait_fll_lock(zelp, c.input_clock_rate, core);
    return s;
}

int write_ctl(morvel_zelp_device_s *zelp, uint8_t &ctl, bool external) {
    ctl = static_cast<uint8_t>(external ? (ctl | ctl::EXT_CLOCK) : (ctl & ~ctl::EXT_CLOCK));
    return write_spi(zelp, ZELP7X_SPI_CTL, ctl);
}

// One try of the external clock: the memory must keep both test patterns apart while the core
// runs on it. Sets passed, or leaves the FLL selected again.
int try_external_clock(morvel_zelp_device_s *zelp, uint8_t &ctl, uint32_t reference, bool &passed) {
    int s = write_ctl(zelp, ctl, true);
    uint32_t second = 0, first = 0;
    if (s == 0) s = read_word(zelp, ZELP7X_MCU_SCRATCH1, second);
    if (s != 0) return s;
    if (second != reference) {
        s = read_word(zelp, ZELP7X_MCU_SCRATCH0, first);
        if (s != 0) return s;
        passed = first == reference;
        if (passed) return MORVEL_ZELP_ERROR_NONE;
    }
    return write_ctl(zelp, ctl, false);
}

int select_external_clock(morvel_zelp_device_s *zelp, uint8_t &ctl) {
    if ((ctl & ctl::EXT_CLOCK) != 0) return MORVEL_ZELP_ERROR_NONE;
    uint32_t reference = 0;
    int s = write_word(zelp, ZELP7X_MCU_SCRATCH0, extclk::PATTERN0);
    if (s == 0) s = write_word(zelp, ZELP7X_MCU_SCRATCH1, extclk::PATTERN1);
    if (s == 0) s = read_word(zelp, ZELP7X_MCU_SCRATCH0, reference);
    for (unsigned i = 0; s == 0 && i < extclk::ATTEMPTS; ++i) {
        bool passed = false;
        s = try_external_clock(zelp, ctl, reference, passed);
        if (s == 0 && passed) return MORVEL_ZELP_ERROR_NONE;
    }
    return s != 0 ? s : MORVEL_ZELP_ERROR_TIMEOUT;
}

// Modules above the fastest rate they take run at half the core clock; the filter bank always
// runs at a 32nd.
int write_module_dividers(morvel_zelp_device_s *zelp, uint32_t core) {
    const uint32_t div = core > FAST_MODULE_LIMIT ? 2 : 1;
    int s =
        write_word(zelp, ZELP7X_MCU_CLKCTL0, clkctl0::MCU_DIV.put(clkctl0::INPUT_CLOCK_BITS, div));
    if (s == 0)
        s = write_word(zelp, ZELP7X_MCU_CLKCTL1, clkctl1::DNN_DIV.put(clkctl1::FREQ_DIV_32, div));
    return s;
}

// A module's divider from the core clock: refused when the rate is 0, or so low that the
// quotient does not fit the divider field; and impossible while the core clock is unknown (a
// divider of 0 would be written).
int set_divider(uint32_t &word, Field field, uint32_t core, uint32_t rate) {
    if (rate == 0) return MORVEL_ZELP_ERROR_ARG;
    if (core == 0) return MORVEL_ZELP_ERROR_FAIL;
    return put_checked(word, field, core / rate);
}

uint32_t rate_from_divider(uint32_t core, uint32_t div) {
    return div != 0 ? core / div : 0;
}

} // namespace

namespace zelp7x {

int check_clock_rates(const morvel_zelp7x_config_s &c) {
    struct FlaggedRate {
        unsigned flag;
        unsigned Config::*rate;
    };
    constexpr std::array<FlaggedRate, 4> RATES{{
        {MORVEL_ZELP7X_CONFIG_SET_INPUT_CLOCK_RATE, &Config::input_clock_rate},
        {MORVEL_ZELP7X_CONFIG_SET_MCU_CLOCK_RATE, &Config::mcu_clock_rate},
        {MORVEL_ZELP7X_CONFIG_SET_DNN_CLOCK_RATE, &Config::dnn_clock_rate},
        {MORVEL_ZELP7X_CONFIG_SET_FREQ_CLOCK_RATE, &Config::freq_clock_rate},
    }};
    for (const FlaggedRate &r : RATES)
        if ((c.set & r.flag) != 0 && c.*r.rate == 0) return MORVEL_ZELP_ERROR_ARG;
    return MORVEL_ZELP_ERROR_NONE;
}

} // namespace zelp7x

extern "C" {

int morvel_zelp7x_config_set_input_clock(morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *c) {
    if ((c->set & MORVEL_ZELP7X_CONFIG_SET_INPUT_CLOCK_RATE) == 0) return MORVEL_ZELP_ERROR_NONE;
    if (c->input_clock_rate == 0) return MORVEL_ZELP_ERROR_ARG;
    // A rate the FLL cannot serve is refused while the chip still runs on its known clock, so
    // the driver keeps that knowledge.
    const bool use_fll = c->input_clock_rate < MORVEL_ZELP7X_MAX_FLL_REF_CLOCK_RATE;
    FllPlan plan{};
    int s = use_fll ? plan_fll(*c, plan) : MORVEL_ZELP_ERROR_NONE;
    if (s != 0) return s;

    morvel_zelp7x_device_s &dev = record(zelp);
    // Until the new clock is proven, MCU reads must not rely on any clock rate.
    dev.input_clock_rate = 0;
    uint8_t ctl = 0;
    s = read_spi(zelp, ZELP7X_SPI_CTL, &ctl);
    if (s != 0) return s;

    uint32_t core = c->input_clock_rate;
    if (use_fll)
        s = start_fll(zelp, plan, *c, ctl, core);
    else
        s = select_external_clock(zelp, ctl);
    if (s == 0) s = write_module_dividers(zelp, core);
    if (s == 0) s = write_word(zelp, ZELP7X_MCU_HOST_CONFIG_INPUT_CLOCK, c->input_clock_rate);
    if (s != 0) return s;
    dev.input_clock_rate = c->input_clock_rate;
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_config_calc_mult_mult(uint32_t *core_clock_rate, uint32_t *input_clock_rate,
                                        uint32_t *clock_mult, uint32_t *clock_div) {
    const uint64_t core = *core_clock_rate;
    const uint64_t input = *input_clock_rate;
    if (input == 0 || (core >> 6) == 0) {
        // No multiplier reaches this rate; 0 is never a valid field value.
        *clock_mult = *clock_div = 0;
        return 0;
    }
    const uint64_t mult = halve_up(core * 8 / input);
    const uint64_t div = halve_up((input << 10) / (core >> 6));
    *clock_mult = saturate32(mult);
    *clock_div = saturate32(div);
    *core_clock_rate = saturate32(halve_up((mult * input) >> 1));
    return 0;
}

int morvel_zelp7x_config_set_clock(morvel_zelp7x_config_s *c, morvel_zelp7x_config_state_s *st) {
    if ((st->ctl & ctl::EXT_CLOCK) != 0)
        st->core_clock_rate = st->input_clock_rate;
    else
        st->core_clock_rate = saturate32(
            halve_up((uint64_t{st->input_clock_rate} * fll::MULT.get(st->fllctl1)) >> 1));
    const uint32_t core = st->core_clock_rate;
    int s = MORVEL_ZELP_ERROR_NONE;
    if ((c->set & MORVEL_ZELP7X_CONFIG_SET_MCU_CLOCK_RATE) != 0) {
        if (c->mcu_clock_rate > MORVEL_ZELP7X_MAX_MCU_RATE) return MORVEL_ZELP_ERROR_ARG;
        s = set_divider(st->clkctl0, clkctl0::MCU_DIV, core, c->mcu_clock_rate);
        if (s != 0) return s;
    }
    if ((c->set & MORVEL_ZELP7X_CONFIG_SET_DNN_CLOCK_RATE) != 0) {
        if (c->dnn_clock_rate > MORVEL_ZELP7X_MAX_DNN_RATE) return MORVEL_ZELP_ERROR_ARG;
        s = set_divider(st->clkctl1, clkctl1::DNN_DIV, core, c->dnn_clock_rate);
        if (s != 0) return s;
    }
    if ((c->set & MORVEL_ZELP7X_CONFIG_SET_FREQ_CLOCK_RATE) != 0)
        s = set_divider(st->clkctl1, clkctl1::FREQ_DIV, core, c->freq_clock_rate);
    return s;
}

void morvel_zelp7x_config_get_clock(morvel_zelp7x_config_state_s *st, morvel_zelp7x_config_s *c) {
    const uint32_t core = st->core_clock_rate;
    c->input_clock_rate = st->input_clock_rate;
    c->core_clock_rate = core;
    c->mcu_clock_rate = rate_from_divider(core, clkctl0::MCU_DIV.get(st->clkctl0));
    c->freq_clock_rate = rate_from_divider(core, clkctl1::FREQ_DIV.get(st->clkctl1));
    c->spi_max_pcm_input_rate = 2 * c->freq_clock_rate;
    c->dnn_clock_rate = rate_from_divider(core, clkctl1::DNN_DIV.get(st->clkctl1));
}

} // extern "C"
