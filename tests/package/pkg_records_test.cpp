// Value record parsers: size limits, pieces, posterior items, sections and record sequences.
#include <gtest/gtest.h>

#include <string>

#include "morvel_packager/morvel_package.h"
#include "support/package_builder.h"

namespace {

using ztest::Bytes;
using ztest::Delivery;
using ztest::feed_package;
using ztest::PackageBuilder;

Bytes one_record(uint32_t tag, const Bytes &value) {
    return PackageBuilder().record(tag, value).build();
}

// A package of one record, read whole or in chunks.
ztest::FeedResult feed_alone(uint32_t tag, const Bytes &value, size_t chunk = 0) {
    return feed_package(one_record(tag, value), chunk);
}

// Deliveries of the first record only, without the checksum announcement.
std::vector<Delivery> value_deliveries(const ztest::FeedResult &fed, uint32_t tag) {
    std::vector<Delivery> out;
    for (const auto &d : fed.deliveries)
        if (d.tag == tag) out.push_back(d);
    return out;
}

// ---- Values in pieces. ----

TEST(PackagePieces, FirmwareOf5000BytesComesIn2048_2048_904) {
    const Bytes image = ztest::pattern(5000, 1);
    uint32_t last_piece_length = 0;
    const auto fed = feed_package(one_record(TAG_FIRMWARE, image), 0, 0,
                                  [&](const morvel_pkg_parser_state_t &p) {
                                      if (p.tag == TAG_FIRMWARE && p.mode == PACKAGE_MODE_TAG_START)
                                          last_piece_length = p.metadata.fw_metadata;
                                  });
    ASSERT_EQ(fed.result, 0);
    const auto d = value_deliveries(fed, TAG_FIRMWARE);
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[0].mode, PACKAGE_MODE_VALUE_START);
    EXPECT_EQ(d[1].mode, PACKAGE_MODE_VALUE_CONT);
    EXPECT_EQ(d[2].mode, PACKAGE_MODE_VALUE_CONT);
    EXPECT_EQ(d[3].mode, PACKAGE_MODE_TAG_START);
    EXPECT_EQ(d[1].item, Bytes(image.begin(), image.begin() + 2048));
    EXPECT_EQ(d[2].item, Bytes(image.begin() + 2048, image.begin() + 4096));
    EXPECT_EQ(d[3].item, Bytes(image.begin() + 4096, image.end()));
    EXPECT_EQ(last_piece_length, 904u);
}

// Large values say why they are refused; labels, which must fit one piece, do not.
TEST(PackagePieces, SizeLimitsOfLargeValuesAndLabels) {
    struct limit {
        uint32_t tag;
        uint32_t max;
        int error;
    };
    for (const limit l :
         {limit{TAG_FIRMWARE, 262144, MORVEL_PACKAGE_ERROR_FIRMWARE},
          limit{TAG_ZELP80_B0_FIRMWARE_V1, 262144, MORVEL_PACKAGE_ERROR_FIRMWARE},
          limit{TAG_ZELP80_B0_DSP_FIRMWARE_V1, 262144, MORVEL_PACKAGE_ERROR_FIRMWARE},
          limit{TAG_ZELP80_B0_NN_PARAMETERS_V1, 786432, MORVEL_PACKAGE_ERROR_FIRMWARE},
          limit{TAG_ZELP7X_B0_NN_PARAMETERS_ENCRYPTED_V1, 294944, MORVEL_PACKAGE_ERROR_FIRMWARE},
          limit{TAG_NN_LABELS_V1, 2048, MORVEL_PACKAGE_ERROR_NN_LABELS_V1},
          limit{TAG_NN_LABELS_V3, 2048, MORVEL_PACKAGE_ERROR_NN_LABELS_V1}}) {
        const auto ok = feed_alone(l.tag, Bytes(l.max, 0x5A), 4096);
        EXPECT_EQ(ok.result, 0) << l.tag;
        EXPECT_TRUE(ok.done) << l.tag;

        PackageBuilder b;
        b.record_with_length(l.tag, l.max + 1, Bytes{});
        testing::internal::CaptureStdout();
        const auto too_large = feed_package(b.build(), 0);
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(too_large.result, l.error) << l.tag;
        if (l.error == MORVEL_PACKAGE_ERROR_NN_LABELS_V1)
            EXPECT_EQ(printed, "");
        else
            EXPECT_EQ(printed, "Tag too large: " + std::to_string(l.max + 1) + " > " +
                                   std::to_string(l.max) + "\n");
    }
}

