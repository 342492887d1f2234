// Value record parsers: how each tag's value is read into the parser state (whole, in pieces of
// the scratch size, item by item or section by section) and what is checked on the way.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>

#include "package/morvel_package_internal.h"
#include "package/value_rules.h"

namespace morvel_pkg {
namespace {

static_assert(sizeof(morvel_hw_params_v2_t) == HW_PARAMS_V2_SIZE);
static_assert(sizeof(morvel_board_params_v1_t) == BOARD_PARAMS_V1_SIZE);
static_assert(sizeof(morvel_board_params_v2_t) == BOARD_PARAMS_V2_SIZE);
static_assert(sizeof(morvel_board_params_v3_t) == BOARD_PARAMS_V3_SIZE);
static_assert(sizeof(morvel_board_params_v4_t) == BOARD_PARAMS_V4_SIZE);
static_assert(sizeof(morvel_fc_params_v2_t) == FC_CONFIG_PARAMS_V2_SIZE);
static_assert(sizeof(morvel_fc_params_v3_t) == FC_CONFIG_PARAMS_V3_SIZE);
static_assert(sizeof(morvel_fc_params_metadata_t) == FC_PARAMS_METADATA_SIZE);
static_assert(sizeof(morvel_ph_params_t) == PH_PARAMS_SIZE);
static_assert(sizeof(morvel_ph_params_v2_t) == PH_PARAMS_SIZE_V2);
static_assert(sizeof(morvel_ph_params_metadata_v1_t) == PH_PARAMS_METADATA_v1_SIZE);
static_assert(sizeof(morvel_ph_params_metadata_v2_t) == PH_PARAMS_METADATA_v2_SIZE);
static_assert(sizeof(morvel_ph_params_metadata_v3_t) == PH_PARAMS_METADATA_v3_SIZE);
static_assert(sizeof(morvel_ph_collection_params_t) == PH_COLLECTION_PARAMS_SIZE);
static_assert(sizeof(morvel_nn_metadata_v1_t) == NN_METADATA_V1_SIZE);
static_assert(sizeof(morvel_dsp_fe_config_data_t) == 68);
static_assert(sizeof(morvel_dsp_flow_collection_v1_t) == DSP_FLOW_COLLECTION_V1_SIZE);
static_assert(sizeof(morvel_mcu_orch_v1_t) == MCU_ORCHESTRATOR_V1_SIZE);
static_assert(sizeof(morvel_pkg_parser_data_t) == PARSER_SCRATCH_SIZE);

// ---- Whole values. ----

const stored_rule *find_stored_rule(uint32_t tag) {
    const auto *rule = std::ranges::find(stored_rules, tag, &stored_rule::tag);
    return rule != std::end(stored_rules) ? rule : nullptr;
}

bool length_accepted(const stored_rule &rule, uint32_t length) {
    if (!rule.exact) return length <= rule.size_a;
    return length == rule.size_a || length == rule.size_b;
}

void mark_current_package(state &p) {
    if (p.tag == TAG_FIRMWARE_VERSION_STRING_V1) p.is_current_fw_package = 1;
    if (p.tag == TAG_NN_VERSION_STRING_V1) p.is_current_params_package = 1;
    if (p.tag == TAG_DSP_FIRMWARE_VERSION_STRING_V1) p.is_current_dsp_fw_package = 1;
}

struct network_config {
    uint16_t num_features;
    uint16_t num_static_features;
    const uint8_t *num_nodes;
    const uint8_t *num_biases;
};

template <typename Config>
network_config network_config_from(const Config &v) {
    return {v.num_features, v.num_static_features, v.num_nodes, v.num_biases};
}

network_config network_config_of(const state &p) {
    return p.tag == TAG_ZELP7X_B0_NN_CONFIG_V2 ? network_config_from(p.data.fc_params_v2)
                                               : network_config_from(p.data.fc_params_v3);
}

// Posterior values keep their head and position at the front of the metadata area, over the
// network configuration. A copy at the area's far end, which no value's bookkeeping reaches,
// keeps the configuration for a later tag 22 until the next tag 25 or 26.
constexpr size_t kept_config_word = std::size(morvel_pkg_parser_metadata_t{}.scratch_metadata) -
                                    sizeof(morvel_fc_params_metadata_t) / sizeof(uint32_t);
static_assert(kept_config_word * sizeof(uint32_t) >= sizeof(morvel_ph_params_metadata_t));

void keep_network_config(state &p) {
    std::memcpy(&p.metadata.scratch_metadata[kept_config_word], &p.metadata.fc_metadata,
                sizeof p.metadata.fc_metadata);
}

void recall_network_config(state &p) {
    std::memcpy(&p.metadata.fc_metadata, &p.metadata.scratch_metadata[kept_config_word],
                sizeof p.metadata.fc_metadata);
}

// Keeps the configuration for a later tag 22 and checks the sizes the chip's layers need.
int check_network_config(state &p, int error) {
    const network_config c = network_config_of(p);
    if (c.num_static_features > c.num_features) return error;
    auto &m = p.metadata.fc_metadata;
    m.num_features = c.num_features;
    m.num_static_features = c.num_static_features;
    std::memcpy(m.num_nodes, c.num_nodes, sizeof m.num_nodes);
    std::memcpy(m.num_biases, c.num_biases, sizeof m.num_biases);
    keep_network_config(p);
    const bool aligned = c.num_features % 8 == 0 && (c.num_nodes[0] + 1) % 8 == 0 &&
                         (c.num_nodes[1] + 1) % 8 == 0 && (c.num_nodes[2] + 1) % 8 == 0;
    return aligned ? MORVEL_PACKAGE_ERROR_NONE : error;
}

// ---- Values in pieces. ----

const piece_rule *find_piece_rule(uint32_t tag) {
    const auto *rule = std::ranges::find(piece_rules, tag, &piece_rule::tag);
    return rule != std::end(piece_rules) ? rule : nullptr;
}

int check_piece_value_length(state &p, const piece_rule &rule) {
    if (rule.kind == piece_kind::packed_params) {
        recall_network_config(p);
        return p.length == packed_params_size(p.metadata.fc_metadata) ? MORVEL_PACKAGE_ERROR_NONE
                                                                      : rule.error;
    }
    if (p.length <= rule.limit) return MORVEL_PACKAGE_ERROR_NONE;
    if (rule.kind == piece_kind::firmware)
        std::printf("Tag too large: %u > %u\n", p.length, rule.limit);
    return rule.error;
}

uint32_t next_piece_size(const state &p) {
    return std::min<uint32_t>(value_bytes_left(p), PARSER_SCRATCH_SIZE);
}

// ---- Posterior parameters, versions 4 to 6. ----

// The value length a head announces. Computed wide, so that counts chosen to wrap a 32-bit sum
// around to the actual length are refused here instead of steering the walk.
bool posterior_length_matches(const posterior_layout &l, uint32_t states, uint32_t classes,
                              uint32_t length) {
    if (states == 0) return false;
    const uint64_t records = uint64_t{states} * classes;
    if (records > length) return false;
    const uint64_t expected =
        l.head_size + uint64_t{l.state_size} * (states - 1) + uint64_t{l.class_size} * records;
    return expected == length;
}

int parse_posterior_item(state &p, const posterior_layout &l, int collect_log, bool &complete) {
    uint32_t *m = p.metadata.scratch_metadata;
    if (p.partially_read_length < l.head_size) {
        complete = read_field(p, m, l.head_size);
        if (complete) {
            m[l.cur_class] = 0;
            m[l.cur_state] = 1;
        }
        return MORVEL_PACKAGE_ERROR_NONE;
    }
    if (p.partially_read_length == l.head_size && p.expected_bytes == 0) {
        if (!posterior_length_matches(l, m[l.num_states], m[l.num_classes], p.length))
            return l.error;
        if (collect_log) print_posterior_head(p, l.version);
    }
    if (m[l.cur_class] < m[l.num_classes]) {
        if (!field_fits(p, l.class_size)) return l.error;
        complete = read_field(p, p.data.scratch, l.class_size);
        if (!complete) return MORVEL_PACKAGE_ERROR_NONE;
        if (++m[l.cur_class] > m[l.num_classes]) return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
        if (collect_log) print_posterior_class(p, l.version, m[l.cur_class]);
        return MORVEL_PACKAGE_ERROR_NONE;
    }
    if (!field_fits(p, l.state_size)) return l.error;
    complete = read_field(p, &m[l.timeout], l.state_size);
    if (!complete) return MORVEL_PACKAGE_ERROR_NONE;
    m[l.cur_class] = 0;
    if (++m[l.cur_state] > m[l.num_states]) return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    if (collect_log) print_posterior_state(p, l.version, m[l.cur_state]);
    return MORVEL_PACKAGE_ERROR_NONE;
}

int parse_posterior_params(state &p, const posterior_layout &l, int collect_log) {
    // A value shorter than its head would make the head read run into the next record.
    if (p.mode == PACKAGE_MODE_VALUE_START && p.length < l.head_size) return l.error;
    bool complete = false;
    const int result = parse_posterior_item(p, l, collect_log, complete);
    if (result != MORVEL_PACKAGE_ERROR_NONE) return result;
    end_step(p, complete);
    if (p.mode != PACKAGE_MODE_TAG_START) return MORVEL_PACKAGE_ERROR_NONE;
    const uint32_t *m = p.metadata.scratch_metadata;
    const bool clean_end =
        complete && m[l.cur_class] == m[l.num_classes] && m[l.cur_state] == m[l.num_states];
    return clean_end ? MORVEL_PACKAGE_ERROR_NONE : l.error;
}

// ---- Sectioned values, tags 52 and 64. ----

// A section cut by a chunk's end stays the one to read, and is completed from the next chunk
// like any other field; `parsed` names a section only in the step that completed it, so the
// sequence of delivered sections does not depend on how the value was cut.
struct section {
    void *dest;
    uint32_t size;
};

template <typename Record>
int start_sectioned_value(state &p, Record &rec) {
    std::memset(&rec, 0, sizeof rec);
    rec.parser.parsing = 1;
    rec.parser.parsed = 0;
    end_step(p, false);
    return MORVEL_PACKAGE_ERROR_NONE;
}

// Reads the section `parsing` names; returns 1 when complete, 0 when cut, or an error.
template <typename Record>
int read_section(state &p, Record &rec, std::optional<section> s, int error) {
    rec.parser.parsed = 0;
    if (!s || !field_fits(p, s->size)) return error;
    if (!read_field(p, s->dest, s->size)) {
        end_step(p, false);
        return 0;
    }
    rec.parser.parsed = rec.parser.parsing;
    return 1;
}

std::optional<section> collection_section(morvel_ph_collection_params_t &c) {
    switch (c.parser.parsing) {
    case PHC_PARSE_COLLECTION_PARAMS:
        return section{&c.num_ph, sizeof c.num_ph};
    case PHC_PARSE_PH_PARAMS:
        return section{&c.ph, sizeof c.ph};
    case PHC_PARSE_STATE_PARAMS:
        return section{&c.state, sizeof c.state};
    case PHC_PARSE_CLASS_PARAMS:
        return section{&c.class_params, sizeof c.class_params};
    default:
        return std::nullopt;
    }
}

int advance_collection(morvel_ph_collection_params_t &c) {
    auto &ps = c.parser;
    switch (ps.parsed) {
    case PHC_PARSE_COLLECTION_PARAMS:
        if (c.num_ph == 0) return MORVEL_PACKAGE_ERROR_NN_PH_COLLECTION_V1;
        ps.cur_ph = 0;
        ps.parsing = PHC_PARSE_PH_PARAMS;
        break;
    case PHC_PARSE_PH_PARAMS:
        if (c.ph.num_states == 0 || c.ph.num_classes == 0)
            return MORVEL_PACKAGE_ERROR_NN_PH_COLLECTION_V1;
        ps.cur_state = 0;
        ps.cur_class = 0;
        ++ps.cur_ph;
        ps.parsing = PHC_PARSE_STATE_PARAMS;
        break;
    case PHC_PARSE_STATE_PARAMS:
        ++ps.cur_state;
        ps.cur_class = 0;
        ps.parsing = PHC_PARSE_CLASS_PARAMS;
        break;
    default: // PHC_PARSE_CLASS_PARAMS
        if (++ps.cur_class < c.ph.num_classes) break;
        ps.parsing = ps.cur_state != c.ph.num_states ? PHC_PARSE_STATE_PARAMS : PHC_PARSE_PH_PARAMS;
        break;
    }
    return MORVEL_PACKAGE_ERROR_NONE;
}

int parse_posterior_collection_v1(state &p) {
    auto &c = p.data.ph_collection;
    if (p.mode == PACKAGE_MODE_VALUE_START) return start_sectioned_value(p, c);
    const int read =
        read_section(p, c, collection_section(c), MORVEL_PACKAGE_ERROR_NN_PH_COLLECTION_V1);
    if (read <= 0) return read;
    const int result = advance_collection(c);
    end_step(p, false);
    return result;
}

std::optional<section> metadata_section(morvel_nn_metadata_v1_t &m) {
    switch (m.parser.parsing) {
    case NNM_PARSE_NN_NUM:
        return section{&m.nn_num, sizeof m.nn_num};
    case NNM_PARSE_BASE_META:
        return section{&m.base, sizeof m.base};
    case NNM_PARSE_INP_SIZE:
        return section{&m.input_size, sizeof m.input_size};
    case NNM_PARSE_COORD:
        return section{&m.coord, sizeof m.coord};
    case NNM_PARSE_CACHE_INST:
        return section{&m.cache, sizeof m.cache};
    default:
        return std::nullopt;
    }
}

uint32_t after_layer(const morvel_nn_metadata_v1_t &m) {
    return m.parser.cur_layer >= m.base.num_layers ? NNM_PARSE_BASE_META : NNM_PARSE_COORD;
}

int advance_metadata(morvel_nn_metadata_v1_t &m) {
    auto &ps = m.parser;
    switch (ps.parsed) {
    case NNM_PARSE_NN_NUM:
        if (m.nn_num == 0) return MORVEL_PACKAGE_ERROR_NN_METADATA_V1;
        ps.parsing = NNM_PARSE_BASE_META;
        break;
    case NNM_PARSE_BASE_META:
        ++ps.cur_nn;
        ps.cur_layer = 0;
        ps.parsing = NNM_PARSE_INP_SIZE;
        break;
    case NNM_PARSE_INP_SIZE:
        ps.parsing = NNM_PARSE_COORD;
        break;
    case NNM_PARSE_COORD:
        ++ps.cur_layer;
        ps.parsing = m.base.is_nn_cached != 0 ? uint32_t{NNM_PARSE_CACHE_INST} : after_layer(m);
        break;
    default: // NNM_PARSE_CACHE_INST
        ps.parsing = after_layer(m);
        break;
    }
    return MORVEL_PACKAGE_ERROR_NONE;
}

// ---- Sequences of fixed-size records, tags 65 and 66. ----

// A length that is not a whole number of records is refused before anything is read, so the
// last record can never reach into the next TLV.
int parse_record_sequence(state &p, uint32_t record_size, int error) {
    if (p.mode == PACKAGE_MODE_VALUE_START && p.length % record_size != 0) return error;
    // An empty sequence has no record to hand over.
    if (value_bytes_left(p) == 0 && p.expected_bytes == 0) {
        end_step(p, false);
        return MORVEL_PACKAGE_ERROR_NONE;
    }
    const bool complete = read_field(p, p.data.scratch, record_size);
    end_step(p, complete);
    if (complete && p.mode == PACKAGE_MODE_VALUE_CONT) p.expected_bytes = record_size;
    return MORVEL_PACKAGE_ERROR_NONE;
}

} // namespace
} // namespace morvel_pkg

