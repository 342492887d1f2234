// Printouts of the values read, made only when a log is asked for.
#include <gtest/gtest.h>

#include <string>

#include "morvel_packager/morvel_package.h"
#include "support/package_builder.h"

namespace {

using ztest::Bytes;
using ztest::PackageBuilder;

std::string printed_while_reading(const Bytes &package, size_t chunk, int collect_log = 1) {
    testing::internal::CaptureStdout();
    const auto fed = ztest::feed_package(package, chunk, collect_log);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(fed.result, 0);
    return out;
}

const std::string block = "\n--------------------------\n";

// The packager's own version text, here a full 128 bytes without terminator, is not shown;
// labels show their separators as spaces.
TEST(PackageLog, VersionTextsAndLabels) {
    const Bytes package = PackageBuilder()
                              .record(TAG_FIRMWARE_VERSION_STRING_V1, Bytes{'1', '.', '2'})
                              .record(TAG_NN_VERSION_STRING_V1, Bytes{'n', 'n'})
                              .record(TAG_PACKAGE_VERSION_STRING, Bytes{'p'})
                              .record(TAG_DSP_FIRMWARE_VERSION_STRING_V1, Bytes{'d'})
                              .record(TAG_PACKAGERLIB_VERSION_STRING, Bytes(128, 'x'))
                              .record(TAG_NN_LABELS_V1, Bytes{'y', 'e', 's', 0, 'n', 'o', 0})
                              .build();
    EXPECT_EQ(printed_while_reading(package, 0),
              block + "\n- Firmware version: 1.2\n" + block + "\n- NN params version: nn\n" +
                  block + "\n- Package version: p\n" + block + "\n- DSP FW version: d\n" + block +
                  "\n - Labels length: 7\n - Labels: yes no ");
}

TEST(PackageLog, NetworkConfigurationAndPackedParameters) {
    const ztest::NetworkConfig config;
    const Bytes package =
        PackageBuilder()
            .record(TAG_ZELP7X_B0_NN_CONFIG_V3, ztest::network_config_v3(config))
            .record(TAG_ZELP7X_NN_PARAMETERS_V3, Bytes(ztest::packed_params_size(config), 0))
            .build();
    EXPECT_EQ(printed_while_reading(package, 0),
              block +
                  "\n- NN config params: \n"
                  "\t- Num of features: 40\n"
                  "\t- Num of static features: 0\n"
                  "\t- DNN frame size: 10\n"
                  "\t- Input clipping threshold: 5\n"
                  "\t- DNN run threshold: 6\n"
                  "\t- Quantization schemes for Layers: uniform sqrt_49 uniform sqrt_49 "
                  "\n \t- Num of nodes in layers: \t 15\t 7\t 23\t 3"
                  "\n \t- Num of biases in layers: \t 1\t 1\t 1\t 1"
                  "\n \t- Scale factor in layers: \t 1\t 2\t 3\t 4"
                  "\n \t- Outshift in layers: \t 1\t 2\t 3\t 4" +
                  block + "\n - DNN params size: 554\n");
}

TEST(PackageLog, BoardCalibrationV4) {
    morvel_board_params_v4_t b{};
    b.agc = 1;
    b.dnn_input = 2;
    b.pdm_clock_zelp = 3;
    b.power_offset = 4;
    b.input_clock_rate = 32768;
    b.pdm_clock_rate = 1024000;
    b.preemphasis_exponent = 5;
    b.power_scale_exponent = 6;
    for (int i = 0; i < 40; ++i) b.equalizer[i] = static_cast<int8_t>(i - 20);
    b.agc_ref_lvl = 7;
    b.agc_max_adj[0] = 8;
    b.agc_max_adj[1] = 9;
    b.noise_threshold = -10;
    b.noise_thresh_win = 11;
    const auto *raw = reinterpret_cast<const uint8_t *>(&b);
    const Bytes package = PackageBuilder()
                              .record(TAG_BOARD_CALIBRATION_PARAMS_V4, Bytes(raw, raw + sizeof b))
                              .build();
    std::string expected = block + "\n- Board params: \n"
                                   "\t- DNN Input: 2\n"
                                   "\t- Input clk rate: 32768\n"
                                   "\t- PDM clk rate: 1024000\n"
                                   "\t- PDM clk zelp: 3\n"
                                   "\t- Power offset: 4\n"
                                   "\t- Preemphasis exponent: 5\n"
                                   "\t- Power scale exponent: 6\n"
                                   "\t- Agc: 1\n"
                                   "\t- Equalizer: \n";
    for (int i = 0; i < 40; ++i) expected += "\t \t " + std::to_string(i - 20) + "\n";
    expected += "\t- AGC Maximum adjustment level: \n\t 8\n\t 9\n"
                "\t- AGC Reference quiet level: \n\t 7\n"
                "\t- Noise threshold: -10\n"
                "\t- Noise threshold window: 11\n";
    EXPECT_EQ(printed_while_reading(package, 0), expected);
}

TEST(PackageLog, PosteriorItems) {
    const Bytes v4 =
        PackageBuilder().record(TAG_NN_PH_PARAMETERS_V4, ztest::posterior_value(4, 2, 1)).build();
    EXPECT_EQ(printed_while_reading(v4, 0),
              block + "\n- Posterior params: \n"
                      "\t - Num of states: 2\n"
                      "\t - Num of classes: 1\n"
                      "\t - State 1 timeout: 1000\n"
                      "\t \t - Class 1\n"
                      "\t \t \t - Win: 100, Th: 101, Bkoff: 102, SQ: 105\n"
                      "\t - State 2 timeout: 2000\n"
                      "\t \t - Class 1\n"
                      "\t \t \t - Win: 106, Th: 107, Bkoff: 108, SQ: 111\n");
    const Bytes v6 =
        PackageBuilder().record(TAG_NN_PH_PARAMETERS_V6, ztest::posterior_value(6, 1, 1)).build();
    EXPECT_EQ(printed_while_reading(v6, 0),
              block +
                  "\n- Posterior params: \n"
                  "\t - PH type: 1\n"
                  "\t - Num of states: 1\n"
                  "\t - Num of classes: 1\n"
                  "\t - State 1 timeout: 1000, timeout_action: 1001 timeout_action_arg: 1002\n"
                  "\t \t - Class 1\n"
                  "\t \t \t - Win: 103, Th: 104, Bkoff: 105,                            SQ: 108 "
                  "Adaptive Thresh:109\n");
}

TEST(PackageLog, SilentWithoutLogAndTheSameInAnyChunkSize) {
    const Bytes package = ztest::every_kind_package();
    EXPECT_EQ(printed_while_reading(package, 0, 0), "");
    const std::string whole = printed_while_reading(package, 0);
    EXPECT_GT(whole.size(), 1000u);
    for (size_t chunk : {1u, 3u, 64u, 2049u})
        EXPECT_EQ(printed_while_reading(package, chunk), whole);
}

TEST(PackageLog, PrintStoredParamsHasNoPrintoutForOtherTags) {
    morvel_pkg_parser_state_t p{};
    p.tag = TAG_PACKAGERLIB_VERSION_STRING;
    testing::internal::CaptureStdout();
    EXPECT_EQ(morvel_pkg_print_stored_params(&p), MORVEL_PACKAGE_ERROR_UNKNOWN_TLV);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

} // namespace