// Posterior values keep their bookkeeping where the network configuration is kept; a posterior
// value between a configuration and its packed parameters must not change what they are checked
// against.
TEST(PackagePieces, PackedParametersMustMatchTheLastNetworkConfiguration) {
    const ztest::NetworkConfig config; // 40 features, nodes 15, 7, 23, 3, one bias each
    // weights (16 * 48 + 8 * 24 + 24 * 4) / 2 = 528, biases (16 + 8 + 24 + 4) / 2 = 26
    ASSERT_EQ(ztest::packed_params_size(config), 554u);
    const std::pair<uint32_t, Bytes> configs[] = {
        {TAG_ZELP7X_B0_NN_CONFIG_V2, ztest::network_config_v2(config)},
        {TAG_ZELP7X_B0_NN_CONFIG_V3, ztest::network_config_v3(config)}};
    const std::pair<uint32_t, Bytes> betweens[] = {
        {0, Bytes{}},
        {TAG_NN_PH_PARAMETERS_V4, ztest::posterior_value(4, 2, 3)},
        {TAG_NN_PH_PARAMETERS_V5, ztest::posterior_value(5, 2, 3)},
        {TAG_NN_PH_PARAMETERS_V6, ztest::posterior_value(6, 2, 3)}};
    for (const auto &[config_tag, config_value] : configs) {
        for (const auto &[between_tag, between_value] : betweens) {
            for (const uint32_t size : {553u, 554u, 555u}) {
                PackageBuilder b;
                b.record(config_tag, config_value);
                if (between_tag != 0) b.record(between_tag, between_value);
                const Bytes package = b.record(TAG_ZELP7X_NN_PARAMETERS_V3, Bytes(size, 1)).build();
                for (size_t chunk : {0u, 1u, 9u}) {
                    SCOPED_TRACE(testing::Message() << config_tag << " " << between_tag << " "
                                                    << size << " " << chunk);
                    const auto fed = feed_package(package, chunk);
                    EXPECT_EQ(fed.result,
                              size == 554 ? 0 : MORVEL_PACKAGE_ERROR_ZELP7X_NN_PARAMETERS_V3);
                    EXPECT_EQ(fed.done, size == 554);
                }
            }
        }
    }
}

// ---- Whole values. ----

TEST(PackageStoredValues, LengthChecks) {
    struct check {
        uint32_t tag;
        uint32_t good;
        uint32_t bad;
        int error;
    };
    const check checks[] = {
        {TAG_FIRMWARE_VERSION_STRING_V1, 128, 129, MORVEL_PACKAGE_ERROR_FIRMWARE_VERSION_STRING_V2},
        {TAG_DSP_FIRMWARE_VERSION_STRING_V1, 128, 129,
         MORVEL_PACKAGE_ERROR_FIRMWARE_VERSION_STRING_V2},
        {TAG_NN_VERSION_STRING_V1, 128, 129, MORVEL_PACKAGE_ERROR_NN_VERSION_STRING_V2},
        {TAG_PACKAGE_VERSION_STRING, 128, 129, MORVEL_PACKAGE_ERROR_PACKAGE_VERSION_STRING},
        {TAG_PACKAGERLIB_VERSION_STRING, 128, 4000, MORVEL_PACKAGE_ERROR_PACKAGE_VERSION_STRING},
        {TAG_ZELP7X_HW_CONFIG_V2, 192, 191, MORVEL_PACKAGE_ERROR_ZELP7X_HW_CONFIG_V2},
        {TAG_BOARD_CALIBRATION_PARAMS_V1, 72, 84, MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V1},
        {TAG_BOARD_CALIBRATION_PARAMS_V2, 72, 71, MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V2},
        {TAG_BOARD_CALIBRATION_PARAMS_V3, 72, 80, MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V3},
        {TAG_BOARD_CALIBRATION_PARAMS_V3, 84, 92, MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V3},
        {TAG_BOARD_CALIBRATION_PARAMS_V4, 92, 84, MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V4},
    };
    for (const check &c : checks) {
        EXPECT_EQ(feed_alone(c.tag, Bytes(c.good, 0)).result, 0) << c.tag;
        const auto bad = feed_alone(c.tag, Bytes(c.bad, 0));
        EXPECT_EQ(bad.result, c.error) << c.tag;
        EXPECT_EQ(bad.offset, 20u) << c.tag; // refused before a byte of the value was read
    }
}