using morvel_pkg::state;

extern "C" int morvel_pkg_parse_stored_params(state *pstate, int collect_log) {
    if (pstate == nullptr) return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    state &p = *pstate;
    const auto *rule = morvel_pkg::find_stored_rule(p.tag);
    if (rule == nullptr) return MORVEL_PACKAGE_ERROR_UNKNOWN_TLV;
    if (p.mode == PACKAGE_MODE_VALUE_START) {
        if (!morvel_pkg::length_accepted(*rule, p.length)) return rule->error;
        // Fields a shorter version does not supply read as zero, not as an earlier value's bytes.
        if (p.length < rule->record_size)
            std::memset(p.data.scratch + p.length, 0, rule->record_size - p.length);
    }
    if (!morvel_pkg::read_field(p, p.data.scratch, p.length)) {
        p.mode = PACKAGE_MODE_VALUE_CONT;
        p.value_mode = PACKAGE_MODE_NO_PARTIAL_VALUE;
        return MORVEL_PACKAGE_ERROR_NONE;
    }
    p.mode = PACKAGE_MODE_TAG_START;
    p.value_mode = PACKAGE_MODE_VALID_PARTIAL_VALUE;
    morvel_pkg::mark_current_package(p);
    int result = MORVEL_PACKAGE_ERROR_NONE;
    if (p.tag == TAG_ZELP7X_B0_NN_CONFIG_V2 || p.tag == TAG_ZELP7X_B0_NN_CONFIG_V3)
        result = morvel_pkg::check_network_config(p, rule->error);
    // The printout is a diagnostic: a tag without one does not change the verdict.
    if (collect_log) morvel_pkg_print_stored_params(&p);
    return result;
}

