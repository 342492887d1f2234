// The audio front-end steps: routing of network and tank inputs, PDM and I2S ports, firmware
// settings, memory power, filter bins and sensors.
#include <gtest/gtest.h>

#include "morvel_devlib/morvel_zelp.h"
#include "chip/chip.h"
#include "support/chip/chip_host.h"
#include "support/chip/config_limits.h"
#include "support/chip/zelp7x_transfers.h"

using namespace ztest;

namespace {

using Config = morvel_zelp7x_config_s;
using State = morvel_zelp7x_config_state_s;

constexpr unsigned DNN_NONE = MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE;
constexpr unsigned TANK_NONE = MORVEL_ZELP7X_CONFIG_TANK_INPUT_NONE;
constexpr unsigned TANK_DNN = MORVEL_ZELP7X_CONFIG_TANK_INPUT_DNN;
constexpr int ARG = MORVEL_ZELP_ERROR_ARG;

struct Frontend : ::testing::Test {
    Config c{};
    State st{};

    void SetUp() override { st.tank_max_size = 0x10000; }

    int route(unsigned dnn, unsigned tank) {
        c.set = MORVEL_ZELP7X_CONFIG_SET_DNN_INPUT | MORVEL_ZELP7X_CONFIG_SET_TANK_INPUT;
        c.dnn_input = dnn;
        c.tank_input = tank;
        return morvel_zelp7x_config_set_input(&c, &st);
    }
    // What the registers now say, decoded from scratch.
    std::pair<unsigned, unsigned> decoded() {
        State copy = st;
        morvel_zelp7x_config_get_dnn(&copy, nullptr);
        morvel_zelp7x_config_get_tank(&copy, nullptr);
        return {copy.dnn_input, copy.tank_input};
    }
};

// Every network input alone, and every allowed pair with a network input, decodes back from the
// registers. The sample source follows the network input, so a PDM or I2S tank decodes only with
// a network input of the same kind.
TEST_F(Frontend, EveryAllowedRoutingReadsBackFromTheRegisters) {
    for (unsigned dnn = 0; dnn <= MORVEL_ZELP7X_CONFIG_DNN_INPUT_MAX; ++dnn)
        for (unsigned tank = 0; tank < TANK_DNN; ++tank) {
            if (morvel_zelp7x_config_check_tank(dnn, tank) != 0) continue;
            if (dnn == DNN_NONE && tank != TANK_NONE) continue;
            st = {};
            st.tank_max_size = 0x10000;
            ASSERT_EQ(route(dnn, tank), 0) << dnn << "/" << tank;
            EXPECT_EQ(decoded(), std::make_pair(dnn, tank)) << dnn << "/" << tank;
            EXPECT_EQ(st.dnn_input, dnn);
        }
    c.set = MORVEL_ZELP7X_CONFIG_SET_DNN_INPUT;
    c.dnn_input = 11;
    EXPECT_EQ(morvel_zelp7x_config_set_dnn(&c, &st), MORVEL_ZELP_ERROR_ARG);
}

TEST_F(Frontend, TankFollowingThePdmNetworkRunsBothChannels) {
    ASSERT_EQ(route(MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM0, TANK_DNN), 0);
    EXPECT_EQ(st.tank_input, unsigned{MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM0});
    EXPECT_EQ(st.pdmctl & 0xE, 0xEu);
    EXPECT_EQ(st.tank & 1, 1u);
}

TEST_F(Frontend, TankCompatibilityTable) {
    struct Case {
        unsigned dnn, tank;
        int expected;
    };
    const Case cases[] = {
        {MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_DIRECT, MORVEL_ZELP7X_CONFIG_TANK_INPUT_FILTER_BANK,
         ARG},
        {MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_DIRECT, MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_MONO, 0},
        {DNN_NONE, 16, ARG},
        {DNN_NONE, MORVEL_ZELP7X_CONFIG_TANK_INPUT_FILTER_BANK, ARG},
        {MORVEL_ZELP7X_CONFIG_DNN_INPUT_SPI_DIRECT, TANK_DNN, ARG},
        {MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM1, MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_LEFT, ARG},
        {11, TANK_NONE, ARG},
    };
    for (const Case &k : cases) {
        EXPECT_EQ(morvel_zelp7x_config_check_tank(k.dnn, k.tank), k.expected)
            << k.dnn << "/" << k.tank;
        // Routing resolves a tank that follows the network before it checks the pair.
        if (k.tank != TANK_DNN) {
            EXPECT_EQ(route(k.dnn, k.tank), k.expected) << k.dnn << "/" << k.tank;
        }
    }
}

TEST_F(Frontend, SpiTankWithoutASizeGetsTheDefaultAndSizesAreBounded) {
    for (unsigned dnn : {DNN_NONE, unsigned{MORVEL_ZELP7X_CONFIG_DNN_INPUT_SPI},
                         unsigned{MORVEL_ZELP7X_CONFIG_DNN_INPUT_SPI_DIRECT}}) {
        st.tank = 0;
        ASSERT_EQ(route(dnn, MORVEL_ZELP7X_CONFIG_TANK_INPUT_SPI), 0);
        EXPECT_EQ(st.tank, 0x8001u) << dnn;
    }
    c.set = MORVEL_ZELP7X_CONFIG_SET_TANK_SIZE;
    c.tank_size = 0x10001;
    EXPECT_EQ(morvel_zelp7x_config_set_tank(&c, &st), MORVEL_ZELP_ERROR_ARG);
    // A firmware may allow more than the 17-bit size field holds.
    st.tank_max_size = 0x40000;
    c.tank_size = 0x20000;
    EXPECT_EQ(morvel_zelp7x_config_set_tank(&c, &st), MORVEL_ZELP_ERROR_ARG);
    c.set = MORVEL_ZELP7X_CONFIG_SET_TANK_BITS;
    c.tank_bits = 12;
    EXPECT_EQ(morvel_zelp7x_config_set_tank(&c, &st), MORVEL_ZELP_ERROR_ARG);
}

TEST_F(Frontend, TankReportShowsSpiFillAsTheRestOfAFrame) {
    ASSERT_EQ(route(MORVEL_ZELP7X_CONFIG_DNN_INPUT_SPI, TANK_NONE), 0);
    st.freqctl = 160u << 4;
    morvel_zelp7x_config_get_tank(&st, &c);
    EXPECT_EQ(c.audio_buffer_used, 352u);
    st.smplsts = 17u << 2;
    morvel_zelp7x_config_get_tank(&st, &c);
    EXPECT_EQ(c.audio_buffer_used, 17u);
    EXPECT_EQ(c.audio_frame_size, 512u);
}

TEST(FrontendFields, NetworkAndI2sFieldsAreRangeChecked) {
    expect_limits(
        morvel_zelp7x_config_set_dnn, morvel_zelp7x_config_get_dnn,
        {{MORVEL_ZELP7X_CONFIG_SET_DNN_MINIMUM_THRESHOLD, &Config::dnn_minimum_threshold, 0, 255},
         {MORVEL_ZELP7X_CONFIG_SET_DNN_RUN_THRESHOLD, &Config::dnn_run_threshold, 0, 255},
         {MORVEL_ZELP7X_CONFIG_SET_DNN_FRAME_SIZE, &Config::dnn_frame_size, 0, 2047},
         {MORVEL_ZELP7X_CONFIG_SET_DNN_INPUTS, &Config::dnn_inputs, 0, 2047},
         {MORVEL_ZELP7X_CONFIG_SET_DNN_STATIC_INPUTS, &Config::dnn_static_inputs, 0, 2047},
         {MORVEL_ZELP7X_CONFIG_SET_DNN_OUTPUTS, &Config::dnn_outputs, 0, 127}});
    expect_limits(morvel_zelp7x_config_set_i2s, morvel_zelp7x_config_get_i2s,
                  {{MORVEL_ZELP7X_CONFIG_SET_I2S_FRAME_SIZE, &Config::i2s_frame_size, 1, 32},
                   {MORVEL_ZELP7X_CONFIG_SET_I2S_SAMPLE_SIZE, &Config::i2s_sample_size, 1, 32},
                   {MORVEL_ZELP7X_CONFIG_SET_I2S_SAMPLE_MSBIT, &Config::i2s_sample_msbit, 0, 31}});
}

TEST_F(Frontend, I2sEnablesFollowTheInputs) {
    ASSERT_EQ(
        route(MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_SUM, MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_BOTH), 0);
    EXPECT_EQ(st.i2sctl & 0x3F, 0x31u); // in use, right, left
    ASSERT_EQ(route(MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_DIRECT, TANK_NONE), 0);
    EXPECT_EQ(st.i2sctl & 0x3F, 0x2Du); // in use, direct, mono, left
}

TEST_F(Frontend, PdmClockDecimationAndRawCapture) {
    st.core_clock_rate = 15998976;
    ASSERT_EQ(route(DNN_NONE, MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM_BOTH_RAW), 0);
    c.set = MORVEL_ZELP7X_CONFIG_SET_PDM_CLOCK_ZELP | MORVEL_ZELP7X_CONFIG_SET_PDM_CLOCK_RATE;
    c.pdm_clock_zelp = 1;
    c.pdm_clock_rate = 1024000;
    ASSERT_EQ(morvel_zelp7x_config_set_pdm(&c, &st), 0);
    EXPECT_EQ(st.clkctl2, 0xC08u);     // both drive bits, divider 8
    EXPECT_EQ(st.pdmcfg[0], 0x1003Eu); // raw capture, decimation 62
    EXPECT_EQ(st.pdmcfg[1], 0x1003Eu);
    EXPECT_EQ(st.pdmctl & 0xE, 0xEu);
    Config out{};
    morvel_zelp7x_config_get_pdm(&st, &out);
    EXPECT_EQ(out.pdm_clock_rate, 62u * 16000);
    EXPECT_EQ(out.pdm_clock_zelp, 1u);

    c.set = MORVEL_ZELP7X_CONFIG_SET_PDM_CLOCK_RATE;
    c.pdm_clock_rate = 0;
    EXPECT_EQ(morvel_zelp7x_config_set_pdm(&c, &st), MORVEL_ZELP_ERROR_ARG);
    c.pdm_clock_rate = 1024000;
    st.core_clock_rate = 0;
    EXPECT_EQ(morvel_zelp7x_config_set_pdm(&c, &st), MORVEL_ZELP_ERROR_FAIL);
}

TEST_F(Frontend, ChipDrivenClockWithoutDividerLeavesDecimationAlone) {
    // The chip drives the PDM clock but no divider was ever set: the rate is unknown, and a
    // configuration that does not touch the PDM must still go through.
    st.clkctl2 = 0xC00;
    st.pdmcfg[0] = 0x22;
    st.core_clock_rate = 16000000;
    ASSERT_EQ(morvel_zelp7x_config_set_pdm(&c, &st), 0);
    EXPECT_EQ(st.pdmcfg[0], 0x22u);
    c.set = MORVEL_ZELP7X_CONFIG_SET_PDM_CLOCK_ZELP;
    c.pdm_clock_zelp = 1;
    EXPECT_EQ(morvel_zelp7x_config_set_pdm(&c, &st), MORVEL_ZELP_ERROR_ARG);
}

TEST_F(Frontend, PdmShiftsAndDcOffsetRoundTripAndRefuseWhatDoesNotFit) {
    c.set = MORVEL_ZELP7X_CONFIG_SET_PDM_DC_OFFSET | MORVEL_ZELP7X_CONFIG_SET_PDM_IN_SHIFT |
            MORVEL_ZELP7X_CONFIG_SET_PDM_OUT_SHIFT;
    for (int offset : {-8191, -5, 0, 5, 8191}) {
        c.pdm_dc_offset[0] = offset;
        c.pdm_dc_offset[1] = -offset;
        c.pdm_in_shift[0] = 31;
        c.pdm_out_shift[1] = 7;
        ASSERT_EQ(morvel_zelp7x_config_set_pdm(&c, &st), 0) << offset;
        Config out{};
        morvel_zelp7x_config_get_pdm(&st, &out);
        EXPECT_EQ(out.pdm_dc_offset[0], offset);
        EXPECT_EQ(out.pdm_dc_offset[1], -offset);
        EXPECT_EQ(out.pdm_in_shift[0], 31u);
        EXPECT_EQ(out.pdm_out_shift[1], 7u);
    }
    const State before = st;
    c.pdm_dc_offset[0] = -8192;
    EXPECT_EQ(morvel_zelp7x_config_set_pdm(&c, &st), MORVEL_ZELP_ERROR_ARG);
    c.pdm_dc_offset[0] = 0;
    c.pdm_in_shift[1] = 32;
    EXPECT_EQ(morvel_zelp7x_config_set_pdm(&c, &st), MORVEL_ZELP_ERROR_ARG);
    c.pdm_in_shift[1] = 0;
    c.pdm_out_shift[0] = 8;
    EXPECT_EQ(morvel_zelp7x_config_set_pdm(&c, &st), MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(st.pdmcfg[0], before.pdmcfg[0]);
    EXPECT_EQ(st.pdmcfg[1], before.pdmcfg[1]);
}

TEST_F(Frontend, FirmwareSettingsNeedFirmwareAndStayInRange) {
    c.set = MORVEL_ZELP7X_CONFIG_SET_AGC_ON;
    c.agc_on = 1;
    EXPECT_EQ(morvel_zelp7x_config_set_fw_state(&c, &st), MORVEL_ZELP_ERROR_UNINIT);
    st.fw_state_addr = 0x20010000;
    c.set1 = MORVEL_ZELP7X_CONFIG_SET1_AGC_MAX_ADJ;
    c.agc_max_adj[0] = 16;
    EXPECT_EQ(morvel_zelp7x_config_set_fw_state(&c, &st), MORVEL_ZELP_ERROR_ARG);
    c.agc_max_adj[0] = 12;
    c.agc_max_adj[1] = 3;
    c.set1 |= MORVEL_ZELP7X_CONFIG_SET1_AGC_NOM_SPEECH_TARGET;
    c.agc_nom_speech_quiet = 1024;
    EXPECT_EQ(morvel_zelp7x_config_set_fw_state(&c, &st), MORVEL_ZELP_ERROR_ARG);
    c.agc_nom_speech_quiet = 1023;
    c.set |= MORVEL_ZELP7X_CONFIG_SET_MATCH_PER_FRAME_ON;
    c.match_per_frame_on = 2;
    EXPECT_EQ(morvel_zelp7x_config_set_fw_state(&c, &st), MORVEL_ZELP_ERROR_ARG);
    c.match_per_frame_on = 1;
    ASSERT_EQ(morvel_zelp7x_config_set_fw_state(&c, &st), 0);
    EXPECT_EQ(st.fw_max_adjustment_gain, 0x0C03u);
    EXPECT_EQ(st.fw_nom_speech_quiet, 1023u << 22);
    Config out{};
    morvel_zelp7x_config_get_fw_state(&st, &out);
    EXPECT_EQ(out.agc_on, 1u);
    EXPECT_EQ(out.agc_max_adj[0], 12u);
    EXPECT_EQ(out.agc_max_adj[1], 3u);
    EXPECT_EQ(out.agc_nom_speech_quiet, 1023u);
    EXPECT_EQ(out.match_per_frame_on, 1u);
}

TEST_F(Frontend, MemoryPower) {
    c.set1 = MORVEL_ZELP7X_CONFIG_SET1_MEMORY_POWER;
    c.memory_power[MORVEL_ZELP7X_CONFIG_MEMORY_BOOTROM] = MORVEL_ZELP7X_CONFIG_MEMORY_POWER_RETAIN;
    EXPECT_EQ(morvel_zelp7x_config_set_memory_power(&c, &st), MORVEL_ZELP_ERROR_ARG);
    c.memory_power[MORVEL_ZELP7X_CONFIG_MEMORY_BOOTROM] = 0;
    c.memory_power[MORVEL_ZELP7X_CONFIG_MEMORY_RAM] = 4;
    EXPECT_EQ(morvel_zelp7x_config_set_memory_power(&c, &st), MORVEL_ZELP_ERROR_ARG);

    st = {};
    c = {};
    c.set1 = MORVEL_ZELP7X_CONFIG_SET1_MEMORY_POWER;
    c.memory_power[MORVEL_ZELP7X_CONFIG_MEMORY_DNN00 + 5] = MORVEL_ZELP7X_CONFIG_MEMORY_POWER_OFF;
    ASSERT_EQ(morvel_zelp7x_config_set_memory_power(&c, &st), 0);
    EXPECT_EQ(st.mem1, 1u << 5);
    EXPECT_EQ(st.mem3, 1u << 5);

    const uint8_t states[] = {MORVEL_ZELP7X_CONFIG_MEMORY_POWER_OFF,
                              MORVEL_ZELP7X_CONFIG_MEMORY_POWER_RETAIN,
                              MORVEL_ZELP7X_CONFIG_MEMORY_POWER_ON};
    for (unsigned m = 0; m <= MORVEL_ZELP7X_CONFIG_MEMORY_MAX; ++m)
        c.memory_power[m] = states[m % 3];
    c.memory_power[MORVEL_ZELP7X_CONFIG_MEMORY_BOOTROM] = MORVEL_ZELP7X_CONFIG_MEMORY_POWER_OFF;
    ASSERT_EQ(morvel_zelp7x_config_set_memory_power(&c, &st), 0);
    Config out{};
    out.memory_power[22] = 0x5A;
    morvel_zelp7x_config_get_memory_power(&st, &out);
    for (unsigned m = 0; m <= MORVEL_ZELP7X_CONFIG_MEMORY_MAX; ++m)
        EXPECT_EQ(out.memory_power[m], c.memory_power[m]) << m;
    EXPECT_EQ(out.memory_power[22], 0x5A);
    EXPECT_EQ((st.mem >> 14) & 7, 1u);  // RAM retained
    EXPECT_EQ((st.mem >> 11) & 7, 6u);  // BOOTRAM on
    EXPECT_EQ((st.mem0 >> 11) & 7, 7u); // DNNFEATURE off
    EXPECT_NE(st.mem & (1u << 17), 0u); // BOOTROM off
}

TEST(SerialAddress, I2cAndSpiEncodings) {
    uint8_t a = 0;
    EXPECT_EQ(morvel_zelp7x_serial_address(MORVEL_ZELP7X_SERIAL_INTERFACE_I2C, 0x50, &a), 0);
    EXPECT_EQ(a, 0xD0);
    EXPECT_EQ(morvel_zelp7x_serial_address(MORVEL_ZELP7X_SERIAL_INTERFACE_SPI2, 3, &a), 0);
    EXPECT_EQ(a, 0x43);
    EXPECT_EQ(morvel_zelp7x_serial_address(MORVEL_ZELP7X_SERIAL_INTERFACE_I2C, 128, &a),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(morvel_zelp7x_serial_address(MORVEL_ZELP7X_SERIAL_INTERFACE_SPI0, 8, &a),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(morvel_zelp7x_serial_address(5, 0, &a), MORVEL_ZELP_ERROR_ARG);
}

// Every sensor and GPIO field of a configuration record, which lie together at its end.
std::vector<uint8_t> sensor_fields(const Config &c) {
    const auto *first = reinterpret_cast<const uint8_t *>(&c.gpio_role);
    const auto *end = reinterpret_cast<const uint8_t *>(&c.sensor_parameter + 1);
    return {first, end};
}

// Steps that read or write the chip directly.
struct FrontendOnChip : ::testing::Test {
    zsim::Chip chip;
    ChipHost host{chip};
    morvel_zelp_device_s *zelp = nullptr;
    Config c{};
    static constexpr uint32_t FW = 0x20010000;

    void SetUp() override {
        zelp = host.device();
        zelp->init = 1;
        zelp->d.zelp7x.input_clock_rate = 32768;
    }
};

TEST_F(FrontendOnChip, FilterBinsAreEveryEdgeButTheFirstDoubled) {
    chip.poke_mcu(0x4000C020, 5u | 10u << 9 | 20u << 18);
    chip.poke_mcu(0x4000C024, 30u | 511u << 9);
    c.freq_frame_size = 3;
    ASSERT_EQ(morvel_zelp7x_config_get_filter_bins(zelp, &c), 0);
    EXPECT_EQ(c.filter_frequency[0], 20u);
    EXPECT_EQ(c.filter_frequency[1], 40u);
    EXPECT_EQ(c.filter_frequency[2], 60u);
    EXPECT_EQ(c.filter_frequency[3], 0u);
}

TEST_F(FrontendOnChip, OversizedFrameReadsNoMoreBinsThanTheRecordHolds) {
    c.freq_frame_size = 63; // what the 6-bit field can report
    ASSERT_EQ(morvel_zelp7x_config_get_filter_bins(zelp, &c), 0);
    ASSERT_EQ(host.transfers.size(), 1u);
    EXPECT_EQ(host.transfers[0].data.size(), 56u); // 41 edges, three per word
}

TEST_F(FrontendOnChip, SensorsNeedFirmwareAndRoundTripThroughItsStateBlock) {
    c.set1 = MORVEL_ZELP7X_CONFIG_SET1_SENSOR;
    EXPECT_EQ(morvel_zelp7x_config_set_sensor(zelp, &c), MORVEL_ZELP_ERROR_UNINIT);
    zelp->d.zelp7x.fw_state_addr = FW;

    c.gpio_role[7] = MORVEL_ZELP7X_CONFIG_GPIO_ROLE_INTLH;
    c.sensor_id[1] = MORVEL_ZELP7X_CONFIG_SENSOR_ID_DA217;
    c.sensor_interface[1] = MORVEL_ZELP7X_SERIAL_INTERFACE_I2C;
    c.sensor_interface_address[1] = 0x50;
    c.sensor_int[1] = 1;
    c.sensor_int_gpio[1] = 7;
    c.sensor_axes[1] = 3;
    c.sensor_axis_tank[1][2] = 1;
    c.sensor_axis_input[1][14] = 1;
    c.sensor_parameter[1][15] = 0xAB;
    c.sensor_interface[2] = MORVEL_ZELP7X_SERIAL_INTERFACE_SPI2;
    c.sensor_interface_address[2] = 3;
    ASSERT_EQ(morvel_zelp7x_config_set_sensor(zelp, &c), 0);
    ASSERT_EQ(host.transfers.size(), 2u);
    EXPECT_EQ(host.transfers[0].address, FW + 300);
    EXPECT_EQ(host.transfers[1].address, FW + 308);
    EXPECT_EQ(host.transfers[1].data.size(), 96u);
    EXPECT_EQ(chip.peek_mcu(FW + 308 + 24), 0x38D004u); // axes 3, interrupt GPIO 7 + 1, 0xd0, id 4
    EXPECT_EQ(chip.peek_mcu(FW + 308 + 28), 0x40000004u);

    Config out{};
    ASSERT_EQ(morvel_zelp7x_config_get_sensor(zelp, &out), 0);
    EXPECT_EQ(sensor_fields(out), sensor_fields(c));
}

TEST_F(FrontendOnChip, AnyBadSensorFieldIsRefusedBeforeAnythingIsWritten) {
    zelp->d.zelp7x.fw_state_addr = FW;
    c.set1 = MORVEL_ZELP7X_CONFIG_SET1_SENSOR;
    const auto refused = [&](auto change) {
        Config bad = c;
        change(bad);
        return morvel_zelp7x_config_set_sensor(zelp, &bad) == MORVEL_ZELP_ERROR_ARG;
    };
    EXPECT_TRUE(refused([](Config &b) { b.gpio_role[0] = 12; }));
    EXPECT_TRUE(refused([](Config &b) { b.sensor_id[3] = 5; }));
    EXPECT_TRUE(refused([](Config &b) {
        b.sensor_int[0] = 1;
        b.sensor_int_gpio[0] = 8;
    }));
    EXPECT_TRUE(refused([](Config &b) { b.sensor_axes[2] = 16; }));
    EXPECT_TRUE(refused([](Config &b) { b.sensor_interface[1] = 5; }));
    EXPECT_TRUE(host.transfers.empty());
}

TEST_F(FrontendOnChip, SensorReportWithoutFirmwareIsAllZero) {
    c.sensor_interface[0] = 3;
    c.gpio_role[1] = 4;
    c.sensor_parameter[3][3] = 9;
    ASSERT_EQ(morvel_zelp7x_config_get_sensor(zelp, &c), 0);
    EXPECT_EQ(c.sensor_interface[0], 0);
    EXPECT_EQ(c.gpio_role[1], 0);
    EXPECT_EQ(c.sensor_parameter[3][3], 0);
    EXPECT_TRUE(host.transfers.empty());
}

} // namespace
