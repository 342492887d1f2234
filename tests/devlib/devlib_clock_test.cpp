// The input clock step (FLL and external clock), the FLL arithmetic, module dividers and the
// filter-bank and SPI word steps, checked on the bus against the simulated chip's clock unit.
#include <gtest/gtest.h>

#include "morvel_devlib/morvel_zelp.h"
#include "chip/chip.h"
#include "chip/clock_unit.h"
#include "support/chip/chip_host.h"
#include "support/chip/config_limits.h"
#include "support/chip/zelp7x_transfers.h"

using namespace ztest;

namespace {

constexpr uint32_t FLLCTL0 = 0x40009058, FLLCTL1 = 0x4000905C, FLLCTL2 = 0x40009060;
constexpr uint32_t FLLSTS0 = 0x40009068, FLLSTS1 = 0x4000906C;
constexpr uint32_t CLKCTL0 = 0x40009004, CLKCTL1 = 0x40009008;
constexpr uint32_t RATE_WORD = 0x20017000;
constexpr uint32_t SCRATCH0 = 0x20017FF8, SCRATCH1 = 0x20017FFC;

struct InputClock : ::testing::Test {
    zsim::Chip chip;
    zsim::ClockUnit clock{chip};
    ChipHost host{chip};
    morvel_zelp_device_s *zelp = nullptr;
    morvel_zelp7x_config_s config{};

    void SetUp() override {
        chip.attach(clock);
        chip.poke_spi(4, 0x03); // ctl as reset leaves it
        zelp = host.device();
        zelp->init = 1;
    }