TEST(PackageStoredValues, VersionTextsMarkTheirPackageKind) {
    bool fw = false, params = false, dsp = false;
    const Bytes package = PackageBuilder()
                              .record(TAG_FIRMWARE_VERSION_STRING_V1, Bytes{'1'})
                              .record(TAG_NN_VERSION_STRING_V1, Bytes{'2'})
                              .record(TAG_DSP_FIRMWARE_VERSION_STRING_V1, Bytes{'3'})
                              .build();
    feed_package(package, 0, 0, [&](const morvel_pkg_parser_state_t &p) {
        fw = p.is_current_fw_package != 0;
        params = p.is_current_params_package != 0;
        dsp = p.is_current_dsp_fw_package != 0;
    });
    EXPECT_TRUE(fw);
    EXPECT_TRUE(params);
    EXPECT_TRUE(dsp);
}

// The fourth layer is not checked; a value of another length is refused before it is read.
TEST(PackageStoredValues, NetworkConfigurationLengthFeatureAndNodeChecks) {
    using Change = void (*)(ztest::NetworkConfig &);
    const std::pair<Change, bool> changes[] = {
        {[](ztest::NetworkConfig &) {}, true},
        {[](ztest::NetworkConfig &c) { c.num_nodes[3] = 200; }, true},
        {[](ztest::NetworkConfig &c) { c.num_features = 36; }, false},
        {[](ztest::NetworkConfig &c) { c.num_nodes[2] = 22; }, false},
        {[](ztest::NetworkConfig &c) { c.num_static_features = 41; }, false},
    };
    struct version {
        uint32_t tag;
        Bytes (*encode)(const ztest::NetworkConfig &);
        uint32_t bad_length;
        int error;
    };
    for (const version v : {version{TAG_ZELP7X_B0_NN_CONFIG_V2, ztest::network_config_v2, 27,
                                    MORVEL_PACKAGE_ERROR_ZELP7X_B0_NN_CONFIG_V2},
                            version{TAG_ZELP7X_B0_NN_CONFIG_V3, ztest::network_config_v3, 29,
                                    MORVEL_PACKAGE_ERROR_ZELP7X_B0_NN_CONFIG_V3}}) {
        for (size_t i = 0; i < std::size(changes); ++i) {
            ztest::NetworkConfig config; // 40 features, nodes 15, 7, 23, 3
            changes[i].first(config);
            EXPECT_EQ(feed_alone(v.tag, v.encode(config)).result, changes[i].second ? 0 : v.error)
                << v.tag << " change " << i;
        }
        const auto bad = feed_alone(v.tag, Bytes(v.bad_length, 0));
        EXPECT_EQ(bad.result, v.error) << v.tag;
        EXPECT_EQ(bad.offset, 20u) << v.tag;
    }
}

