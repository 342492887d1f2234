// The simulated clock unit on its own, and the driver's clock configuration flows run against
// the simulated chip from library init onwards.
#include <gtest/gtest.h>

#include "morvel_devlib/morvel_zelp.h"
#include "board.h"
#include "chip/chip.h"
#include "chip/clock_unit.h"
#include "support/chip/chip_host.h"

using zsim::ClockUnit;

namespace {

constexpr uint32_t RATE_WORD = 0x20017000;
constexpr uint32_t CLKCTL0 = 0x40009004, CLKCTL1 = 0x40009008;

struct Unit : ::testing::Test {
    zsim::Chip chip;
    ClockUnit clock{chip};
    void SetUp() override { chip.attach(clock); }
    uint32_t state() { return chip.mcu_read(ClockUnit::fllsts0_address) & 7; }
};

TEST_F(Unit, FllLocksOnlyAfterProgrammingAndSettling) {
    EXPECT_EQ(state(), ClockUnit::state_unlocked);
    chip.mcu_write(ClockUnit::fllctl1_address, 0x4010C7A1);
    EXPECT_EQ(state(), ClockUnit::state_unlocked); // control word 0 starts it
    chip.mcu_write(ClockUnit::fllctl0_address, 0x03FF80EF);
    for (unsigned i = 0; i < clock.settle_reads; ++i) EXPECT_EQ(state(), ClockUnit::state_settling);
    EXPECT_EQ(state(), ClockUnit::state_locked);
    EXPECT_EQ(chip.mcu_read(ClockUnit::fllctl1_address), 0x4010C7A1u);
    chip.mcu_write(ClockUnit::fllsts0_address, 0); // read-only
    EXPECT_EQ(state(), ClockUnit::state_locked);
}

TEST_F(Unit, InjectedOverdriveAndNeverLocking) {
    clock.fll = ClockUnit::Fll::offers_overdrive;
    clock.settle_reads = 0;
    chip.mcu_write(ClockUnit::fllctl0_address, 1);
    EXPECT_EQ(chip.mcu_read(ClockUnit::fllsts0_address), 0x38000004u);
    EXPECT_EQ(chip.mcu_read(ClockUnit::fllsts1_address), 0xFFFFF000u);
    clock.fll = ClockUnit::Fll::never_locks;
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(state(), ClockUnit::state_settling);
}

TEST_F(Unit, ScratchWordsFailOnlyOnABadExternalClock) {
    chip.mcu_write(ClockUnit::scratch0_address, 0xAAAAAAAA);
    chip.mcu_write(ClockUnit::scratch1_address, 0x55555555);
    clock.external_clock_good = false;
    EXPECT_EQ(chip.mcu_read(ClockUnit::scratch1_address), 0x55555555u); // still on the FLL
    chip.spi_write(zsim::Chip::CTL, 0x07);
    EXPECT_EQ(chip.mcu_read(ClockUnit::scratch1_address),
              chip.mcu_read(ClockUnit::scratch0_address));
    clock.external_clock_good = true;
    EXPECT_EQ(chip.mcu_read(ClockUnit::scratch1_address), 0x55555555u);
}

// The library from init on, as the flash tool uses it.
struct Flow : ::testing::Test {
    zsim::Chip chip;
    ClockUnit clock{chip};
    ztest::ChipHost host{chip};
    morvel_zelp_integration_interfaces_s iif = host.iif();
    morvel_zelp_device_s *zelp = nullptr;
    morvel_zelp7x_config_s config{};

