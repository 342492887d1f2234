// The network's shape from a package: the filter bank's frame and bins (hardware configuration)
// and the layer sizes, biases, scale factors and quantization of the network (network
// configuration). A value that does not fit its register fields is refused before anything is
// written, so it can never spill into a neighbouring field.
#include <array>
#include <span>

#include "package/morvel_package_internal.h"
#include "zelp7x/config/zelp7x_config_fields.h"
#include "zelp7x/load/zelp7x_package_handlers.h"
#include "zelp7x/zelp7x_registers.h"

using namespace zelp7x;
using namespace zelp7x::pkg;

namespace {

// ---- Hardware configuration (tag 11) ----------------------------------------------------------

constexpr Field BIN{0, 9};
constexpr unsigned BINS_PER_WORD = 3;
constexpr uint32_t MAX_MEL_BINS = sizeof(morvel_hw_params_v2_t::mel_bins) / sizeof(uint32_t);

// dnnctl0 bits the package handlers own: bit 3 is set while a network configuration arrives and
// cleared by a hardware configuration, which also puts 0b100 in bits 5-7.
namespace dnnctl0_pkg {
constexpr Bit CONFIG_LOAD{3};
constexpr Field FEATURE_MODE{5, 3};
constexpr uint32_t FEATURE_MODE_HW_CONFIG = 0b100;
} // namespace dnnctl0_pkg

bool hw_config_fits(const morvel_hw_params_v2_t &hw) {
    if (hw.mel_bins_length > MAX_MEL_BINS) return false;
    if (!freqctl::FRAME_STEP.fits(hw.frame_step) || !freqctl::FRAME_SIZE.fits(hw.num_filter_banks))
        return false;
    // Bins go three to a word, so the last word may take up to two bins past the length.
    const uint32_t used = (hw.mel_bins_length + BINS_PER_WORD - 1) / BINS_PER_WORD * BINS_PER_WORD;
    for (uint32_t i = 0; i < used; ++i)
        if (!BIN.fits(hw.mel_bins[i])) return false;
    return true;
}

int write_bins(morvel_zelp_device_s *zelp, const morvel_hw_params_v2_t &hw) {
    for (uint32_t i = 0; i < hw.mel_bins_length; i += BINS_PER_WORD) {
        const uint32_t word = hw.mel_bins[i] | hw.mel_bins[i + 1] << BIN.width |
                              hw.mel_bins[i + 2] << (2 * BIN.width);
        const int s = write_word(zelp, ZELP7X_MCU_FILTER_BIN0 + 4 * (i / BINS_PER_WORD), word);
        if (s != 0) return s;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

int apply_hw_config(morvel_zelp_device_s *zelp, const morvel_hw_params_v2_t &hw) {
    uint32_t f = 0, d = 0;
    int s = read_word(zelp, ZELP7X_MCU_FREQCTL, f);
    if (s == 0) s = read_word(zelp, ZELP7X_MCU_DNNCTL0, d);
    if (s != 0) return s;
    f = freqctl::FRAME_SIZE.put(freqctl::FRAME_STEP.put(RUN.put(f, true), hw.frame_step),
                                hw.num_filter_banks);
    d = dnnctl0_pkg::CONFIG_LOAD.put(d, false);
    d = dnnctl0_pkg::FEATURE_MODE.put(d, dnnctl0_pkg::FEATURE_MODE_HW_CONFIG);
    d = dnnctl0::FREQ_FRAME_SIZE.put(d, hw.num_filter_banks);
    s = write_word(zelp, ZELP7X_MCU_DNNCTL0, d);
    if (s == 0) s = write_bins(zelp, hw);
    if (s == 0) s = write_word(zelp, ZELP7X_MCU_DNNCTL5, 0);
    if (s == 0) s = write_word(zelp, ZELP7X_MCU_DNNCTL6, 0);
    if (s != 0) return s;
    morvel_zelp7x_device_s &z = record(zelp);
    z.classes = hw.num_activations_used;
    z.audio_frame_step = hw.frame_step;
    z.freq_frame_size = hw.num_filter_banks;
    s = write_word(zelp, ZELP7X_MCU_DNNCTL0, d);
    return s != 0 ? s : write_word(zelp, ZELP7X_MCU_FREQCTL, f);
}

// ---- Network configuration (tags 25 and 26) ---------------------------------------------------

constexpr unsigned LAYERS = 4;

using NetworkConfig = morvel_pkg::fc_fields;

constexpr Field NODES{0, 11};
constexpr Field BIASES{0, 3};
constexpr Field OUT_SHIFT{0, 3};
constexpr Field QUANTIZATION{0, 1};

constexpr Field at(Field f, unsigned shift) {
    return {shift, f.width};
}

// Where each layer's node count (stored minus one, written plus one) and bias count go.
struct LayerFields {
    uint32_t nodes_register;
    Field nodes;
    uint32_t biases_register;
    Field biases;
};

constexpr std::array<LayerFields, LAYERS> LAYER_FIELDS{{
    {ZELP7X_MCU_DNNCTL1, at(NODES, 19), ZELP7X_MCU_DNNCTL2, at(BIASES, 0)},
    {ZELP7X_MCU_DNNCTL2, at(NODES, 3), ZELP7X_MCU_DNNCTL2, at(BIASES, 14)},
    {ZELP7X_MCU_DNNCTL2, at(NODES, 17), ZELP7X_MCU_DNNCTL2, at(BIASES, 28)},
    {ZELP7X_MCU_DNNCTL3, at(NODES, 0), ZELP7X_MCU_DNNCTL3, at(BIASES, 11)},
}};

constexpr unsigned QUANTIZATION_SHIFT = 12;

bool network_config_fits(const NetworkConfig &n) {
    for (unsigned i = 0; i < LAYERS; ++i)
        if (!BIASES.fits(n.num_biases[i]) || !OUT_SHIFT.fits(n.out_shift[i]) ||
            !QUANTIZATION.fits(n.quantization_scheme[i]))
            return false;
    return true;
}

int configure_network_inputs(morvel_zelp_device_s *zelp, const NetworkConfig &n) {
    morvel_zelp7x_config_s c{};
    c.set = MORVEL_ZELP7X_CONFIG_SET_DNN_FRAME_SIZE |
            MORVEL_ZELP7X_CONFIG_SET_DNN_MINIMUM_THRESHOLD |
            MORVEL_ZELP7X_CONFIG_SET_DNN_RUN_THRESHOLD | MORVEL_ZELP7X_CONFIG_SET_DNN_INPUTS |
            MORVEL_ZELP7X_CONFIG_SET_DNN_STATIC_INPUTS;
    c.dnn_frame_size = n.dnn_frame_size;
    c.dnn_minimum_threshold = n.input_clipping_threshold;
    c.dnn_run_threshold = n.dnn_run_threshold;
    c.dnn_inputs = n.num_features;
    c.dnn_static_inputs = n.num_static_features;
    return morvel_zelp7x_config_no_sync(zelp, &c);
}

// dnnctl1, dnnctl2 and dnnctl3 in turn, each read, given its layer fields and written back.
int write_layers(morvel_zelp_device_s *zelp, const NetworkConfig &n) {
    for (uint32_t reg : {ZELP7X_MCU_DNNCTL1, ZELP7X_MCU_DNNCTL2, ZELP7X_MCU_DNNCTL3}) {
        const int s = modify_word(zelp, reg, [&](uint32_t v) {
            for (unsigned i = 0; i < LAYERS; ++i) {
                const LayerFields &l = LAYER_FIELDS[i];
                if (l.nodes_register == reg) v = l.nodes.put(v, n.num_nodes[i] + 1u);
                if (l.biases_register == reg) v = l.biases.put(v, n.num_biases[i]);
            }
            return v;
        });
        if (s != 0) return s;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

int write_quantization(morvel_zelp_device_s *zelp, const NetworkConfig &n) {
    uint32_t q = 0;
    int s = read_word(zelp, ZELP7X_MCU_DNNCTL8, q);
    if (s != 0) return s;
    uint32_t changed = q;
    for (unsigned i = 0; i < LAYERS; ++i) {
        changed = at(QUANTIZATION, QUANTIZATION_SHIFT + i).put(changed, n.quantization_scheme[i]);
        changed = at(OUT_SHIFT, OUT_SHIFT.width * i).put(changed, n.out_shift[i]);
    }
    return changed == q ? MORVEL_ZELP_ERROR_NONE : write_word(zelp, ZELP7X_MCU_DNNCTL8, changed);
}

int apply_network_config(morvel_zelp_device_s *zelp, const NetworkConfig &n) {
    if (!network_config_fits(n)) return MORVEL_ZELP_ERROR_PACKAGE;
    int s = configure_network_inputs(zelp, n);
    if (s == 0) s = write_layers(zelp, n);
    if (s == 0) s = write_word(zelp, ZELP7X_MCU_DNNCTL4, load_le32(n.scale_factor));
    if (s == 0) s = write_quantization(zelp, n);
    return s;
}

// The filter bank stops and the network restarts in configuration-load mode before the new
// shape arrives.
int pause_network(morvel_zelp_device_s *zelp) {
    int s = modify_word(zelp, ZELP7X_MCU_FREQCTL, [](uint32_t v) { return RUN.put(v, false); });
    uint32_t d = 0;
    if (s == 0) s = read_word(zelp, ZELP7X_MCU_DNNCTL0, d);
    for (uint32_t v : {RUN.put(d, false), RUN.put(d, true),
                       dnnctl0_pkg::CONFIG_LOAD.put(RUN.put(d, true), true)})
        if (s == 0) s = write_word(zelp, ZELP7X_MCU_DNNCTL0, v);
    return s;
}

} // namespace

extern "C" {

int morvel_zelp7x_pkg_parse_hw_config_v2_tlv(morvel_zelp_device_s *zelp) {
    const Reader &p = reader(zelp);
    if (!complete(p)) return MORVEL_ZELP_ERROR_NONE;
    const morvel_hw_params_v2_t &hw = p.data.hw_params_v2;
    if (!hw_config_fits(hw)) return MORVEL_ZELP_ERROR_PACKAGE;
    return apply_hw_config(zelp, hw);
}

int morvel_zelp7x_pkg_parse_b0_nn_config_v2_v3_tlv(morvel_zelp_device_s *zelp, int aligned_value) {
    const Reader &p = reader(zelp);
    if (announced(p)) return pause_network(zelp);
    if (!piece_ready(p) || p.partially_read_length != FC_CONFIG_PARAMS_V2_SIZE)
        return MORVEL_ZELP_ERROR_NONE;
    return apply_network_config(zelp, morvel_pkg::fc_fields_of(p.data, aligned_value != 0));
}

} // extern "C"