// A 72-byte version 3 value does not carry the gain control fields; they must not be left over
// from an earlier value.
TEST(PackageStoredValues, ShortBoardCalibrationV3LeavesItsMissingFieldsZero) {
    const Bytes package = PackageBuilder()
                              .record(TAG_BOARD_CALIBRATION_PARAMS_V3, Bytes(84, 0xEE))
                              .record(TAG_BOARD_CALIBRATION_PARAMS_V3, Bytes(72, 0x11))
                              .build();
    std::vector<morvel_board_params_v3_t> seen;
    feed_package(package, 0, 0, [&](const morvel_pkg_parser_state_t &p) {
        if (p.tag == TAG_BOARD_CALIBRATION_PARAMS_V3 && p.mode == PACKAGE_MODE_TAG_START)
            seen.push_back(p.data.board_params_v3);
    });
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].agc_ref_lvl, 0xEEEEEEEEu);
    EXPECT_EQ(seen[1].agc, 0x11);
    EXPECT_EQ(seen[1].agc_ref_lvl, 0u);
    EXPECT_EQ(seen[1].agc_max_adj[0], 0u);
    EXPECT_EQ(seen[1].agc_max_adj[1], 0u);
}

// ---- Posterior parameters. ----

TEST(PackagePosterior, Version4TwoStatesThreeClasses) {
    const Bytes value = ztest::posterior_value(4, 2, 3);
    ASSERT_EQ(value.size(), 160u);
    std::vector<std::pair<uint32_t, uint32_t>> positions; // (state, class) after each item
    const auto fed = feed_package(
        one_record(TAG_NN_PH_PARAMETERS_V4, value), 0, 0, [&](const morvel_pkg_parser_state_t &p) {
            if (p.tag == TAG_NN_PH_PARAMETERS_V4 &&
                p.value_mode == PACKAGE_MODE_VALID_PARTIAL_VALUE &&
                p.mode != PACKAGE_MODE_VALUE_START)
                positions.emplace_back(p.metadata.ph_metadata.v1.cur_state,
                                       p.metadata.ph_metadata.v1.cur_class);
        });
    ASSERT_EQ(fed.result, 0);
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {{1, 0}, {1, 1}, {1, 2}, {1, 3},
                                                                 {2, 0}, {2, 1}, {2, 2}, {2, 3}};
    EXPECT_EQ(positions, expected);

    Bytes longer = value;
    longer.resize(164);
    const auto bad = feed_alone(TAG_NN_PH_PARAMETERS_V4, longer);
    EXPECT_EQ(bad.result, MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V4);
    EXPECT_EQ(bad.offset, 20u + 12u); // at the first step after the head
}

TEST(PackagePosterior, LengthFormulasOfVersions5And6) {
    struct version {
        int number;
        uint32_t tag;
        uint32_t head, state, record;
        int error;
    };
    for (const version v :
         {version{5, TAG_NN_PH_PARAMETERS_V5, 24, 12, 24, MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V5},
          version{6, TAG_NN_PH_PARAMETERS_V6, 36, 12, 28,
                  MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V6}}) {
        const Bytes value = ztest::posterior_value(v.number, 3, 2);
        ASSERT_EQ(value.size(), v.head + v.state * 2 + v.record * 6);
        EXPECT_EQ(feed_alone(v.tag, value).result, 0);
        Bytes shorter = value;
        shorter.pop_back();
        EXPECT_EQ(feed_alone(v.tag, shorter).result, v.error);
        // Shorter than the head: refused before the head is read into the next record.
        const auto cut = feed_alone(v.tag, Bytes(value.begin(), value.begin() + 8));
        EXPECT_EQ(cut.result, v.error);
        EXPECT_EQ(cut.offset, 20u);
    }
}

TEST(PackagePosterior, HeadOnlyValuesMustEndCleanly) {
    // One state without classes is the head alone.
    EXPECT_EQ(feed_alone(TAG_NN_PH_PARAMETERS_V4, ztest::posterior_value(4, 1, 0)).result, 0);
    // A head announcing more states than the value holds.
    const Bytes head = ztest::ByteWriter().u32(3).u32(0).u32(7).data();
    EXPECT_EQ(feed_alone(TAG_NN_PH_PARAMETERS_V4, head).result,
              MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V4);
    const Bytes no_states = ztest::ByteWriter().u32(0).u32(0).u32(7).data();
    EXPECT_EQ(feed_alone(TAG_NN_PH_PARAMETERS_V4, no_states).result,
              MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V4);
}

