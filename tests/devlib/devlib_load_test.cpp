// Package loads on the chip model: the bus sequences the tag handlers put down for firmware,
// labels and versions, plain and enciphered parameters, the filter bank, calibration and
// posterior values; values refused before anything is written; and the secured road through the
// boot loader.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "morvel_devlib/morvel_zelp.h"
#include "chip/chip.h"
#include "chip/clock_unit.h"
#include "support/chip/chip_host.h"
#include "support/chip/chip_programs.h"
#include "support/package_builder.h"
#include "support/chip/zelp7x_transfers.h"

using namespace ztest;

namespace {

constexpr uint32_t FW = 0x20010000; // firmware state block of a running firmware
constexpr uint32_t TANK = 0x4000C0A8, CLKCTL0 = 0x40009004, FREQCTL = 0x4000C010;
constexpr uint32_t DNNCTL0 = 0x4000D004, VALID = 0x20017004;

Transfer block(uint32_t address, const Bytes &bytes) {
    return {1, address, true, bytes};
}

// Feeds a package through the generic load entry, `chunk` bytes a call (0: whole).
int load(morvel_zelp_device_s *zelp, Bytes pkg, size_t chunk = 0) {
    if (morvel_zelp_load(zelp, nullptr, 0) != MORVEL_ZELP_ERROR_MORE) return -1;
    if (chunk == 0) chunk = pkg.size();
    int s = MORVEL_ZELP_ERROR_MORE;
    for (size_t at = 0; at < pkg.size() && s == MORVEL_ZELP_ERROR_MORE; at += chunk)
        s = morvel_zelp_load(zelp, pkg.data() + at,
                             static_cast<int>(std::min(chunk, pkg.size() - at)));
    return s;
}

struct Load : ::testing::Test {
    zsim::Chip chip;
    zsim::ClockUnit clock{chip};
    ChipHost host{chip};
    morvel_zelp_device_s *zelp = nullptr;

