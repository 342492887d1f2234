#include "support/package_builder.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace ztest {

Bytes small_firmware_package() {
    const char version[] = "zelp7x fw 1.2.3-test";
    static_assert(sizeof version - 1 == 20);
    return PackageBuilder()
        .record(TAG_FIRMWARE_VERSION_STRING_V1,
                std::span(reinterpret_cast<const uint8_t *>(version), 20))
        .record(TAG_FIRMWARE, pattern(220, 3))
        .build();
}

Bytes posterior_value(int version, uint32_t states, uint32_t classes) {
    ByteWriter w;
    uint32_t n = 100;
    if (version == 6)
        for (int i = 0; i < 3; ++i) w.u32(n++); // adaptive settings
    w.u32(states).u32(classes);
    if (version != 4) w.u32(1); // ph_type
    const uint32_t state_words = version == 4 ? 1 : 3;
    const uint32_t class_words = version == 6 ? 7 : 6;
    for (uint32_t s = 0; s < states; ++s) {
        for (uint32_t i = 0; i < state_words; ++i) w.u32(1000 * (s + 1) + i);
        for (uint32_t c = 0; c < classes; ++c)
            for (uint32_t i = 0; i < class_words; ++i) w.u32(n++);
    }
    return w.data();
}

// Writes `count` numbered words.
static void numbered_words(ByteWriter &w, uint32_t &n, int count) {
    for (int i = 0; i < count; ++i) w.u32(n++);
}

Bytes posterior_collection(std::span<const CollectionHandler> handlers) {
    ByteWriter w;
    uint32_t n = 1;
    w.u32(static_cast<uint32_t>(handlers.size()));
    for (const auto &h : handlers) {
        w.u32(h.num_classes).u32(h.num_states).u32(h.ph_type);
        for (uint32_t s = 0; s < h.num_states; ++s) {
            numbered_words(w, n, 4);
            for (uint32_t c = 0; c < h.num_classes; ++c) numbered_words(w, n, 7);
        }
    }
    return w.data();
}

Bytes nn_metadata(std::span<const MetadataNetwork> networks) {
    ByteWriter w;
    uint32_t n = 1;
    w.u32(static_cast<uint32_t>(networks.size()));
    for (const auto &net : networks) {
        w.u32(net.num_layers).u32(net.is_nn_cached);
        numbered_words(w, n, 3 + 3); // the rest of the base section, then the input size
        for (uint32_t layer = 0; layer < net.num_layers; ++layer) {
            numbered_words(w, n, 2);
            if (net.is_nn_cached == 0) continue;
            numbered_words(w, n, 3);
            w.u16(1).u16(2).u16(3).u16(static_cast<uint16_t>(n++));
        }
    }
    return w.data();
}