// Counts whose 32-bit length sum wraps around to the real length are refused at the head.
TEST(PackagePosterior, WrappingCountsAreRefused) {
    const uint32_t classes = (1u << 29) + 1; // 24 * classes wraps to 24
    Bytes value = ztest::ByteWriter().u32(1).u32(classes).u32(0).data();
    value.resize(36, 0);
    const auto fed = feed_alone(TAG_NN_PH_PARAMETERS_V4, value);
    EXPECT_EQ(fed.result, MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V4);
    EXPECT_EQ(fed.offset, 32u);
}

// ---- Sectioned values. ----

TEST(PackageSections, CollectionWalksHandlersStatesAndClasses) {
    const ztest::CollectionHandler handlers[] = {{2, 2, 1}, {1, 1, 0}};
    std::vector<uint32_t> parsed;
    const auto fed = feed_package(
        one_record(TAG_NN_PHP_COLLECTION_V1, ztest::posterior_collection(handlers)), 0, 0,
        [&](const morvel_pkg_parser_state_t &p) {
            if (p.tag == TAG_NN_PHP_COLLECTION_V1 && p.data.ph_collection.parser.parsed != 0)
                parsed.push_back(p.data.ph_collection.parser.parsed);
        });
    ASSERT_EQ(fed.result, 0);
    const std::vector<uint32_t> expected = {1, 2, 3, 4, 4, 3, 4, 4, 2, 3, 4};
    EXPECT_EQ(parsed, expected);
}

TEST(PackageSections, CollectionChecks) {
    const Bytes no_handlers = ztest::ByteWriter().u32(0).u32(1).u32(1).u32(0).data();
    const auto fed = feed_alone(TAG_NN_PHP_COLLECTION_V1, no_handlers);
    EXPECT_EQ(fed.result, MORVEL_PACKAGE_ERROR_NN_PH_COLLECTION_V1);
    EXPECT_EQ(fed.offset, 24u); // on its first section
    const Bytes no_states = ztest::ByteWriter().u32(1).u32(1).u32(0).u32(0).data();
    EXPECT_EQ(feed_alone(TAG_NN_PHP_COLLECTION_V1, no_states).result,
              MORVEL_PACKAGE_ERROR_NN_PH_COLLECTION_V1);
    // A value that ends inside a section: the section is not read into the next record.
    const Bytes cut = ztest::ByteWriter().u32(1).u32(1).u32(1).data();
    const auto fed_cut = feed_alone(TAG_NN_PHP_COLLECTION_V1, cut);
    EXPECT_EQ(fed_cut.result, MORVEL_PACKAGE_ERROR_NN_PH_COLLECTION_V1);
    EXPECT_EQ(fed_cut.offset, 24u);
}

TEST(PackageSections, MetadataWalksNetworksLayersAndCaches) {
    const ztest::MetadataNetwork networks[] = {{2, 1}, {1, 0}};
    std::vector<uint32_t> parsed;
    uint32_t last_layers = 0;
    const auto fed =
        feed_package(one_record(TAG_ZELP80_B0_NN_METADATA, ztest::nn_metadata(networks)), 0, 0,
                     [&](const morvel_pkg_parser_state_t &p) {
                         if (p.tag != TAG_ZELP80_B0_NN_METADATA) return;
                         if (p.data.nn_metadata.parser.parsed != 0)
                             parsed.push_back(p.data.nn_metadata.parser.parsed);
                         last_layers = p.data.nn_metadata.parser.cur_layer;
                     });
    ASSERT_EQ(fed.result, 0);
    const std::vector<uint32_t> expected = {1, 2, 3, 4, 5, 4, 5, 2, 3, 4};
    EXPECT_EQ(parsed, expected);
    EXPECT_EQ(last_layers, 1u);

    const Bytes none = ztest::ByteWriter().u32(0).data();
    EXPECT_EQ(feed_alone(TAG_ZELP80_B0_NN_METADATA, none).result,
              MORVEL_PACKAGE_ERROR_NN_METADATA_V1);
    Bytes cut = ztest::nn_metadata(networks);
    cut.resize(cut.size() - 3);
    EXPECT_EQ(feed_alone(TAG_ZELP80_B0_NN_METADATA, cut).result,
              MORVEL_PACKAGE_ERROR_NN_METADATA_V1);
}