    void SetUp() override {
        chip.attach(clock);
        zelp = host.device();
        zelp->init = 1;
        zelp->d.zelp7x.input_clock_rate = 32768;
        zelp->d.zelp7x.tank_max_size = 0x10000;
    }
    std::vector<Transfer> writes_between(uint32_t from, uint32_t to) const {
        std::vector<Transfer> w;
        for (const Transfer &t : writes_of(host.transfers))
            if (t.mcu && t.address >= from && t.address < to) w.push_back(t);
        return w;
    }
};

TEST_F(Load, FirmwareGoesInWholePiecesAndStartsOnceWhateverTheChunks) {
    const Bytes image = pattern(5000, 13);
    const Bytes pkg = PackageBuilder().record(TAG_FIRMWARE, image).build();
    // A firmware without a pointer table refuses MIADDR; it runs all the same.
    host.on_mbwait = [] { return MORVEL_ZELP_ERROR_FAIL; };
    const Bytes piece[] = {Bytes(image.begin(), image.begin() + 2048),
                           Bytes(image.begin() + 2048, image.begin() + 4096),
                           Bytes(image.begin() + 4096, image.end())};
    const std::vector<Transfer> expected = {
        mcu_read(TANK, 0x8001),         mcu_write(TANK, 0x8000),
        spi_write(0x30, {0}),           spi_write(0x33, {0}),
        spi_write(0x02, {0x7F}),        spi_write(0x02, {0}),
        mcu_read(CLKCTL0, 0x00C00800),  mcu_write(CLKCTL0, 0x00800800),
        spi_read(0x04, {0x0B}),         spi_write(0x04, {0x03}),
        mcu_write(0x4001F000, 0),       mcu_write(0x40009028, 0x91),
        block(0x1FFFC000, piece[0]),    block(0x1FFFC800, piece[1]),
        block(0x1FFFD000, piece[2]),    mcu_read(CLKCTL0, 0x00800800),
        mcu_write(CLKCTL0, 0x00C00800), spi_read(0x04, {0x03}),
        spi_write(0x04, {0x03}),        spi_read(0x32, {0}),
        spi_write(0x30, {0x0B}),        mcu_write(0x4000C0B0, 0),
        mcu_write(TANK, 0x8001)};
    for (size_t chunk : {size_t{0}, size_t{7}}) {
        chip.poke_mcu(TANK, 0x8001);
        chip.poke_mcu(CLKCTL0, 0x00C00800);
        chip.poke_spi(0x04, 0x0B);
        host.transfers.clear();
        ASSERT_EQ(load(zelp, pkg, chunk), MORVEL_ZELP_ERROR_NONE) << chunk;
        EXPECT_EQ(host.transfers, expected) << chunk;
        EXPECT_EQ(zelp->d.zelp7x.fw_loaded, 1u);
    }
}

TEST_F(Load, LabelsAndVersionTextsLandInTheHostConfigurationArea) {
    chip.poke_mcu(VALID, 0x2);
    const Bytes labels = pattern(100, 1);
    const Bytes pkg = PackageBuilder()
                          .record(TAG_NN_LABELS_V1, labels)
                          .record(TAG_PACKAGE_VERSION_STRING, Bytes{'v', '1', '.', '2'})
                          .record(TAG_NN_VERSION_STRING_V1, Bytes{'n', 'n', '-', 'v', '5'})
                          .build();
    ASSERT_EQ(load(zelp, pkg), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(host.transfers,
              (std::vector<Transfer>{
                  mcu_read(VALID, 0x2), mcu_write(VALID, 0x3), mcu_write(0x20017008, 100),
                  block(0x2001700C, labels), mcu_read(VALID, 0x3), mcu_write(VALID, 0xB),
                  mcu_write(0x20017914, 4), block(0x20017918, {'v', '1', '.', '2'}),
                  mcu_read(VALID, 0xB), mcu_write(VALID, 0xF), mcu_write(0x20017890, 5),
                  block(0x20017894, {'n', 'n', '-', 'v', '5', 0, 0, 0})}));
    const morvel_zelp7x_device_s &z = zelp->d.zelp7x;
    EXPECT_EQ(z.labels_len, 100u);
    EXPECT_EQ(z.pkgver_len, 4u);
    EXPECT_EQ(z.paramver_len, 5u);
}

TEST_F(Load, EncipheredParametersReachTheFirmwareInBlocksBehindOneHeader) {
    ChipPrograms firmware(chip, ChipPrograms::Start::firmware);
    zelp->d.zelp7x.fw_loaded = 1;
    const Bytes value = pattern(3000, 18);
    ASSERT_EQ(
        load(zelp,
             PackageBuilder().record(TAG_ZELP7X_B0_NN_PARAMETERS_ENCRYPTED_V1, value).build()),
        MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(firmware.load_counts, (std::vector<uint32_t>{0, 1016, 1016, 24, 952}));
    Bytes expected = ByteWriter().u32(71).u32(3000).data();
    expected.insert(expected.end(), value.begin(), value.end());
    EXPECT_EQ(firmware.loaded, expected);
    std::vector<std::pair<uint32_t, size_t>> blocks;
    for (const Transfer &t : writes_between(0x20017C08, 0x20018000))
        blocks.emplace_back(t.address, t.data.size());
    EXPECT_EQ(blocks, (std::vector<std::pair<uint32_t, size_t>>{{0x20017C08, 8},
                                                                {0x20017C10, 1008},
                                                                {0x20017C08, 1016},
                                                                {0x20017C08, 24},
                                                                {0x20017C08, 952}}));
}

Bytes hw_config(uint32_t mel_bins_length, uint32_t frame_step = 160, uint32_t bin0 = 1) {
    ByteWriter w;
    w.u32(16000).u32(400).u32(frame_step).u32(40).u32(12).u32(mel_bins_length);
    for (uint32_t i = 0; i < 42; ++i) w.u32(i == 0 ? bin0 : i + 1);
    return w.data();
}

TEST_F(Load, FilterBankLayoutWritesOneRegisterPerThreeBins) {
    chip.poke_mcu(FREQCTL, 0xF0000000);
    chip.poke_mcu(DNNCTL0, 0x2809);
    ASSERT_EQ(load(zelp, PackageBuilder().record(TAG_ZELP7X_HW_CONFIG_V2, hw_config(42)).build()),
              MORVEL_ZELP_ERROR_NONE);
    const uint32_t f = 0xF0000000 | 1 | 160 << 4 | 40 << 13,
                   d = (0x2801 & ~0x3F00u) | 0x80 | 40 << 8;
    std::vector<Transfer> expected = {mcu_write(DNNCTL0, d)};
    for (uint32_t k = 0; k < 14; ++k)
        expected.push_back(
            mcu_write(0x4000C020 + 4 * k, (3 * k + 1) | (3 * k + 2) << 9 | (3 * k + 3) << 18));
    for (const Transfer &t : {mcu_write(0x4000D018, 0), mcu_write(0x4000D01C, 0),
                              mcu_write(DNNCTL0, d), mcu_write(FREQCTL, f)})
        expected.push_back(t);
    EXPECT_EQ(writes_of(host.transfers), expected);
    EXPECT_EQ(zelp->d.zelp7x.classes, 12u);
    EXPECT_EQ(zelp->d.zelp7x.freq_frame_size, 40u);
}

TEST_F(Load, NetworkShapeFillsTheLayerFieldsOfFourRegisters) {
    const NetworkConfig n; // nodes 15 7 23 3, one bias each, scales 1-4, shifts 1-4
    ASSERT_EQ(
        load(zelp,
             PackageBuilder().record(TAG_ZELP7X_B0_NN_CONFIG_V3, network_config_v3(n)).build()),
        MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(chip.peek_mcu(0x4000D008) >> 19, 16u);
    EXPECT_EQ(chip.peek_mcu(0x4000D00C), 1 | 8 << 3 | 1 << 14 | 24 << 17 | 1u << 28);
    EXPECT_EQ(chip.peek_mcu(0x4000D010) & 0x3FFF, 4 | 1u << 11);
    EXPECT_EQ(chip.peek_mcu(0x4000D014), 0x04030201u);
    EXPECT_EQ(chip.peek_mcu(0x4000D024), 0xA000 | 1 | 2 << 3 | 3 << 6 | 4u << 9);
}

Bytes board_calibration_v4(uint8_t dnn_input) {
    ByteWriter w;
    w.u8(1).u8(dnn_input).u8(1).u8(10).u8(3).u8(3).u8(2).u8(2);
    w.u32(32768).u32(1024000).u32(5).u32(0xFFFFFFFB).u32(4).u32(1);
    for (int i = 0; i < 40; ++i) w.u8(static_cast<uint8_t>(i - 20));
    return w.u32(300).u32(6).u32(7).u32(0xFFFFFFF6).u32(100).data();
}

// Values whose fields do not fit the chip are refused once complete, before any write.
TEST_F(Load, ValuesWiderThanTheirFieldsAreRefusedBeforeAnyWrite) {
    NetworkConfig biases, shift, quantization;
    biases.num_biases[0] = 8;
    shift.out_shift[3] = 8;
    quantization.quantization_scheme[1] = 2;
    const std::pair<uint32_t, Bytes> values[] = {
        {TAG_ZELP7X_HW_CONFIG_V2, hw_config(43)},
        {TAG_ZELP7X_HW_CONFIG_V2, hw_config(42, 512)},
        {TAG_ZELP7X_HW_CONFIG_V2, hw_config(1, 160, 512)},
        {TAG_ZELP7X_B0_NN_CONFIG_V2, network_config_v2(biases)},
        {TAG_ZELP7X_B0_NN_CONFIG_V3, network_config_v3(shift)},
        {TAG_ZELP7X_B0_NN_CONFIG_V2, network_config_v2(quantization)},
        {TAG_BOARD_CALIBRATION_PARAMS_V4, board_calibration_v4(11)},
    };
    for (const auto &[tag, value] : values) {
        Bytes pkg = PackageBuilder().record(tag, value).build();
        ASSERT_EQ(morvel_zelp_load(zelp, nullptr, 0), MORVEL_ZELP_ERROR_MORE);
        ASSERT_EQ(morvel_zelp_load(zelp, pkg.data(), 20), MORVEL_ZELP_ERROR_MORE) << "announced";
        host.transfers.clear();
        const int rest = static_cast<int>(pkg.size() - 20);
        EXPECT_EQ(morvel_zelp_load(zelp, pkg.data() + 20, rest), MORVEL_ZELP_ERROR_PACKAGE) << tag;
        EXPECT_TRUE(writes_of(host.transfers).empty()) << tag;
    }
}

TEST_F(Load, CalibrationArrivingInTwoStepsIsAppliedOnceWhole) {
    zelp->d.zelp7x.fw_state_addr = FW;
    const Bytes pkg =
        PackageBuilder().record(TAG_BOARD_CALIBRATION_PARAMS_V4, board_calibration_v4(0)).build();
    ASSERT_EQ(morvel_zelp_load(zelp, nullptr, 0), MORVEL_ZELP_ERROR_MORE);
    Bytes first(pkg.begin(), pkg.begin() + 60), rest(pkg.begin() + 60, pkg.end());
    ASSERT_EQ(morvel_zelp_load(zelp, first.data(), 60), MORVEL_ZELP_ERROR_MORE);
    EXPECT_TRUE(host.transfers.empty()) << "a value still arriving configures nothing";
    ASSERT_EQ(morvel_zelp_load(zelp, rest.data(), static_cast<int>(rest.size())),
              MORVEL_ZELP_ERROR_NONE);
    const std::vector<Transfer> w = writes_of(host.transfers);
    for (const Transfer &t : {mcu_write(FW + 416, 300u << 22), mcu_write(FW + 420, 0xFFFFFFF6),
                              mcu_write(FW + 424, 100)})
        EXPECT_NE(std::find(w.begin(), w.end(), t), w.end()) << t.address;
}

TEST_F(Load, PosteriorItemsFillTheTablesStateByState) {
    const uint32_t area = FW + 952;
    zelp->d.zelp7x.fw_posterior_parameters_addr = area;
    ByteWriter v4; // 2 states, 1 class: state timeouts 50 and 51
    v4.u32(2).u32(1).u32(50).u32(20).u32(30).u32(40).u32(0).u32(1).u32(2);
    v4.u32(51).u32(21).u32(31).u32(41).u32(1).u32(0).u32(3);
    ASSERT_EQ(load(zelp, PackageBuilder().record(TAG_NN_PH_PARAMETERS_V4, v4.data()).build()), 0);
    const auto word = [&](uint32_t offset) { return chip.peek_mcu(area + offset); };
    // State 0's classes at word 6, state 1's at word 11.
    EXPECT_EQ(word(24), 50u) << "the head's timeout belongs to state 0";
    EXPECT_EQ(word(36), 51u);
    EXPECT_EQ(word(24 + 24 + 12), 0x81u);
    EXPECT_EQ(word(24 + 44 + 12), 0u);
    EXPECT_EQ(word(24 + 44 + 16), 3u);

    ByteWriter v6; // ph_type 1, adaptive 7 8 9
    v6.u32(7).u32(8).u32(9).u32(1).u32(1).u32(1).u32(10).u32(3).u32(0x500);
    v6.u32(20).u32(30).u32(40).u32(5).u32(0x1234).u32(4).u32(1);
    ASSERT_EQ(load(zelp, PackageBuilder().record(TAG_NN_PH_PARAMETERS_V6, v6.data()).build()), 0);
    const uint32_t expected[] = {1, 1, 1, 7, 8, 9, 10, 0x503, 3, 20, 0x10000 | 30, 40, 0x1205, 4};
    for (uint32_t i = 0; i < 14; ++i) EXPECT_EQ(word(4 * i), expected[i]) << i;
    EXPECT_EQ(zelp->d.zelp7x.classes, 1u);
}

TEST_F(Load, AStartFindingOtherTextsThanCachedRefusesTheLoad) {
    chip.poke_mcu(VALID, 0x2);
    chip.poke_mcu(0x2001780C, 12);
    zelp->d.zelp7x.fwver_len = 20;
    EXPECT_EQ(morvel_zelp_load(zelp, nullptr, 0), MORVEL_ZELP_ERROR_FAIL);
    zelp->d.zelp7x.fwver_len = 12;
    EXPECT_EQ(morvel_zelp_load(zelp, nullptr, 0), MORVEL_ZELP_ERROR_MORE);
}

// ---- Secured road ------------------------------------------------------------------------------

struct SecuredChip {
    zsim::Chip chip{0x22, true};
    ChipHost host{chip};
    ChipPrograms programs{chip};
    morvel_zelp_device_s *zelp = host.device();

    SecuredChip() {
        EXPECT_EQ(morvel_zelp7x_init(zelp, MORVEL_ZELP_INIT_MODE_RESET), 0);
        EXPECT_EQ(zelp->d.zelp7x.secured, 1u);
        zelp->init = 1;
        chip.poke_spi(0x03, 0x42);
        const uint32_t windows[] = {0x20017C00, 0x20018000, 0x20017000, 0x20017C00};
        for (uint32_t i = 0; i < 4; ++i) chip.poke_mcu(0x40009034 + 4 * i, windows[i]);
        host.transfers.clear();
    }
    // Sizes of the writes into the boot loader's window, up to the end of its exchange (the
    // interrupt enables restored); later writes there are the firmware's own block.
    std::vector<size_t> window_writes() const {
        std::vector<size_t> sizes;
        for (const Transfer &t : writes_of(host.transfers)) {
            if (!t.mcu && t.address == 0x03) break;
            if (t.mcu && t.address == 0x20017C00) sizes.push_back(t.data.size());
        }
        return sizes;
    }
};

TEST(SecuredLoad, PiecesOfOneWordEachEndInABurstAndTheFirmwareVersionIsKept) {
    SecuredChip s;
    const Bytes pkg = small_firmware_package();
    s.programs.answers.assign(pkg.size() / 4 - 1, 1);
    ASSERT_EQ(morvel_zelp_load(s.zelp, nullptr, 0), MORVEL_ZELP_ERROR_MORE);
    EXPECT_EQ(s.chip.peek_spi(0x03), 0x40) << "mailbox-in masked while the boot loader talks";
    Bytes p = pkg;
    for (size_t at = 0; at < pkg.size(); at += 4)
        ASSERT_EQ(morvel_zelp_load(s.zelp, p.data() + at, 4),
                  at + 4 < pkg.size() ? MORVEL_ZELP_ERROR_MORE : MORVEL_ZELP_ERROR_NONE)
            << at;
    ASSERT_EQ(s.programs.windows.size(), pkg.size() / 4);
    for (size_t i = 0; i < s.programs.windows.size(); ++i)
        EXPECT_TRUE(std::equal(pkg.begin() + 4 * i, pkg.begin() + 4 * i + 4,
                               s.programs.windows[i].begin()));
    const morvel_zelp7x_device_s &z = s.zelp->d.zelp7x;
    EXPECT_EQ(z.fw_loaded, 1u);
    EXPECT_EQ(z.addrprotlo[1], 0x20017000u);
    EXPECT_EQ(z.fwver_len, 20u);
    EXPECT_EQ(s.chip.peek_spi(0x03), 0x42);
    EXPECT_EQ(s.chip.peek_mcu(0x2001780C), 20u);
    EXPECT_EQ(s.chip.peek_mcu(0x20017810), 0x706C657Au) << "\"zelp\"";
    EXPECT_EQ(morvel_zelp_load(s.zelp, nullptr, 0), MORVEL_ZELP_ERROR_FAIL) << "firmware runs";
}

TEST(SecuredLoad, ALongPieceFillsTheWindowThreeTimes) {
    SecuredChip s;
    s.programs.answers = {1, 1, 1};
    Bytes piece = PackageBuilder().record(TAG_FIRMWARE, pattern(4000)).body();
    piece.resize(3000);
    ASSERT_EQ(morvel_zelp_load(s.zelp, nullptr, 0), MORVEL_ZELP_ERROR_MORE);
    s.host.transfers.clear();
    EXPECT_EQ(morvel_zelp_load(s.zelp, piece.data(), 3000), MORVEL_ZELP_ERROR_MORE);
    EXPECT_EQ(s.window_writes(), (std::vector<size_t>{1024, 1024, 952}));
    ASSERT_EQ(s.programs.windows.size(), 3u);
    EXPECT_TRUE(std::equal(piece.begin() + 2048, piece.end(), s.programs.windows[2].begin()));
}

TEST(SecuredLoad, APieceThatEndsTheLoadSendsNothingPastTheChecksum) {
    Bytes whole = small_firmware_package();
    const size_t checksum_end = whole.size();
    whole.insert(whole.end(), 8, 0xEE);
    Bytes long_version =
        PackageBuilder().record(TAG_FIRMWARE_VERSION_STRING_V1, pattern(33)).body();
    long_version.resize(48);
    struct Case {
        Bytes piece;
        std::vector<uint8_t> answers;
        int result;
        std::vector<size_t> sent;
    };
    const Case cases[] = {
        {whole, {}, MORVEL_ZELP_ERROR_NONE, {checksum_end}},
        {whole, {0x25}, MORVEL_ZELP_ERROR_PACKAGE, {checksum_end}},
        {whole, {0x20}, MORVEL_ZELP_ERROR_FAIL, {checksum_end}},
        {long_version, {}, MORVEL_ZELP_ERROR_PACKAGE, {}},
    };
    for (const Case &k : cases) {
        SecuredChip s;
        s.programs.answers = k.answers;
        ASSERT_EQ(morvel_zelp_load(s.zelp, nullptr, 0), MORVEL_ZELP_ERROR_MORE);
        s.host.transfers.clear();
        Bytes piece = k.piece;
        EXPECT_EQ(morvel_zelp_load(s.zelp, piece.data(), static_cast<int>(piece.size())), k.result);
        EXPECT_EQ(s.window_writes(), k.sent);
        EXPECT_EQ(s.chip.peek_spi(0x03), 0x42) << "interrupts restored";
    }
}

} // namespace
