// Settings the running firmware reads from its state block: automatic gain control, the match
// report rate and the noise threshold. Each needs firmware to be running.
#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_config.h"
#include "zelp7x/config/zelp7x_config_fields.h"

using namespace zelp7x;

namespace {

using Config = morvel_zelp7x_config_s;
using State = morvel_zelp7x_config_state_s;

constexpr Field ADJ_NEGATIVE{0, 4};

bool flagged(unsigned word, unsigned flag) {
    return (word & flag) != 0;
}

int set_agc(const Config &c, State &st) {
    if (flagged(c.set, MORVEL_ZELP7X_CONFIG_SET_AGC_ON))
        st.fw_enable = fw::ENABLE_AGC.put(st.fw_enable, c.agc_on != 0);
    if (flagged(c.set1, MORVEL_ZELP7X_CONFIG_SET1_AGC_MAX_ADJ)) {
        if (c.agc_max_adj[0] > fw::AGC_ADJ_MAX || c.agc_max_adj[1] > fw::AGC_ADJ_MAX)
            return MORVEL_ZELP_ERROR_ARG;
        // Byte 1 holds the largest raise, byte 0 the largest cut.
        st.fw_max_adjustment_gain = c.agc_max_adj[0] << 8 | c.agc_max_adj[1];
    }
    if (flagged(c.set1, MORVEL_ZELP7X_CONFIG_SET1_AGC_NOM_SPEECH_TARGET)) {
        if (c.agc_nom_speech_quiet > fw::NOM_SPEECH_MAX) return MORVEL_ZELP_ERROR_ARG;
        st.fw_nom_speech_quiet = c.agc_nom_speech_quiet << fw::NOM_SPEECH_SHIFT;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

int set_reporting(const Config &c, State &st) {
    if (flagged(c.set, MORVEL_ZELP7X_CONFIG_SET_MATCH_PER_FRAME_ON)) {
        if (c.match_per_frame_on > 1) return MORVEL_ZELP_ERROR_ARG;
        st.fw_match_per_frame = c.match_per_frame_on;
    }
    if (flagged(c.set1, MORVEL_ZELP7X_CONFIG_SET1_NOISE_THRESHOLD))
        st.noise_threshold = c.noise_threshold;
    if (flagged(c.set1, MORVEL_ZELP7X_CONFIG_SET1_NOISE_THRESHOLD_WIN))
        st.noise_thresh_win = c.noise_thresh_win;
    return MORVEL_ZELP_ERROR_NONE;
}

bool asks_for_firmware(const Config &c) {
    constexpr unsigned SET =
        MORVEL_ZELP7X_CONFIG_SET_AGC_ON | MORVEL_ZELP7X_CONFIG_SET_MATCH_PER_FRAME_ON;
    constexpr unsigned SET1 =
        MORVEL_ZELP7X_CONFIG_SET1_AGC_MAX_ADJ | MORVEL_ZELP7X_CONFIG_SET1_AGC_NOM_SPEECH_TARGET |
        MORVEL_ZELP7X_CONFIG_SET1_NOISE_THRESHOLD | MORVEL_ZELP7X_CONFIG_SET1_NOISE_THRESHOLD_WIN;
    return flagged(c.set, SET) || flagged(c.set1, SET1);
}

} // namespace

extern "C" {

int morvel_zelp7x_config_set_fw_state(morvel_zelp7x_config_s *c, morvel_zelp7x_config_state_s *st) {
    if (!asks_for_firmware(*c)) return MORVEL_ZELP_ERROR_NONE;
    if (st->fw_state_addr == 0) return MORVEL_ZELP_ERROR_UNINIT;
    const int s = set_agc(*c, *st);
    return s != 0 ? s : set_reporting(*c, *st);
}

void morvel_zelp7x_config_get_fw_state(morvel_zelp7x_config_state_s *st,
                                       morvel_zelp7x_config_s *c) {
    c->agc_on = fw::ENABLE_AGC.get(st->fw_enable) ? 1 : 0;
    c->agc_max_adj[0] = st->fw_max_adjustment_gain >> 8;
    c->agc_max_adj[1] = ADJ_NEGATIVE.get(st->fw_max_adjustment_gain);
    c->agc_nom_speech_quiet = st->fw_nom_speech_quiet >> fw::NOM_SPEECH_SHIFT;
    c->match_per_frame_on = st->fw_match_per_frame;
    c->noise_threshold = st->noise_threshold;
    c->noise_thresh_win = st->noise_thresh_win;
}

} // extern "C"