Bytes every_kind_package() {
    const NetworkConfig config;
    NetworkConfig config_v3;
    config_v3.num_features = 24;
    config_v3.num_nodes[1] = 15;
    Bytes labels = pattern(100, 1);
    for (size_t i = 9; i < labels.size(); i += 10) labels[i] = 0;
    const CollectionHandler handlers[] = {{2, 2, 1}, {1, 3, 0}};
    const MetadataNetwork networks[] = {{2, 1}, {3, 0}};
    return PackageBuilder()
        .record(TAG_FIRMWARE_VERSION_STRING_V1, pattern(20, 'a'))
        .record(TAG_NN_VERSION_STRING_V1 | MORVEL_PKG_TAG_MULTISEGMENT_FLAG, pattern(10, 'b'))
        .record(TAG_PACKAGE_VERSION_STRING, pattern(4, 'c'))
        .record(TAG_PACKAGE_VERSION_STRING, Bytes{})
        .record(TAG_DSP_FIRMWARE_VERSION_STRING_V1, pattern(7, 'd'))
        .record(TAG_PACKAGERLIB_VERSION_STRING, pattern(9, 'e'))
        .record(TAG_ZELP7X_HW_CONFIG_V2, pattern(HW_PARAMS_V2_SIZE, 5))
        .record(TAG_BOARD_CALIBRATION_PARAMS_V1, pattern(BOARD_PARAMS_V1_SIZE, 6))
        .record(TAG_BOARD_CALIBRATION_PARAMS_V2, pattern(BOARD_PARAMS_V2_SIZE, 7))
        .record(TAG_BOARD_CALIBRATION_PARAMS_V3, pattern(BOARD_PARAMS_V3_SIZE, 8))
        .record(TAG_BOARD_CALIBRATION_PARAMS_V3, pattern(BOARD_PARAMS_V2_SIZE, 9))
        .record(TAG_BOARD_CALIBRATION_PARAMS_V4, pattern(BOARD_PARAMS_V4_SIZE, 10))
        .record(TAG_ZELP7X_B0_NN_CONFIG_V2, network_config_v2(config))
        .record(TAG_ZELP7X_NN_PARAMETERS_V3, pattern(packed_params_size(config), 11))
        .record(TAG_ZELP7X_B0_NN_CONFIG_V3, network_config_v3(config_v3))
        .record(TAG_ZELP7X_NN_PARAMETERS_V3, pattern(packed_params_size(config_v3), 12))
        .record(TAG_FIRMWARE, pattern(5000, 13))
        .record(TAG_NN_LABELS_V1, labels)
        .record(TAG_NN_LABELS_V3, pattern(30, 14))
        .record(TAG_ZELP80_B0_FIRMWARE_V1, pattern(3000, 15))
        .record(TAG_ZELP80_B0_NN_PARAMETERS_V1, pattern(4100, 16))
        .record(TAG_ZELP80_B0_DSP_FIRMWARE_V1, pattern(10, 17))
        .record(TAG_ZELP7X_B0_NN_PARAMETERS_ENCRYPTED_V1, pattern(2100, 18))
        .record(TAG_NN_PH_PARAMETERS_V4, posterior_value(4, 2, 3))
        .record(TAG_NN_PH_PARAMETERS_V5, posterior_value(5, 3, 2))
        .record(TAG_NN_PH_PARAMETERS_V6, posterior_value(6, 2, 2))
        .record(TAG_NN_PHP_COLLECTION_V1, posterior_collection(handlers))
        .record(TAG_ZELP80_B0_NN_METADATA, nn_metadata(networks))
        .record(TAG_ZELP80_B0_DSP_FE_CONFIG_V1, pattern(68, 19))
        .record(TAG_ZELP80_B0_DSP_FE_CONFIG_V1, pattern(10, 20))
        .record(TAG_ZELP80_B0_DSP_FLOW_COLLECTION_V1, pattern(24, 21))
        .record(TAG_ZELP80_B0_MCU_ORCHESTRATOR_V1, pattern(32, 22))
        .build();
}