extern "C" int morvel_pkg_parse_partially_stored_params(state *pstate, int collect_log) {
    if (pstate == nullptr) return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    state &p = *pstate;
    const auto *rule = morvel_pkg::find_piece_rule(p.tag);
    if (rule == nullptr) return MORVEL_PACKAGE_ERROR_UNKNOWN_TLV;
    if (p.mode == PACKAGE_MODE_VALUE_START) {
        const int check = morvel_pkg::check_piece_value_length(p, *rule);
        if (check != MORVEL_PACKAGE_ERROR_NONE) return check;
        if (collect_log) morvel_pkg::print_piece_value_start(p);
        p.metadata.fw_metadata = morvel_pkg::next_piece_size(p);
    }
    // The piece length lives in the shared metadata; it can never name more than the scratch.
    const uint32_t piece = std::min<uint32_t>(p.metadata.fw_metadata, PARSER_SCRATCH_SIZE);
    const bool piece_complete = morvel_pkg::read_field(p, p.data.scratch, piece);
    if (piece_complete && morvel_pkg::value_bytes_left(p) == 0) {
        p.mode = PACKAGE_MODE_TAG_START;
        p.value_mode = PACKAGE_MODE_VALID_PARTIAL_VALUE;
        if (collect_log && rule->kind == morvel_pkg::piece_kind::labels)
            morvel_pkg::print_labels(p);
        return MORVEL_PACKAGE_ERROR_NONE;
    }
    p.mode = PACKAGE_MODE_VALUE_CONT;
    if (!piece_complete) {
        p.value_mode = PACKAGE_MODE_NO_PARTIAL_VALUE;
        return MORVEL_PACKAGE_ERROR_NONE;
    }
    p.value_mode = PACKAGE_MODE_VALID_PARTIAL_VALUE;
    p.metadata.fw_metadata = morvel_pkg::next_piece_size(p);
    p.expected_bytes = p.metadata.fw_metadata;
    return MORVEL_PACKAGE_ERROR_NONE;
}