    void SetUp() override {
        chip.attach(clock);
        ASSERT_EQ(morvel_zelp_init(&zelp, &iif, MORVEL_ZELP_INIT_MODE_RESET), 0);
    }
    void TearDown() override { iif.free(zelp); }
    int set_clock(uint32_t rate) {
        config = {};
        config.set = MORVEL_ZELP7X_CONFIG_SET_INPUT_CLOCK_RATE;
        config.input_clock_rate = rate;
        return morvel_zelp7x_config(zelp, &config);
    }
};

// The register values each choice writes are checked access by access with the clock tests of
// the library; here the choices follow one another on one chip, as successive runs do.
TEST_F(Flow, EachInputClockSelectsItsSourceAndReportsTheCore) {
    struct choice {
        uint32_t rate;
        ClockUnit::Fll fll;
        bool external;
        uint32_t core;
    };
    const choice choices[] = {
        {32768, ClockUnit::Fll::locks, false, 15998976},
        {16000000, ClockUnit::Fll::locks, true, 16000000},
        {32768, ClockUnit::Fll::locks, false, 15998976}, // back to a crystal: the FLL again
        {32768, ClockUnit::Fll::offers_overdrive, false, 24002560},
    };
    for (const choice &c : choices) {
        SCOPED_TRACE(testing::Message() << c.rate << (c.external ? " external" : " fll"));
        clock.fll = c.fll;
        ASSERT_EQ(set_clock(c.rate), MORVEL_ZELP_ERROR_NONE);
        EXPECT_EQ(chip.peek_spi(zsim::Chip::CTL) & 0x04, c.external ? 0x04 : 0);
        EXPECT_EQ(config.core_clock_rate, c.core);
        EXPECT_EQ(chip.peek_mcu(RATE_WORD), c.rate);
        EXPECT_EQ(zelp->d.zelp7x.input_clock_rate, c.rate);
    }
    EXPECT_EQ(config.mcu_clock_rate, 12001280u) << "overdrive runs the modules at half the core";
    EXPECT_EQ(chip.peek_mcu(CLKCTL1), 0x00000820u);
}

TEST_F(Flow, LaterCallsTrustTheKnownClockAndChangeOnlyWhatTheyName) {
    ASSERT_EQ(set_clock(32768), MORVEL_ZELP_ERROR_NONE);
    const int slow_reads = chip.slow_reads();
    config = {};
    config.set = MORVEL_ZELP7X_CONFIG_SET_MCU_CLOCK_RATE;
    config.mcu_clock_rate = 8000000;
    ASSERT_EQ(morvel_zelp7x_config(zelp, &config), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(chip.peek_mcu(CLKCTL0), 0x00C00000u | (1u << 11));
    EXPECT_EQ(config.mcu_clock_rate, 15998976u);
    EXPECT_EQ(chip.slow_reads(), slow_reads); // the clock is known: reads go direct
}

TEST_F(Flow, AFailedClockIsUnknownUntilAGoodOneRecovers) {
    clock.fll = ClockUnit::Fll::never_locks;
    EXPECT_EQ(set_clock(32768), MORVEL_ZELP_ERROR_TIMEOUT);
    EXPECT_EQ(zelp->d.zelp7x.input_clock_rate, 0u);
    clock.external_clock_good = false;
    EXPECT_EQ(set_clock(16000000), MORVEL_ZELP_ERROR_TIMEOUT);
    EXPECT_EQ(chip.peek_spi(zsim::Chip::CTL) & 0x04, 0);
    clock.fll = ClockUnit::Fll::locks;
    EXPECT_EQ(set_clock(32768), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(zelp->d.zelp7x.input_clock_rate, 32768u);
}

TEST_F(Flow, FrontEndSettingsPersistAcrossCalls) {
    ASSERT_EQ(set_clock(32768), 0);
    config = {};
    config.set = MORVEL_ZELP7X_CONFIG_SET_DNN_INPUT | MORVEL_ZELP7X_CONFIG_SET_TANK_INPUT |
                 MORVEL_ZELP7X_CONFIG_SET_PDM_CLOCK_RATE | MORVEL_ZELP7X_CONFIG_SET_PDM_CLOCK_ZELP |
                 MORVEL_ZELP7X_CONFIG_SET_FREQ_FRAME_SIZE;
    config.dnn_input = MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM_SUM;
    config.tank_input = MORVEL_ZELP7X_CONFIG_TANK_INPUT_DNN;
    config.pdm_clock_rate = 1024000;
    config.pdm_clock_zelp = 1;
    config.freq_frame_size = 40;
    ASSERT_EQ(morvel_zelp7x_config(zelp, &config), 0);

    morvel_zelp7x_config_s again{};
    again.get_all = 1;
    ASSERT_EQ(morvel_zelp7x_config(zelp, &again), 0);
    EXPECT_EQ(again.dnn_input, unsigned{MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM_SUM});
    EXPECT_EQ(again.tank_input, unsigned{MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM_SUM});
    EXPECT_EQ(again.freq_frame_size, 40u);
    EXPECT_EQ(again.pdm_clock_zelp, 1u);
    EXPECT_EQ(again.pdm_clock_rate, 62u * 16000);
    EXPECT_EQ(again.tank_size, 2048u);

    // The cached query answers from the device record without the chip.
    const size_t transfers = host.transfers.size();
    morvel_zelp7x_config_s cached{};
    ASSERT_EQ(morvel_zelp7x_config(zelp, &cached), 0);
    EXPECT_EQ(host.transfers.size(), transfers);
    EXPECT_EQ(cached.dnn_input, again.dnn_input);
    EXPECT_EQ(cached.freq_frame_size, 40u);
}

} // namespace
