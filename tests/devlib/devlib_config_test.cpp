// The configuration call: the cached query, the tool's input clock call after reset, the
// write-back order with the pipeline pause, tank restart and firmware words, and the generic
// configuration query of the host configuration area.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "morvel_devlib/morvel_zelp.h"
#include "chip/chip.h"
#include "chip/clock_unit.h"
#include "support/chip/chip_host.h"
#include "support/board/fake_host.h"
#include "support/chip/zelp7x_transfers.h"

using namespace ztest;

namespace {

constexpr uint32_t DNNCTL0 = 0x4000D004, DNNCTL7 = 0x4000D020;
constexpr uint32_t PDMCTL = 0x4000C004, FREQCTL = 0x4000C010, TANK = 0x4000C0A8;
constexpr uint32_t MEM1 = 0x4000D0BC, MEM3 = 0x4000D0C4;
constexpr uint32_t FW = 0x20010000; // firmware state block of a running firmware

constexpr uint32_t MIRRORED[21] = {
    0x4000D004, 0x4000D008, 0x4000D010, 0x4000D020, 0x4000C014, 0x4000C018, 0x4000C01C,
    0x4000C0A8, 0x4000C0BC, 0x4000C004, 0x4000C008, 0x4000C00C, 0x40009004, 0x40009008,
    0x4000900C, 0x4000905C, 0x4000C010, 0x40009030, 0x4000D0B8, 0x4000D0BC, 0x4000D0C4};

// A device whose clock is already known (so MCU reads are direct) on a plain simulated chip.
struct Configured : ::testing::Test {
    zsim::Chip chip;
    ChipHost host{chip};
    morvel_zelp_device_s *zelp = nullptr;
    morvel_zelp7x_config_s config{};

