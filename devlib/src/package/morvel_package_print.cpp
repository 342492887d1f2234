// Printouts of the values the reader delivers, made only when the caller asks for a log.
#include <cstdio>
#include <span>

#include "package/morvel_package_internal.h"

namespace morvel_pkg {
namespace {

void print_line(const char *text) {
    std::printf("%s\n", text);
}

void print_block_start() {
    print_line("\n--------------------------");
}

// The version texts carry no terminator; one is put behind the last byte (the scratch area is
// far larger than any accepted version text).
void print_version(state &p, const char *format) {
    p.data.scratch[p.length] = 0;
    print_block_start();
    std::printf(format, reinterpret_cast<const char *>(p.data.scratch));
}

void print_hw_params(const morvel_hw_params_v2_t &hw) {
    print_block_start();
    print_line("\n- HW params: ");
    std::printf("\t- Sample frequency: %u\n", hw.sample_frequency_hz);
    std::printf("\t- Frame size: %u\n", hw.frame_size);
    std::printf("\t- Frame step: %u\n", hw.frame_step);
    std::printf("\t- Num of filter banks: %u\n", hw.num_filter_banks);
    std::printf("\t- Num of activation used: %u\n", hw.num_activations_used);
    std::printf("\t- Length of melbin: %u\n", hw.mel_bins_length);
}

// The board fields every layout shares, read from the value's own layout.
struct board_fields {
    unsigned dnn_input, input_clock_rate, pdm_clock_rate, pdm_clock_zelp, power_offset;
    unsigned preemphasis_exponent, power_scale_exponent, agc;
    std::span<const int8_t, 40> equalizer;
};

// Every layout names these fields alike; only their offsets differ.
template <typename Board>
board_fields board_fields_of(const Board &b) {
    return {b.dnn_input,
            b.input_clock_rate,
            b.pdm_clock_rate,
            b.pdm_clock_zelp,
            b.power_offset,
            b.preemphasis_exponent,
            b.power_scale_exponent,
            b.agc,
            std::span<const int8_t, 40>(b.equalizer)};
}

void print_board_params(const board_fields &b) {
    print_block_start();
    print_line("\n- Board params: ");
    std::printf("\t- DNN Input: %u\n", b.dnn_input);
    std::printf("\t- Input clk rate: %u\n", b.input_clock_rate);
    std::printf("\t- PDM clk rate: %u\n", b.pdm_clock_rate);
    std::printf("\t- PDM clk zelp: %u\n", b.pdm_clock_zelp);
    std::printf("\t- Power offset: %u\n", b.power_offset);
    std::printf("\t- Preemphasis exponent: %u\n", b.preemphasis_exponent);
    std::printf("\t- Power scale exponent: %u\n", b.power_scale_exponent);
    std::printf("\t- Agc: %u\n", b.agc);
    print_line("\t- Equalizer: ");
    for (const int8_t value : b.equalizer) std::printf("\t \t %d\n", value);
}

void print_per_layer(const char *title, const uint8_t *values) {
    std::printf("%s", title);
    for (int layer = 0; layer < 4; ++layer) std::printf("\t %u", values[layer]);
}

void print_nn_config(const state &p) {
    const fc_fields c = fc_fields_of(p.data, p.tag != TAG_ZELP7X_B0_NN_CONFIG_V2);
    print_block_start();
    print_line("\n- NN config params: ");
    std::printf("\t- Num of features: %u\n", c.num_features);
    std::printf("\t- Num of static features: %u\n", c.num_static_features);
    std::printf("\t- DNN frame size: %u\n", c.dnn_frame_size);
    std::printf("\t- Input clipping threshold: %u\n", c.input_clipping_threshold);
    std::printf("\t- DNN run threshold: %u\n", c.dnn_run_threshold);
    std::printf("\t- Quantization schemes for Layers: ");
    for (int layer = 0; layer < 4; ++layer)
        std::printf("%s", c.quantization_scheme[layer] != 0 ? "sqrt_49 " : "uniform ");
    print_per_layer("\n \t- Num of nodes in layers: ", c.num_nodes);
    print_per_layer("\n \t- Num of biases in layers: ", c.num_biases);
    print_per_layer("\n \t- Scale factor in layers: ", c.scale_factor);
    print_per_layer("\n \t- Outshift in layers: ", c.out_shift);
}

// The fields versions 5 and 6 share; version 6 keeps them behind its adaptive settings.
struct head_fields {
    uint32_t num_states, num_classes, ph_type, timeout, timeout_action, timeout_action_arg;
};

template <typename Metadata>
head_fields head_fields_from(const Metadata &m) {
    return {m.num_states, m.num_classes,    m.ph_type,
            m.timeout,    m.timeout_action, m.timeout_action_arg};
}

head_fields head_fields_of(const state &p, int version) {
    return version == 5 ? head_fields_from(p.metadata.ph_metadata.v2)
                        : head_fields_from(p.metadata.ph_metadata.v3);
}

} // namespace

void print_posterior_head(const state &p, int version) {
    print_block_start();
    print_line("\n- Posterior params: ");
    if (version == 4) {
        const auto &m = p.metadata.ph_metadata.v1;
        std::printf("\t - Num of states: %u\n", m.num_states);
        std::printf("\t - Num of classes: %u\n", m.num_classes);
        std::printf("\t - State 1 timeout: %u\n", m.timeout);
        return;
    }
    const head_fields m = head_fields_of(p, version);
    std::printf("\t - PH type: %d\n", static_cast<int>(m.ph_type));
    std::printf("\t - Num of states: %u\n", m.num_states);
    std::printf("\t - Num of classes: %u\n", m.num_classes);
    std::printf("\t - State 1 timeout: %u,", m.timeout);
    std::printf(" timeout_action: %u", m.timeout_action);
    std::printf(" timeout_action_arg: %u\n", m.timeout_action_arg);
}

void print_posterior_class(const state &p, int version, uint32_t class_number) {
    std::printf("\t \t - Class %u\n", class_number);
    if (version == 6) {
        const auto &r = p.data.ph_params_v2;
        std::printf("\t \t \t - Win: %u, Th: %u, Bkoff: %u,                            SQ: %u "
                    "Adaptive Thresh:%d\n",
                    r.phwin, r.phth, r.phbackoff, r.phqueuesize,
                    static_cast<int>(r.adaptive_threshold_on));
        return;
    }
    const auto &r = p.data.ph_params;
    std::printf("\t \t \t - Win: %u, Th: %u, Bkoff: %u, SQ: %u\n", r.phwin, r.phth, r.phbackoff,
                r.phqueuesize);
}

void print_posterior_state(const state &p, int version, uint32_t state_number) {
    if (version == 4) {
        std::printf("\t - State %u timeout: %u\n", state_number, p.metadata.ph_metadata.v1.timeout);
        return;
    }
    const head_fields m = head_fields_of(p, version);
    std::printf("\t - State %u timeout: %u timeout_action:%u timeout_action_arg%u\n", state_number,
                m.timeout, m.timeout_action, m.timeout_action_arg);
}

void print_piece_value_start(const state &p) {
    print_block_start();
    if (p.tag == TAG_NN_LABELS_V1 || p.tag == TAG_NN_LABELS_V3) {
        std::printf("\n - Labels length: %u\n", p.length);
        std::printf(" - Labels: ");
    } else if (p.tag == TAG_ZELP7X_NN_PARAMETERS_V3) {
        std::printf("\n - DNN params size: %u\n", p.length);
    } else {
        std::printf("\n - Firmware length: %u\n", p.length);
    }
}

// Labels are one piece; NUL bytes separate them and are shown as spaces.
void print_labels(const state &p) {
    for (const uint8_t c : std::span<const uint8_t>(p.data.labels, p.length))
        std::putchar(c == 0 ? ' ' : c);
}

} // namespace morvel_pkg

