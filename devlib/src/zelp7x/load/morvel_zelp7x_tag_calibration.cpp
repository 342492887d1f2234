// Board calibration from a package: the board's clocks, microphone settings, equalizer and, from
// version 3 on, gain control and noise settings, applied through one configuration call once the
// whole value is in.
#include <algorithm>

#include "zelp7x/load/zelp7x_package_handlers.h"

using namespace zelp7x::pkg;

namespace {

using Config = morvel_zelp7x_config_s;

constexpr unsigned CALIBRATED =
    MORVEL_ZELP7X_CONFIG_SET_DNN_INPUT | MORVEL_ZELP7X_CONFIG_SET_INPUT_CLOCK_RATE |
    MORVEL_ZELP7X_CONFIG_SET_PDM_CLOCK_RATE | MORVEL_ZELP7X_CONFIG_SET_PDM_CLOCK_ZELP |
    MORVEL_ZELP7X_CONFIG_SET_PDM_IN_SHIFT | MORVEL_ZELP7X_CONFIG_SET_PDM_OUT_SHIFT |
    MORVEL_ZELP7X_CONFIG_SET_PDM_DC_OFFSET | MORVEL_ZELP7X_CONFIG_SET_PREEMPHASIS_EXPONENT |
    MORVEL_ZELP7X_CONFIG_SET_POWER_OFFSET | MORVEL_ZELP7X_CONFIG_SET_POWER_SCALE_EXPONENT;
static_assert(CALIBRATED == 0x343E50);

// Layout 1 is packed, layouts 2 to 4 share their first 72 bytes; the field names are the same.
template <typename Value>
int fill_common(const Value &v, Config &c) {
    if (v.dnn_input > MORVEL_ZELP7X_CONFIG_DNN_INPUT_MAX) return MORVEL_ZELP_ERROR_PACKAGE;
    c.dnn_input = v.dnn_input;
    c.input_clock_rate = v.input_clock_rate;
    c.pdm_clock_rate = v.pdm_clock_rate;
    c.pdm_clock_zelp = v.pdm_clock_zelp;
    c.power_offset = v.power_offset;
    c.preemphasis_exponent = v.preemphasis_exponent;
    c.power_scale_exponent = v.power_scale_exponent;
    c.agc_on = v.agc;
    for (int i = 0; i < 2; ++i) {
        c.pdm_dc_offset[i] = v.pdm_dc_offset[i];
        c.pdm_in_shift[i] = v.cal_pdm_in_shift[i];
        c.pdm_out_shift[i] = v.cal_pdm_out_shift[i];
    }
    std::ranges::copy(v.equalizer, c.filter_eq);
    c.set = CALIBRATED;
    c.set1 = MORVEL_ZELP7X_CONFIG_SET1_FILTER_EQ;
    return MORVEL_ZELP_ERROR_NONE;
}

// A value still arriving configures nothing: the call carries no flags.
template <typename Fill>
int calibrate(morvel_zelp_device_s *zelp, Fill fill) {
    Config c{};
    if (complete(reader(zelp))) {
        const int s = fill(zelp, &c);
        if (s != 0) return s;
    }
    return morvel_zelp7x_config_no_sync(zelp, &c);
}

} // namespace

extern "C" {

int morvel_zelp7x_pkg_core_parse_board_calibration_params_tlv(morvel_zelp_device_s *zelp,
                                                              morvel_zelp7x_config_s *zelp7x_config,
                                                              int padded) {
    const morvel_pkg_parser_data_t &d = reader(zelp).data;
    return padded ? fill_common(d.board_params_v2, *zelp7x_config)
                  : fill_common(d.board_params_v1, *zelp7x_config);
}

int morvel_zelp7x_core_pkg_parse_board_calibration_params_tlv(morvel_zelp_device_s *zelp,
                                                              morvel_zelp7x_config_s *c) {
    const int s = morvel_zelp7x_pkg_core_parse_board_calibration_params_tlv(zelp, c, 1);
    const morvel_board_params_v3_t &v = reader(zelp).data.board_params_v3;
    if (s != 0 || v.agc == 0) return s;
    c->set |= MORVEL_ZELP7X_CONFIG_SET_AGC_ON;
    // A 72-byte version 3 value carries no gain control levels; the data area behind it holds
    // whatever an earlier value left there.
    if (reader(zelp).length < BOARD_PARAMS_V3_SIZE) return s;
    c->agc_nom_speech_quiet = v.agc_ref_lvl;
    c->agc_max_adj[0] = v.agc_max_adj[0];
    c->agc_max_adj[1] = v.agc_max_adj[1];
    c->set1 |=
        MORVEL_ZELP7X_CONFIG_SET1_AGC_NOM_SPEECH_TARGET | MORVEL_ZELP7X_CONFIG_SET1_AGC_MAX_ADJ;
    return s;
}

int morvel_zelp7x_pkg_parse_board_calibration_params_v1_v2_tlv(morvel_zelp_device_s *zelp,
                                                               int padded) {
    return calibrate(zelp, [padded](morvel_zelp_device_s *z, Config *c) {
        return morvel_zelp7x_pkg_core_parse_board_calibration_params_tlv(z, c, padded);
    });
}

int morvel_zelp7x_pkg_parse_board_calibration_params_v3_tlv(morvel_zelp_device_s *zelp) {
    return calibrate(zelp, morvel_zelp7x_core_pkg_parse_board_calibration_params_tlv);
}

int morvel_zelp7x_pkg_parse_board_calibration_params_v4_tlv(morvel_zelp_device_s *zelp) {
    return calibrate(zelp, [](morvel_zelp_device_s *z, Config *c) {
        const int s = morvel_zelp7x_core_pkg_parse_board_calibration_params_tlv(z, c);
        if (s != 0) return s;
        const morvel_board_params_v4_t &v = reader(z).data.board_params_v4;
        c->noise_threshold = v.noise_threshold;
        c->noise_thresh_win = v.noise_thresh_win;
        c->set1 |= MORVEL_ZELP7X_CONFIG_SET1_NOISE_THRESHOLD |
                   MORVEL_ZELP7X_CONFIG_SET1_NOISE_THRESHOLD_WIN;
        return s;
    });
}

} // extern "C"