    void SetUp() override {
        zelp = host.device();
        zelp->init = 1;
        morvel_zelp7x_device_s &z = zelp->d.zelp7x;
        z.tank_max_size = 0x10000;
        z.input_clock_rate = 32768;
        chip.poke_mcu(0x4000905C, 0x4010C7A1);
    }
    void run_firmware() { zelp->d.zelp7x.fw_state_addr = FW; }
    int configure() { return morvel_zelp7x_config(zelp, &config); }
    std::vector<Transfer> writes() const { return writes_of(host.transfers); }
};

TEST_F(Configured, AllFlagsClearIsACachedQueryWithoutChipAccess) {
    using D = morvel_zelp7x_device_s;
    using C = morvel_zelp7x_config_s;
    const std::pair<unsigned D::*, unsigned C::*> cached[] = {
        {&D::dnn_input, &C::dnn_input},
        {&D::tank_bits, &C::tank_bits},
        {&D::tank_input, &C::tank_input},
        {&D::tank_size, &C::tank_size},
        {&D::audio_frame_size, &C::audio_frame_size},
        {&D::audio_frame_step, &C::audio_frame_step},
        {&D::freq_frame_size, &C::freq_frame_size},
        {&D::dnn_frame_size, &C::dnn_frame_size}};
    unsigned v = 100;
    for (const auto &[d, c] : cached) zelp->d.zelp7x.*d = v++;
    ASSERT_EQ(configure(), MORVEL_ZELP_ERROR_NONE);
    EXPECT_TRUE(host.transfers.empty());
    v = 100;
    for (const auto &[d, c] : cached) EXPECT_EQ(config.*c, v++);
}

TEST_F(Configured, ReservedBitAndZeroRatesAreRefusedBeforeAnyAccess) {
    config.set = 0x80000000u;
    EXPECT_EQ(configure(), MORVEL_ZELP_ERROR_ARG);
    // Every flag set passes the reserved-bit check; here the zero clock rates then stop it,
    // still before the input clock step touches the chip.
    config.set = MORVEL_ZELP7X_CONFIG_SET_ALL_M;
    EXPECT_EQ(configure(), MORVEL_ZELP_ERROR_ARG);
    for (unsigned flag :
         {MORVEL_ZELP7X_CONFIG_SET_MCU_CLOCK_RATE, MORVEL_ZELP7X_CONFIG_SET_DNN_CLOCK_RATE,
          MORVEL_ZELP7X_CONFIG_SET_FREQ_CLOCK_RATE, MORVEL_ZELP7X_CONFIG_SET_INPUT_CLOCK_RATE}) {
        config.set = flag;
        EXPECT_EQ(configure(), MORVEL_ZELP_ERROR_ARG) << flag;
    }
    EXPECT_TRUE(host.transfers.empty());
    EXPECT_EQ(zelp->d.zelp7x.input_clock_rate, 32768u);
}

TEST_F(Configured, ChangingOnlyMem1WritesMem1Alone) {
    chip.poke_mcu(MEM3, 1u << 5); // DNN05 on: not off, retained
    config.set1 = MORVEL_ZELP7X_CONFIG_SET1_MEMORY_POWER;
    config.memory_power[MORVEL_ZELP7X_CONFIG_MEMORY_DNN00 + 5] =
        MORVEL_ZELP7X_CONFIG_MEMORY_POWER_OFF;
    ASSERT_EQ(configure(), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(writes(), std::vector<Transfer>{mcu_write(MEM1, 1u << 5)});
    EXPECT_EQ(config.memory_power[MORVEL_ZELP7X_CONFIG_MEMORY_DNN00 + 5],
              MORVEL_ZELP7X_CONFIG_MEMORY_POWER_OFF);
}

TEST_F(Configured, ChangingOnlyDnnctl7PausesAndRestartsThePipelineInOrder) {
    chip.poke_mcu(PDMCTL, 1);
    chip.poke_mcu(FREQCTL, 1);
    chip.poke_mcu(DNNCTL0, 1);
    config.set = MORVEL_ZELP7X_CONFIG_SET_DNN_FRAME_SIZE;
    config.dnn_frame_size = 100;
    ASSERT_EQ(configure(), MORVEL_ZELP_ERROR_NONE);
    const std::vector<Transfer> expected{mcu_write(PDMCTL, 0),    mcu_write(FREQCTL, 0),
                                         mcu_write(DNNCTL0, 0),   mcu_write(DNNCTL0, 1),
                                         mcu_write(DNNCTL7, 100), mcu_write(FREQCTL, 1),
                                         mcu_write(PDMCTL, 1),    spi_write(2, {0x79})};
    EXPECT_EQ(writes(), expected);
    EXPECT_EQ(config.dnn_frame_size, 100u);
}

TEST_F(Configured, TankChangeStopsTheTankAndResetsTheFirmwarePointer) {
    run_firmware();
    zelp->d.zelp7x.tankptr_last = 99;
    chip.poke_mcu(TANK, 0x8000);
    config.set = MORVEL_ZELP7X_CONFIG_SET_TANK_BITS;
    config.tank_bits = 8;
    ASSERT_EQ(configure(), MORVEL_ZELP_ERROR_NONE);
    const std::vector<Transfer> expected{mcu_write(TANK, 2), mcu_write(FW + 0, 0),
                                         mcu_write(FW + 280, 1), mcu_write(TANK, 0x8008)};
    EXPECT_EQ(writes(), expected);
    EXPECT_EQ(zelp->d.zelp7x.tankptr_last, 0u);
    EXPECT_EQ(config.tank_bits, 8u);
}

// Every mirrored item changed at once: the whole fixed write-back order, and the three items that
// are read but never written (fllctl1, smplsts, ctl).
TEST_F(Configured, EveryChangedItemIsWrittenBackInTheFixedOrder) {
    morvel_zelp7x_config_state_s st0{}, st{};
    st0.fw_state_addr = st.fw_state_addr = FW;
    st0.pdmctl = st0.freqctl = st0.dnnctl0 = 1; // running, so the pause has bits to clear
    uint32_t *const registers[] = {
        &st.dnnctl0, &st.dnnctl1, &st.dnnctl3, &st.dnnctl7, &st.smplctl,   &st.smplmark,
        &st.smplsts, &st.tank,    &st.i2sctl,  &st.pdmctl,  &st.pdmcfg[0], &st.pdmcfg[1],
        &st.clkctl0, &st.clkctl1, &st.clkctl2, &st.fllctl1, &st.freqctl,   &st.mem,
        &st.mem0,    &st.mem1,    &st.mem3};
    uint32_t *const fw_words[] = {&st.fw_enable, &st.fw_max_adjustment_gain,
                                  &st.fw_nom_speech_quiet, &st.fw_match_per_frame,
                                  &st.noise_thresh_win};
    uint32_t v = 0x100;
    for (uint32_t *w : registers) *w = v++;
    for (uint32_t *w : fw_words) *w = v++;
    st.noise_threshold = -7;
    st.ctl = 0x04;
    ASSERT_EQ(morvel_zelp7x_config_update_state(zelp, &st0, &st), MORVEL_ZELP_ERROR_NONE);
    const std::vector<Transfer> expected{
        // pause, tank stopped with its firmware pointer reset, tank
        mcu_write(PDMCTL, 0), mcu_write(FREQCTL, 0), mcu_write(DNNCTL0, 0), mcu_write(TANK, 2),
        mcu_write(FW + 0, 0), mcu_write(FW + 280, 1), mcu_write(TANK, st.tank),
        // memory power
        mcu_write(0x40009030, st.mem), mcu_write(0x4000D0B8, st.mem0), mcu_write(MEM3, st.mem3),
        mcu_write(MEM1, st.mem1),
        // firmware words, the noise counters restarted with their window
        mcu_write(FW + 276, st.fw_enable), mcu_write(FW + 412, st.fw_max_adjustment_gain),
        mcu_write(FW + 416, st.fw_nom_speech_quiet), mcu_write(FW + 420, static_cast<uint32_t>(-7)),
        mcu_write(FW + 424, st.noise_thresh_win), mcu_write(FW + 428, 0), mcu_write(FW + 432, 0),
        mcu_write(FW + 404, st.fw_match_per_frame),
        // network, filter bank, PDM, I2S, sample buffer, clocks, then the interrupt status cleared
        mcu_write(DNNCTL0, st.dnnctl0), mcu_write(0x4000D008, st.dnnctl1),
        mcu_write(0x4000D010, st.dnnctl3), mcu_write(DNNCTL7, st.dnnctl7),
        mcu_write(FREQCTL, st.freqctl), mcu_write(PDMCTL, st.pdmctl),
        mcu_write(0x4000C008, st.pdmcfg[0]), mcu_write(0x4000C00C, st.pdmcfg[1]),
        mcu_write(0x4000C0BC, st.i2sctl), mcu_write(0x4000C014, st.smplctl),
        mcu_write(0x4000C018, st.smplmark), mcu_write(0x40009004, st.clkctl0),
        mcu_write(0x40009008, st.clkctl1), mcu_write(0x4000900C, st.clkctl2), spi_write(2, {0x79})};
    EXPECT_EQ(writes(), expected);
    EXPECT_EQ(host.transfers.size(), expected.size()); // nothing read back
}

TEST_F(Configured, NewNoiseWindowRestartsBothNoiseCounters) {
    run_firmware();
    config.set1 = MORVEL_ZELP7X_CONFIG_SET1_NOISE_THRESHOLD_WIN;
    config.noise_thresh_win = 77;
    ASSERT_EQ(configure(), MORVEL_ZELP_ERROR_NONE);
    const std::vector<Transfer> expected{mcu_write(FW + 424, 77), mcu_write(FW + 428, 0),
                                         mcu_write(FW + 432, 0)};
    EXPECT_EQ(writes(), expected);
    EXPECT_EQ(config.noise_thresh_win, 77u);
}

TEST_F(Configured, FirmwareWordsAreReadFirstAndReportedBack) {
    run_firmware();
    chip.poke_mcu(FW + 276, 1);
    chip.poke_mcu(FW + 412, 0x0305);
    chip.poke_mcu(FW + 416, 600u << 22);
    chip.poke_mcu(FW + 420, static_cast<uint32_t>(-42));
    config.get_all = 1;
    ASSERT_EQ(configure(), MORVEL_ZELP_ERROR_NONE);
    ASSERT_GE(host.transfers.size(), 6u);
    const uint32_t order[] = {FW + 276, FW + 412, FW + 416, FW + 404, FW + 420, FW + 424};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(host.transfers[i].address, order[i]);
    EXPECT_EQ(config.agc_on, 1u);
    EXPECT_EQ(config.agc_max_adj[0], 3u);
    EXPECT_EQ(config.agc_max_adj[1], 5u);
    EXPECT_EQ(config.agc_nom_speech_quiet, 600u);
    EXPECT_EQ(config.noise_threshold, -42);
    EXPECT_TRUE(writes().empty());
}

TEST_F(Configured, StepErrorsStopBeforeAnyMirroredWrite) {
    config.set = MORVEL_ZELP7X_CONFIG_SET_SPI_WORD_BITS | MORVEL_ZELP7X_CONFIG_SET_DNN_FRAME_SIZE;
    config.spi_word_bits = 12;
    config.dnn_frame_size = 5;
    EXPECT_EQ(configure(), MORVEL_ZELP_ERROR_ARG);
    config.set = MORVEL_ZELP7X_CONFIG_SET_AGC_ON; // no firmware runs
    EXPECT_EQ(configure(), MORVEL_ZELP_ERROR_UNINIT);
    EXPECT_TRUE(writes().empty());
}

TEST_F(Configured, EqualizerWritesTenWordsThenPausesThePipeline) {
    config.set1 = MORVEL_ZELP7X_CONFIG_SET1_FILTER_EQ;
    for (int k = 0; k < 40; ++k) config.filter_eq[k] = k - 20;
    config.filter_eq[39] = 128;
    EXPECT_EQ(configure(), MORVEL_ZELP_ERROR_ARG);
    EXPECT_TRUE(writes().empty());

    config.filter_eq[39] = -128;
    config.get_all = 1;
    ASSERT_EQ(configure(), MORVEL_ZELP_ERROR_NONE);
    const std::vector<Transfer> w = writes();
    ASSERT_EQ(w.size(), 14u);
    EXPECT_EQ(w[0], mcu_write(0x4000C058, 0xEFEEEDECu)); // -20, -19, -18, -17
    EXPECT_EQ(w[9].address, 0x4000C07Cu);
    EXPECT_EQ(w[10], mcu_write(PDMCTL, 0));
    EXPECT_EQ(w[13], spi_write(2, {0x79}));
    for (int k = 0; k < 39; ++k) EXPECT_EQ(config.filter_eq[k], k - 20);
    EXPECT_EQ(config.filter_eq[39], -128);
}

TEST(ConfigCall, RefusesUninitialisedHandlesAndAlwaysUnsyncs) {
    FakeHost host;
    morvel_zelp_device_s dev{};
    dev.iif = host.iif();
    morvel_zelp7x_config_s c{};
    EXPECT_EQ(morvel_zelp7x_config(nullptr, &c), MORVEL_ZELP_ERROR_UNINIT);
    EXPECT_EQ(morvel_zelp7x_config(&dev, &c), MORVEL_ZELP_ERROR_UNINIT);
    EXPECT_EQ(host.syncs, 0);

    dev.init = 1;
    host.sync_result = MORVEL_ZELP_ERROR_BUSY;
    EXPECT_EQ(morvel_zelp7x_config(&dev, &c), MORVEL_ZELP_ERROR_BUSY);
    EXPECT_EQ(host.unsyncs, 0);

    host.sync_result = 0;
    host.unsync_result = MORVEL_ZELP_ERROR_FAIL;
    c.set = 0x80000000u;
    EXPECT_EQ(morvel_zelp7x_config(&dev, &c), MORVEL_ZELP_ERROR_ARG); // the call's error wins
    c.set = 0;
    EXPECT_EQ(morvel_zelp7x_config(&dev, &c), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(host.unsyncs, 2);
}

// The tool's call right after a reset: the clock unit locks after a few status reads.
TEST(ToolClockCall, AfterResetProgramsTheFllThenReadsTheMirrorAndWritesNothingMore) {
    zsim::Chip chip;
    zsim::ClockUnit clock{chip};
    chip.attach(clock);
    ChipHost host{chip};
    morvel_zelp_device_s *zelp = host.device();
    ASSERT_EQ(morvel_zelp7x_init(zelp, MORVEL_ZELP_INIT_MODE_RESET), 0);
    zelp->init = 1;
    host.transfers.clear();

    morvel_zelp7x_config_s config{};
    config.set = MORVEL_ZELP7X_CONFIG_SET_INPUT_CLOCK_RATE;
    config.input_clock_rate = 32768;
    ASSERT_EQ(morvel_zelp7x_config(zelp, &config), MORVEL_ZELP_ERROR_NONE);

    std::vector<Transfer> expected{spi_read(4, {0x03}), mcu_write(0x4000905C, 0x4010C7A1),
                                   mcu_write(0x40009060, 0x077F1010),
                                   mcu_write(0x40009058, 0x03FF80EF)};
    for (uint32_t state : {2u, 2u, 2u, 5u})
        for (const Transfer &t : slow_read(0x40009068, state)) expected.push_back(t);
    expected.push_back(mcu_write(0x40009004, 0x00C00800));
    expected.push_back(mcu_write(0x40009008, 0x00000420));
    expected.push_back(mcu_write(0x20017000, 32768));
    for (uint32_t a : MIRRORED) expected.push_back(mcu_read(a, chip.mcu_read(a)));
    expected.push_back(spi_read(4, {0x03}));
    EXPECT_EQ(host.transfers, expected);

    EXPECT_EQ(config.core_clock_rate, 15998976u);
    EXPECT_EQ(config.mcu_clock_rate, 15998976u);
    EXPECT_EQ(config.freq_clock_rate, 499968u);
    EXPECT_EQ(config.dnn_input, unsigned{MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE});
    EXPECT_EQ(config.tank_input, unsigned{MORVEL_ZELP7X_CONFIG_TANK_INPUT_NONE});
    EXPECT_EQ(config.tank_size, 2048u);
    EXPECT_EQ(zelp->d.zelp7x.input_clock_rate, 32768u);
}

// The host configuration area as the package loader leaves it.
struct HostConfigArea : Configured {
    void store(uint32_t address, const std::string &bytes) {
        for (size_t i = 0; i < bytes.size(); i += 4) {
            uint32_t w = 0;
            for (size_t k = 0; k < 4 && i + k < bytes.size(); ++k)
                w |= uint32_t(static_cast<uint8_t>(bytes[i + k])) << (8 * k);
            chip.poke_mcu(address + static_cast<uint32_t>(i), w);
        }
    }
    void SetUp() override {
        Configured::SetUp();
        chip.poke_mcu(0x20017004, 0x3); // labels and firmware version
        chip.poke_mcu(0x20017008, 8);
        store(0x2001700C, std::string("yes\0no\0\0", 8));
        chip.poke_mcu(0x2001780C, 5);
        store(0x20017810, "v1.2.");
    }
};

TEST_F(HostConfigArea, LabelsCountTwoClassesAndStringsAreCopiedInWholeWords) {
    char labels[16] = {};
    char fwver[8] = {};
    morvel_zelp_config_s c{};
    c.labels = labels;
    c.labels_len = sizeof labels;
    c.firmware_version = fwver;
    c.firmware_version_len = sizeof fwver;
    unsigned classes = 99;
    ASSERT_EQ(morvel_zelp7x_access_config(zelp, &c, &classes), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(classes, 2u);
    EXPECT_EQ(c.labels_len, 8u);
    EXPECT_EQ(std::memcmp(labels, "yes\0no\0\0", 8), 0);
    EXPECT_EQ(c.firmware_version_len, 5u);
    EXPECT_EQ(std::string(fwver, 5), "v1.2.");
    EXPECT_EQ(c.parameters_version_len, 0u);

    // A short buffer gets whole words within its size, and the full length.
    char short_fwver[4] = {};
    c = {};
    c.firmware_version = short_fwver;
    c.firmware_version_len = sizeof short_fwver;
    ASSERT_EQ(morvel_zelp7x_access_config(zelp, &c, nullptr), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(c.firmware_version_len, 5u);
    EXPECT_EQ(std::string(short_fwver, 4), "v1.2");
}

TEST_F(HostConfigArea, UntrustworthyMasksLengthsAndBufferSizes) {
    morvel_zelp_config_s c{};
    c.labels_len = 6; // not whole words
    c.pkg_version_len = 8;
    EXPECT_EQ(morvel_zelp7x_access_config(zelp, &c, nullptr), MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(c.labels_len, 0u);
    EXPECT_EQ(c.pkg_version_len, 0u);

    chip.poke_mcu(0x20017008, 3072); // longer than the area
    c = {};
    unsigned classes = 7;
    ASSERT_EQ(morvel_zelp7x_access_config(zelp, &c, &classes), 0);
    EXPECT_EQ(c.labels_len, 0u);
    EXPECT_EQ(classes, 0u);

    chip.poke_mcu(0x20017004, 0x00100003); // bit 20: not a mask at all
    host.transfers.clear();
    c = {};
    ASSERT_EQ(morvel_zelp7x_access_config(zelp, &c, nullptr), 0);
    EXPECT_EQ(host.transfers.size(), 1u);
    EXPECT_EQ(c.firmware_version_len, 0u);
}

TEST_F(HostConfigArea, GenericQueryAnswersSizesFromTheRecordOrReadsTheArea) {
    morvel_zelp7x_device_s &z = zelp->d.zelp7x;
    z.labels_len = 8;
    z.fwver_len = 5;
    z.classes = 2;
    zelp->device_type = 34;
    morvel_zelp_config_s c{};
    ASSERT_EQ(morvel_zelp7x_get_config(zelp, &c), 0);
    EXPECT_TRUE(host.transfers.empty());
    EXPECT_STREQ(c.device_type, "zelp71b0-sec");
    EXPECT_EQ(c.classes, 2u);
    EXPECT_EQ(c.labels_len, 8u);
    EXPECT_EQ(c.firmware_version_len, 5u);

    char fwver[8] = {};
    c = {};
    c.firmware_version = fwver;
    c.firmware_version_len = sizeof fwver;
    ASSERT_EQ(morvel_zelp7x_get_config(zelp, &c), 0);
    EXPECT_EQ(std::string(fwver, 5), "v1.2.");
}

TEST(DeviceTypeNames, KnownCodesAndUnknown) {
    const std::pair<unsigned, const char *> names[] = {
        {2, "zelp70b0emu"},      {0x13, "zelp71es:0x13"}, {0x14, "zelp71es:0x14"},
        {0x18, "zelp70es:0x18"}, {0x20, "zelp71b0"},      {0x22, "zelp71b0-sec"},
        {0x24, "zelp70b0"},      {1, "unknown"},          {0x31, "unknown"}};
    for (const auto &[code, name] : names)
        EXPECT_STREQ(morvel_zelp7x_get_config_devtype(code), name) << code;
}

} // namespace