extern "C" int morvel_pkg_parse_posterior_params(state *pstate, int collect_log) {
    if (pstate == nullptr) return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    if (pstate->tag == TAG_NN_PHP_COLLECTION_V1)
        return morvel_pkg::parse_posterior_collection_v1(*pstate);
    for (const auto &layout : morvel_pkg::posterior_layouts)
        if (layout.tag == pstate->tag)
            return morvel_pkg::parse_posterior_params(*pstate, layout, collect_log);
    return MORVEL_PACKAGE_ERROR_NONE;
}

extern "C" int morvel_pkg_parse_nn_metadata(state *pstate) {
    if (pstate == nullptr) return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    state &p = *pstate;
    if (p.tag != TAG_ZELP80_B0_NN_METADATA) return MORVEL_PACKAGE_ERROR_NONE;
    auto &m = p.data.nn_metadata;
    if (p.mode == PACKAGE_MODE_VALUE_START) return morvel_pkg::start_sectioned_value(p, m);
    const int read = morvel_pkg::read_section(p, m, morvel_pkg::metadata_section(m),
                                              MORVEL_PACKAGE_ERROR_NN_METADATA_V1);
    if (read <= 0) return read;
    const int result = morvel_pkg::advance_metadata(m);
    morvel_pkg::end_step(p, false);
    return result;
}