namespace {

Bytes slice(const void *from, size_t size) {
    const auto *b = static_cast<const uint8_t *>(from);
    return Bytes(b, b + size);
}

// Where a delivery step leaves its item: large values pass through the scratch area in pieces,
// posterior items are the metadata plus one class record, the rest are records of fixed size.
enum class Shape { piece, posterior, fixed };
struct ItemShape {
    uint32_t tag;
    Shape shape;
    uint32_t size; // fixed: the record; posterior: the head
    uint32_t class_size = 0, metadata_size = 0;
};
constexpr ItemShape kItemShapes[] = {
    {TAG_FIRMWARE, Shape::piece, 0},
    {TAG_NN_LABELS_V1, Shape::piece, 0},
    {TAG_ZELP7X_NN_PARAMETERS_V3, Shape::piece, 0},
    {TAG_NN_LABELS_V3, Shape::piece, 0},
    {TAG_ZELP80_B0_FIRMWARE_V1, Shape::piece, 0},
    {TAG_ZELP80_B0_NN_PARAMETERS_V1, Shape::piece, 0},
    {TAG_ZELP80_B0_DSP_FIRMWARE_V1, Shape::piece, 0},
    {TAG_ZELP7X_B0_NN_PARAMETERS_ENCRYPTED_V1, Shape::piece, 0},
    {TAG_NN_PH_PARAMETERS_V4, Shape::posterior, 12, 24, 20},
    {TAG_NN_PH_PARAMETERS_V5, Shape::posterior, 24, 24, 32},
    {TAG_NN_PH_PARAMETERS_V6, Shape::posterior, 36, 28, 44},
    {TAG_NN_PHP_COLLECTION_V1, Shape::fixed, 80},
    {TAG_ZELP80_B0_NN_METADATA, Shape::fixed, 80},
    {TAG_ZELP80_B0_DSP_FE_CONFIG_V1, Shape::fixed, 68},
    {TAG_ZELP80_B0_DSP_FLOW_COLLECTION_V1, Shape::fixed, 8},
    {TAG_ZELP80_B0_MCU_ORCHESTRATOR_V1, Shape::fixed, 16},
};

const ItemShape *shape_of(uint32_t tag) {
    const auto *found = std::find_if(std::begin(kItemShapes), std::end(kItemShapes),
                                     [tag](const ItemShape &s) { return s.tag == tag; });
    return found == std::end(kItemShapes) ? nullptr : found;
}

uint32_t posterior_cur_class(const morvel_pkg_parser_state_t &p) {
    if (p.tag == TAG_NN_PH_PARAMETERS_V4) return p.metadata.ph_metadata.v1.cur_class;
    if (p.tag == TAG_NN_PH_PARAMETERS_V5) return p.metadata.ph_metadata.v2.cur_class;
    return p.metadata.ph_metadata.v3.cur_class;
}

bool is_sectioned(uint32_t tag) {
    return tag == TAG_NN_PHP_COLLECTION_V1 || tag == TAG_ZELP80_B0_NN_METADATA;
}

uint32_t sections_parsed(const morvel_pkg_parser_state_t &p) {
    return p.tag == TAG_NN_PHP_COLLECTION_V1 ? p.data.ph_collection.parser.parsed
                                             : p.data.nn_metadata.parser.parsed;
}

bool is_delivery(const morvel_pkg_parser_state_t &p) {
    if (p.mode == PACKAGE_MODE_VALUE_START) return true;
    if (p.mode != PACKAGE_MODE_TAG_START && p.mode != PACKAGE_MODE_VALUE_CONT) return false;
    if (is_sectioned(p.tag)) return sections_parsed(p) != 0;
    return p.value_mode == PACKAGE_MODE_VALID_PARTIAL_VALUE;
}

Bytes posterior_item(const morvel_pkg_parser_state_t &p, const ItemShape &s) {
    if (p.partially_read_length == s.size) return slice(&p.metadata, s.size);
    Bytes item = slice(&p.metadata, s.metadata_size);
    if (posterior_cur_class(p) == 0) return item;
    const Bytes record = slice(p.data.scratch, s.class_size);
    item.insert(item.end(), record.begin(), record.end());
    return item;
}

// The item a delivery step left in the parser state.
Bytes delivered_item(const morvel_pkg_parser_state_t &p) {
    if (p.mode == PACKAGE_MODE_VALUE_START) return {};
    const ItemShape *s = shape_of(p.tag);
    if (s == nullptr)
        return slice(p.data.scratch, std::min<uint32_t>(p.length, PARSER_SCRATCH_SIZE));
    if (s->shape == Shape::fixed) return slice(p.data.scratch, s->size);
    if (s->shape == Shape::posterior) return posterior_item(p, *s);
    // A piece that ends on a whole scratch area is a full one, unless nothing was read.
    const uint32_t got = p.partially_read_length;
    const uint32_t scratch = PARSER_SCRATCH_SIZE;
    return slice(p.data.scratch, got % scratch != 0 || got == 0 ? got % scratch : scratch);
}

} // namespace

FeedResult feed_package(std::span<const uint8_t> package, size_t chunk, int collect_log,
                        const StepObserver &observer) {
    if (chunk == 0) chunk = std::max<size_t>(package.size(), 1);
    auto parser = std::make_unique<morvel_pkg_parser_state_t>();
    morvel_pkg_parser_state_t &p = *parser;
    morvel_pkg_parser_init(&p);
    morvel_pkg_parser_reset(&p);
    FeedResult out;
    int idle_steps = 0;
    for (size_t pos = 0; pos < package.size() && !out.done; pos += chunk) {
        const size_t n = std::min(chunk, package.size() - pos);
        auto buffer = std::make_unique<uint8_t[]>(n);
        std::memcpy(buffer.get(), package.data() + pos, n);
        morvel_pkg_preprocess_chunk(&p, buffer.get(), static_cast<int>(n), 0);
        morvel_pkg_parser_reset(&p);
        while (p.ptr < p.open_ram_end && p.mode != PACKAGE_MODE_DONE) {
            const bool had_header = p.magic_header_found != 0;
            const uint8_t *before = p.ptr;
            const int result = morvel_pkg_parse_chunk(&p, collect_log);
            out.offset = static_cast<uint32_t>(pos + (p.ptr - p.open_ram_begin));
            if (result != 0) {
                out.result = result;
                out.calc_crc = p.calc_crc;
                return out;
            }
            idle_steps = p.ptr == before ? idle_steps + 1 : 0;
            if (idle_steps > 3) {
                out.stalled = true;
                return out;
            }
            if (had_header && is_delivery(p))
                out.deliveries.push_back({p.tag, p.length, p.mode, p.value_mode,
                                          p.partially_read_length, delivered_item(p)});
            out.is_multisegment |= p.is_multisegment;
            if (observer) observer(p);
        }
        out.done = p.mode == PACKAGE_MODE_DONE;
    }
    out.calc_crc = p.calc_crc;
    return out;
}

} // namespace ztest