// ---- Zelp80 records. ----

TEST(PackageRecords, DspFrontEndConfigFitsItsRecord) {
    for (size_t chunk : {0u, 1u, 5u}) {
        const auto fed = feed_alone(TAG_ZELP80_B0_DSP_FE_CONFIG_V1, Bytes(10, 7), chunk);
        ASSERT_EQ(fed.result, 0);
        const auto d = value_deliveries(fed, TAG_ZELP80_B0_DSP_FE_CONFIG_V1);
        ASSERT_EQ(d.size(), 2u);
        Bytes expected(68, 0);
        std::fill(expected.begin(), expected.begin() + 10, 7);
        EXPECT_EQ(d[1].item, expected); // the rest of the record is cleared
    }
    EXPECT_EQ(feed_alone(TAG_ZELP80_B0_DSP_FE_CONFIG_V1, Bytes(68, 1)).result, 0);
    const auto fed = feed_alone(TAG_ZELP80_B0_DSP_FE_CONFIG_V1, Bytes(69, 1));
    EXPECT_EQ(fed.result, MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR);
    EXPECT_EQ(fed.offset, 20u);
}

TEST(PackageRecords, FlowCollectionAndOrchestratorAreWholeRecords) {
    const Bytes flows = ztest::pattern(24, 3);
    const auto fed = feed_alone(TAG_ZELP80_B0_DSP_FLOW_COLLECTION_V1, flows, 3);
    ASSERT_EQ(fed.result, 0);
    const auto d = value_deliveries(fed, TAG_ZELP80_B0_DSP_FLOW_COLLECTION_V1);
    ASSERT_EQ(d.size(), 4u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(d[i + 1].item, Bytes(flows.begin() + 8 * i, flows.begin() + 8 * (i + 1)));
    EXPECT_EQ(d[3].mode, PACKAGE_MODE_TAG_START);

    EXPECT_EQ(feed_alone(TAG_ZELP80_B0_MCU_ORCHESTRATOR_V1, Bytes(32, 1)).result, 0);
    // An empty sequence ends at once and hands over no record: whatever `data` holds is stale.
    for (uint32_t tag : {uint32_t{TAG_ZELP80_B0_DSP_FLOW_COLLECTION_V1},
                         uint32_t{TAG_ZELP80_B0_MCU_ORCHESTRATOR_V1}}) {
        const auto empty = feed_alone(tag, Bytes{});
        EXPECT_EQ(empty.result, 0);
        const auto d = value_deliveries(empty, tag);
        ASSERT_EQ(d.size(), 1u) << tag; // the announcement only
        EXPECT_EQ(d[0].mode, PACKAGE_MODE_VALUE_START);
    }
    for (const auto &[tag, size, error] : {std::tuple{TAG_ZELP80_B0_DSP_FLOW_COLLECTION_V1, 12,
                                                      MORVEL_PACKAGE_ERROR_DSP_FLOW_COLLECTION_V1},
                                           std::tuple{TAG_ZELP80_B0_MCU_ORCHESTRATOR_V1, 20,
                                                      MORVEL_PACKAGE_ERROR_MCU_ORCHESTRATOR_V1}}) {
        const auto bad = feed_alone(tag, Bytes(size, 1));
        EXPECT_EQ(bad.result, error) << tag;
        EXPECT_EQ(bad.offset, 20u) << tag;
    }
}

} // namespace