// A value longer than the record is refused before a byte is read: nothing past the record is
// written and the next TLV is not consumed.
extern "C" int morvel_pkg_parse_dsp_fe_config(state *pstate) {
    if (pstate == nullptr) return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    state &p = *pstate;
    if (p.tag != TAG_ZELP80_B0_DSP_FE_CONFIG_V1) return MORVEL_PACKAGE_ERROR_NONE;
    auto &record = p.data.dsp_fe_config;
    if (p.mode == PACKAGE_MODE_VALUE_START) {
        if (p.length > sizeof record) return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
        std::memset(&record, 0, sizeof record);
    }
    const bool complete = morvel_pkg::read_field(p, &record, p.length);
    morvel_pkg::end_step(p, complete);
    return MORVEL_PACKAGE_ERROR_NONE;
}

extern "C" int morvel_pkg_parse_dsp_flow_collection(state *pstate) {
    if (pstate == nullptr) return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    if (pstate->tag != TAG_ZELP80_B0_DSP_FLOW_COLLECTION_V1) return MORVEL_PACKAGE_ERROR_NONE;
    return morvel_pkg::parse_record_sequence(*pstate, DSP_FLOW_COLLECTION_V1_SIZE,
                                             MORVEL_PACKAGE_ERROR_DSP_FLOW_COLLECTION_V1);
}

