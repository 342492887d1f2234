#include "sample_package.h"

#include <array>
#include <cstring>

#include "morvel_packager/morvel_package_tags.h"

namespace mvpkg {

namespace {

constexpr size_t firmware_size = 4096;

// A text with its terminating NUL, padded with NULs to whole words.
Bytes text_value(std::string_view text) {
    Bytes out(text.begin(), text.end());
    out.resize((text.size() + 4) / 4 * 4, 0);
    return out;
}

Bytes labels() {
    // One NUL after each name, as the chip counts them; twelve bytes, a whole number of words.
    static constexpr char names[] = "go\0stop\0off";
    return Bytes(names, names + sizeof names);
}

// Four output nodes of which the posterior tables use three. Layer sizes the chip takes (feature
// count and the first three layers a multiple of 8) and biases that make the packed parameters
// a whole number of words.
NetworkConfig network() {
    NetworkConfig c;
    c.num_nodes[3] = 3;
    c.num_biases[3] = 2;
    return c;
}

// Two states over three classes, first action encoding. In state 0, "go" moves to state 1 and
// "stop" and "off" match; in state 1, "go" matches, "stop" stays, and "off" or 50 frames without
// any of them go back to state 0. Three classes, so that a board matching the classes in turn
// shows three different ones in a row.
PosteriorTables posterior() {
    return {.adaptive_frames = 8,
            .adaptive_denominator = 2,
            .adaptive_max_updates = 4,
            .ph_type = 0,
            .states = {
                {0,
                 0,
                 0,
                 {{10, 200, 20, 1, 1, 3, 1}, {12, 300, 30, 0, 1, 4, 0}, {14, 350, 40, 0, 2, 5, 0}}},
                {50,
                 0,
                 0,
                 {{10, 250, 20, 0, 0, 3, 1}, {12, 300, 30, 2, 0, 4, 0}, {14, 350, 40, 1, 0, 5, 0}}},
            }};
}

void add_firmware(PackageBuilder &b) {
    b.record(TAG_FIRMWARE_VERSION_STRING_V1, text_value("sample-fw 1.0"));
    b.record(TAG_FIRMWARE, pattern(firmware_size, 0x5A));
}

void add_model(PackageBuilder &b) {
    const NetworkConfig net = network();
    b.record(TAG_NN_VERSION_STRING_V1, text_value("sample-net 1.0"));
    b.record(TAG_NN_LABELS_V1, labels());
    b.record(TAG_ZELP7X_B0_NN_CONFIG_V3, network_config_v3(net));
    b.record(TAG_ZELP7X_NN_PARAMETERS_V3, pattern(packed_params_size(net), 0x3C));
    b.record(TAG_NN_PH_PARAMETERS_V6, posterior_v6(posterior()));
    b.record(TAG_PACKAGE_VERSION_STRING, text_value("sample-pkg 1.0"));
}

} // namespace

std::optional<SamplePart> sample_part_named(std::string_view name) {
    if (name == "all") return SamplePart::all;
    if (name == "firmware") return SamplePart::firmware;
    if (name == "model") return SamplePart::model;
    return std::nullopt;
}

Bytes sample_package(SamplePart part) {
    PackageBuilder b;
    if (part != SamplePart::model) add_firmware(b);
    if (part != SamplePart::firmware) add_model(b);
    return b.build();
}

} // namespace mvpkg