using morvel_pkg::state;

extern "C" int morvel_pkg_parse_board_params_v3_v4(state *pstate) {
    if (pstate == nullptr) return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    const auto &b = pstate->data.board_params_v4;
    morvel_pkg::print_board_params(morvel_pkg::board_fields_of(pstate->data.board_params_v2));
    morvel_pkg::print_line("\t- AGC Maximum adjustment level: ");
    for (const uint32_t level : b.agc_max_adj) std::printf("\t %u\n", level);
    morvel_pkg::print_line("\t- AGC Reference quiet level: ");
    std::printf("\t %u\n", b.agc_ref_lvl);
    if (pstate->tag == TAG_BOARD_CALIBRATION_PARAMS_V4) {
        std::printf("\t- Noise threshold: %d\n", b.noise_threshold);
        std::printf("\t- Noise threshold window: %u\n", b.noise_thresh_win);
    }
    return MORVEL_PACKAGE_ERROR_NONE;
}

extern "C" int morvel_pkg_print_stored_params(state *pstate) {
    if (pstate == nullptr) return MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR;
    state &p = *pstate;
    // Version texts are at most VERSION_MAX_SIZE bytes; anything longer was refused before.
    const bool text_fits = p.length < PARSER_SCRATCH_SIZE;
    switch (p.tag) {
    case TAG_FIRMWARE_VERSION_STRING_V1:
        if (text_fits) morvel_pkg::print_version(p, "\n- Firmware version: %s\n");
        return MORVEL_PACKAGE_ERROR_NONE;
    case TAG_NN_VERSION_STRING_V1:
        if (text_fits) morvel_pkg::print_version(p, "\n- NN params version: %s\n");
        return MORVEL_PACKAGE_ERROR_NONE;
    case TAG_PACKAGE_VERSION_STRING:
        if (text_fits) morvel_pkg::print_version(p, "\n- Package version: %s\n");
        return MORVEL_PACKAGE_ERROR_NONE;
    case TAG_DSP_FIRMWARE_VERSION_STRING_V1:
        if (text_fits) morvel_pkg::print_version(p, "\n- DSP FW version: %s\n");
        return MORVEL_PACKAGE_ERROR_NONE;
    case TAG_ZELP7X_HW_CONFIG_V2:
        morvel_pkg::print_hw_params(p.data.hw_params_v2);
        return MORVEL_PACKAGE_ERROR_NONE;
    case TAG_BOARD_CALIBRATION_PARAMS_V1:
        morvel_pkg::print_board_params(morvel_pkg::board_fields_of(p.data.board_params_v1));
        return MORVEL_PACKAGE_ERROR_NONE;
    case TAG_BOARD_CALIBRATION_PARAMS_V2:
        morvel_pkg::print_board_params(morvel_pkg::board_fields_of(p.data.board_params_v2));
        return MORVEL_PACKAGE_ERROR_NONE;
    case TAG_BOARD_CALIBRATION_PARAMS_V3:
    case TAG_BOARD_CALIBRATION_PARAMS_V4:
        return morvel_pkg_parse_board_params_v3_v4(&p);
    case TAG_ZELP7X_B0_NN_CONFIG_V2:
    case TAG_ZELP7X_B0_NN_CONFIG_V3:
        morvel_pkg::print_nn_config(p);
        return MORVEL_PACKAGE_ERROR_NONE;
    default:
        return MORVEL_PACKAGE_ERROR_UNKNOWN_TLV;
    }
}