extern "C" int morvel_pkg_parse_mcu_orchestrator(state *pstate) {
    if (pstate == nullptr) return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    if (pstate->tag != TAG_ZELP80_B0_MCU_ORCHESTRATOR_V1) return MORVEL_PACKAGE_ERROR_NONE;
    return morvel_pkg::parse_record_sequence(*pstate, MCU_ORCHESTRATOR_V1_SIZE,
                                             MORVEL_PACKAGE_ERROR_MCU_ORCHESTRATOR_V1);
}

namespace morvel_pkg {

// Size of the packed network parameters that the last network configuration asks for: the
// weights of the three layer links and the biases of the four layers, two values per byte.
uint32_t packed_params_size(const morvel_fc_params_metadata_t &m) {
    const uint32_t f = m.num_features;
    const uint32_t n0 = m.num_nodes[0] + 1u, n1 = m.num_nodes[1] + 1u;
    const uint32_t n2 = m.num_nodes[2] + 1u, n3 = m.num_nodes[3] + 1u;
    const uint32_t weights = (n0 * (f + n1) + n1 * n2 + n2 * n3) / 2;
    const uint32_t biases = (m.num_biases[0] * n0 + m.num_biases[1] * n1 + m.num_biases[2] * n2 +
                             m.num_biases[3] * n3) /
                            2;
    return weights + biases;
}

} // namespace morvel_pkg