    int set_input_clock(uint32_t rate) {
        config.set = MORVEL_ZELP7X_CONFIG_SET_INPUT_CLOCK_RATE;
        config.input_clock_rate = rate;
        return morvel_zelp7x_config_set_input_clock(zelp, &config);
    }
    std::vector<Transfer> writes() const { return writes_of(host.transfers); }
    unsigned ctl_writes_with_ext_clock() const {
        unsigned n = 0;
        for (const Transfer &t : host.transfers)
            if (t.write && t.mcu == 0 && t.address == 4 && (t.data[0] & 0x04) != 0) ++n;
        return n;
    }
};

TEST_F(InputClock, ExternalSixteenMegahertzRunsThePatternCheckOnce) {
    ASSERT_EQ(set_input_clock(16000000), MORVEL_ZELP_ERROR_NONE);

    std::vector<Transfer> expected{spi_read(4, {0x03}), mcu_write(SCRATCH0, 0xAAAAAAAA),
                                   mcu_write(SCRATCH1, 0x55555555)};
    auto add = [&](const std::vector<Transfer> &ts) {
        expected.insert(expected.end(), ts.begin(), ts.end());
    };
    add(slow_read(SCRATCH0, 0xAAAAAAAA));
    expected.push_back(spi_write(4, {0x07}));
    add(slow_read(SCRATCH1, 0x55555555));
    add(slow_read(SCRATCH0, 0xAAAAAAAA));
    add({mcu_write(CLKCTL0, 0x00C00800), mcu_write(CLKCTL1, 0x00000420),
         mcu_write(RATE_WORD, 16000000)});
    EXPECT_EQ(host.transfers, expected);
    EXPECT_EQ(chip.peek_spi(4), 0x07);
    EXPECT_EQ(zelp->d.zelp7x.input_clock_rate, 16000000u);
}

TEST_F(InputClock, OverdriveStateRaisesTheCoreAndHalvesTheModules) {
    clock.fll = zsim::ClockUnit::Fll::offers_overdrive;
    ASSERT_EQ(set_input_clock(32768), MORVEL_ZELP_ERROR_NONE);
    const std::vector<Transfer> w = writes();
    // The overdrive word goes out after the status words were read, then the halved dividers.
    ASSERT_GE(w.size(), 4u);
    EXPECT_EQ(w[w.size() - 4], mcu_write(FLLCTL1, 0x400B4B72));
    EXPECT_EQ(w[w.size() - 3], mcu_write(CLKCTL0, 0x00C01000));
    EXPECT_EQ(w[w.size() - 2], mcu_write(CLKCTL1, 0x00000820));
    EXPECT_EQ(clock.fllctl1(), 0x400B4B72u);
    EXPECT_EQ(chip.peek_mcu(FLLSTS1), 0u); // status words stay the unit's, not memory
}

TEST_F(InputClock, OverdriveOutOfReachOfASlowInputKeepsTheLockedRate) {
    clock.fll = zsim::ClockUnit::Fll::offers_overdrive;
    ASSERT_EQ(set_input_clock(4000), MORVEL_ZELP_ERROR_NONE); // 24 MHz needs a multiplier > 16383
    EXPECT_EQ(clock.fllctl1() & 0x3FFF, 16000u);
    EXPECT_EQ(chip.peek_mcu(CLKCTL0), 0x00C00800u);
}

TEST_F(InputClock, FllThatNeverLocksTimesOutAfter250ReadsAndKeepsTheOldRate) {
    clock.fll = zsim::ClockUnit::Fll::never_locks;
    chip.poke_mcu(RATE_WORD, 12345);
    zelp->d.zelp7x.input_clock_rate = 12345;
    EXPECT_EQ(set_input_clock(32768), MORVEL_ZELP_ERROR_TIMEOUT);
    EXPECT_EQ(clock.status_reads(), 250u);
    EXPECT_EQ(zelp->d.zelp7x.input_clock_rate, 0u);
    EXPECT_EQ(chip.peek_mcu(RATE_WORD), 12345u);
    EXPECT_EQ(chip.peek_mcu(CLKCTL0), 0u);
}

TEST_F(InputClock, FourMegahertzIsExternalAndJustBelowUsesTheFll) {
    ASSERT_EQ(set_input_clock(4000000), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(writes().front(), mcu_write(SCRATCH0, 0xAAAAAAAA));

    host.transfers.clear();
    chip.poke_spi(4, 0x03);
    ASSERT_EQ(set_input_clock(3999999), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(writes().front().address, FLLCTL1);
}

// With the external clock selected, the external path only writes dividers and rate, and the FLL
// path first deselects it.
TEST_F(InputClock, ExternalClockAlreadySelected) {
    chip.poke_spi(4, 0x07);
    ASSERT_EQ(set_input_clock(12000000), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(writes(),
              (std::vector<Transfer>{mcu_write(CLKCTL0, 0x00C00800), mcu_write(CLKCTL1, 0x00000420),
                                     mcu_write(RATE_WORD, 12000000)}));
    host.transfers.clear();
    ASSERT_EQ(set_input_clock(32768), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(writes().front(), spi_write(4, {0x03}));
}

TEST_F(InputClock, ExternalClockFailingEveryCheckTimesOutWithTheFllSelected) {
    clock.external_clock_good = false;
    EXPECT_EQ(set_input_clock(16000000), MORVEL_ZELP_ERROR_TIMEOUT);
    EXPECT_EQ(ctl_writes_with_ext_clock(), 128u);
    EXPECT_EQ(chip.peek_spi(4) & 0x04, 0);
    EXPECT_EQ(zelp->d.zelp7x.input_clock_rate, 0u);
    EXPECT_EQ(chip.peek_mcu(RATE_WORD), 0u);
}

TEST_F(InputClock, PdmClockRoundsToA64kStepAndPicksAnExactCore) {
    config.pdm_clock_rate = 1000000;
    ASSERT_EQ(set_input_clock(32768), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(config.pdm_clock_rate, 1024000u);
    EXPECT_EQ(clock.fllctl1(), 0x401087D0u);

    config.pdm_clock_rate = 1536000;
    ASSERT_EQ(set_input_clock(32768), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(config.pdm_clock_rate, 1536000u);
    EXPECT_EQ(clock.fllctl1(), 0x400E88CAu);
}

TEST_F(InputClock, UnreachableRatesAreRefusedBeforeAnyAccessAndKeepTheKnownClock) {
    // 0 would divide by zero; 1 kHz needs a multiplier beyond its 14-bit field; a PDM clock near
    // 2^32 would overflow the core clock arithmetic. The chip stays on its clock, so the driver
    // must keep knowing it.
    zelp->d.zelp7x.input_clock_rate = 32768;
    EXPECT_EQ(set_input_clock(0), MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(set_input_clock(1000), MORVEL_ZELP_ERROR_ARG);
    config.pdm_clock_rate = 0xFFFFFFFF;
    EXPECT_EQ(set_input_clock(32768), MORVEL_ZELP_ERROR_ARG);
    EXPECT_TRUE(host.transfers.empty());
    EXPECT_EQ(config.pdm_clock_rate, 0xFFFFFFFFu);
    EXPECT_EQ(zelp->d.zelp7x.input_clock_rate, 32768u);
}

TEST(FllArithmetic, WorkedValues) {
    struct Row {
        uint32_t input, target, mult, div, core;
    };
    const Row rows[] = {
        {32768, 16000000, 1953, 67, 15998976},   {32768, 16384000, 2000, 66, 16384000},
        {32768, 18432000, 2250, 58, 18432000},   {32768, 24000000, 2930, 45, 24002560},
        {1000000, 16000000, 64, 2048, 16000000},
    };
    for (const Row &r : rows) {
        uint32_t core = r.target, input = r.input, mult = 0, div = 0;
        EXPECT_EQ(morvel_zelp7x_config_calc_mult_mult(&core, &input, &mult, &div), 0);
        EXPECT_EQ(mult, r.mult) << r.target;
        EXPECT_EQ(div, r.div) << r.target;
        EXPECT_EQ(core, r.core) << r.target;
    }
}

TEST(FllArithmetic, DegenerateRatesGiveNoMultiplierInsteadOfDividingByZero) {
    uint32_t core = 16000000, input = 0, mult = 9, div = 9;
    morvel_zelp7x_config_calc_mult_mult(&core, &input, &mult, &div);
    EXPECT_EQ(mult, 0u);
    EXPECT_EQ(div, 0u);
    core = 63; // core >> 6 is 0
    input = 32768;
    morvel_zelp7x_config_calc_mult_mult(&core, &input, &mult, &div);
    EXPECT_EQ(div, 0u);
}

struct ClockStep : ::testing::Test {
    morvel_zelp7x_config_s c{};
    morvel_zelp7x_config_state_s st{};
    void SetUp() override {
        st.input_clock_rate = 32768;
        st.fllctl1 = 0x4010C7A1;
    }
};

TEST_F(ClockStep, CoreFollowsTheFllOrTheExternalClock) {
    ASSERT_EQ(morvel_zelp7x_config_set_clock(&c, &st), 0);
    EXPECT_EQ(st.core_clock_rate, 15998976u);
    st.ctl = 0x04;
    st.input_clock_rate = 12000000;
    ASSERT_EQ(morvel_zelp7x_config_set_clock(&c, &st), 0);
    EXPECT_EQ(st.core_clock_rate, 12000000u);
}

TEST_F(ClockStep, ModuleRateLimitsAndDividerFields) {
    c.set = MORVEL_ZELP7X_CONFIG_SET_MCU_CLOCK_RATE;
    c.mcu_clock_rate = 19200001;
    EXPECT_EQ(morvel_zelp7x_config_set_clock(&c, &st), MORVEL_ZELP_ERROR_ARG);
    c.mcu_clock_rate = 19200000;
    EXPECT_EQ(morvel_zelp7x_config_set_clock(&c, &st), MORVEL_ZELP_ERROR_NONE);
    // 16 MHz / 1 kHz needs a divider of 15998, which a 10-bit field cannot hold.
    c.mcu_clock_rate = 1000;
    const uint32_t before = st.clkctl0;
    EXPECT_EQ(morvel_zelp7x_config_set_clock(&c, &st), MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(st.clkctl0, before);

    c.set = MORVEL_ZELP7X_CONFIG_SET_DNN_CLOCK_RATE | MORVEL_ZELP7X_CONFIG_SET_FREQ_CLOCK_RATE;
    c.dnn_clock_rate = 8000000;
    c.freq_clock_rate = 500000;
    ASSERT_EQ(morvel_zelp7x_config_set_clock(&c, &st), 0);
    EXPECT_EQ(st.clkctl1, (1u << 10) | 31u);
    c.dnn_clock_rate = 19200001;
    EXPECT_EQ(morvel_zelp7x_config_set_clock(&c, &st), MORVEL_ZELP_ERROR_ARG);
}

TEST_F(ClockStep, NoDividerFromAnUnknownCoreClock) {
    st.input_clock_rate = 0; // the clock was never configured
    c.set = MORVEL_ZELP7X_CONFIG_SET_DNN_CLOCK_RATE;
    c.dnn_clock_rate = 8000000;
    EXPECT_EQ(morvel_zelp7x_config_set_clock(&c, &st), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(st.clkctl1, 0u);
}

TEST_F(ClockStep, ReportDividesTheCoreAndShowsZeroForUnsetDividers) {
    st.core_clock_rate = 16000000;
    st.clkctl0 = 0x00C00800;
    st.clkctl1 = 0x00000420;
    morvel_zelp7x_config_get_clock(&st, &c);
    EXPECT_EQ(c.mcu_clock_rate, 16000000u);
    EXPECT_EQ(c.dnn_clock_rate, 16000000u);
    EXPECT_EQ(c.freq_clock_rate, 500000u);
    EXPECT_EQ(c.spi_max_pcm_input_rate, 1000000u);
    st.clkctl0 = st.clkctl1 = 0;
    morvel_zelp7x_config_get_clock(&st, &c);
    EXPECT_EQ(c.mcu_clock_rate, 0u);
    EXPECT_EQ(c.freq_clock_rate, 0u);
}

TEST_F(ClockStep, SpiWordSizeAndFilterBankRanges) {
    c.set = MORVEL_ZELP7X_CONFIG_SET_SPI_WORD_BITS;
    c.spi_word_bits = 12;
    EXPECT_EQ(morvel_zelp7x_config_set_spi(&c, &st), MORVEL_ZELP_ERROR_ARG);
    c.spi_word_bits = 8;
    ASSERT_EQ(morvel_zelp7x_config_set_spi(&c, &st), 0);
    EXPECT_EQ(st.smplctl, 0x4u);
    morvel_zelp7x_config_get_spi(&st, &c);
    EXPECT_EQ(c.spi_word_bits, 8u);

    using C = morvel_zelp7x_config_s;
    expect_limits(morvel_zelp7x_config_set_freq, morvel_zelp7x_config_get_freq,
                  {{MORVEL_ZELP7X_CONFIG_SET_PREEMPHASIS_EXPONENT, &C::preemphasis_exponent, 0, 15},
                   {MORVEL_ZELP7X_CONFIG_SET_POWER_OFFSET, &C::power_offset, 0, 127},
                   {MORVEL_ZELP7X_CONFIG_SET_POWER_SCALE_EXPONENT, &C::power_scale_exponent, 0, 3},
                   {MORVEL_ZELP7X_CONFIG_SET_FREQ_FRAME_SIZE, &C::freq_frame_size, 0, 40}});
}

TEST_F(ClockStep, FilterBankRunsUnlessTheNetworkTakesSamplesDirectly) {
    c.set = MORVEL_ZELP7X_CONFIG_SET_DNN_INPUT;
    st.dnn_input = MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM0;
    ASSERT_EQ(morvel_zelp7x_config_set_freq(&c, &st), 0);
    EXPECT_EQ(st.freqctl & 0xC, 0xCu);
    st.dnn_input = MORVEL_ZELP7X_CONFIG_DNN_INPUT_SPI_DIRECT;
    ASSERT_EQ(morvel_zelp7x_config_set_freq(&c, &st), 0);
    EXPECT_EQ(st.freqctl & 0xC, 0u);
    st.dnn_input = MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE;
    st.tank_input = MORVEL_ZELP7X_CONFIG_TANK_INPUT_FILTER_BANK;
    ASSERT_EQ(morvel_zelp7x_config_set_freq(&c, &st), 0);
    EXPECT_EQ(st.freqctl & 0xC, 0xCu);
}

} // namespace
