// The input dispatcher, which runs the audio input steps in dependency order, with the two small
// steps of its own: filter-bank control and the SPI sample word size.
#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_config.h"
#include "zelp7x/config/zelp7x_config_fields.h"
#include "zelp7x/zelp7x_internal.h"

using namespace zelp7x;

namespace {

using Config = morvel_zelp7x_config_s;
using State = morvel_zelp7x_config_state_s;

constexpr uint32_t MAX_PREEMPHASIS = 15;
constexpr uint32_t MAX_POWER_OFFSET = 127;
constexpr uint32_t MAX_POWER_SCALE = 3;

// The network reads the filter bank unless it takes samples directly; without a network input
// the filter bank only runs when the tank records it.
bool filter_bank_used(const State &st) {
    switch (st.dnn_input) {
    case MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_DIRECT:
    case MORVEL_ZELP7X_CONFIG_DNN_INPUT_SPI_DIRECT:
        return false;
    case MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE:
        return st.tank_input == MORVEL_ZELP7X_CONFIG_TANK_INPUT_FILTER_BANK;
    default:
        return true;
    }
}

int put_flagged(const Config &c, unsigned flag, uint32_t &word, Field field, uint32_t value,
                uint32_t max) {
    if ((c.set & flag) == 0) return MORVEL_ZELP_ERROR_NONE;
    if (value > max) return MORVEL_ZELP_ERROR_ARG;
    return put_checked(word, field, value);
}

} // namespace

extern "C" {

int morvel_zelp7x_config_set_input(morvel_zelp7x_config_s *c, morvel_zelp7x_config_state_s *st) {
    using SetStep = int (*)(Config *, State *);
    constexpr SetStep steps[] = {morvel_zelp7x_config_set_dnn,  morvel_zelp7x_config_set_tank,
                                 morvel_zelp7x_config_set_freq, morvel_zelp7x_config_set_pdm,
                                 morvel_zelp7x_config_set_i2s,  morvel_zelp7x_config_set_spi};
    for (SetStep step : steps) {
        const int s = step(c, st);
        if (s != 0) return s;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

void morvel_zelp7x_config_get_input(morvel_zelp7x_config_state_s *st, morvel_zelp7x_config_s *c,
                                    morvel_zelp7x_device_s *dev) {
    Config scratch{};
    Config &r = c != nullptr ? *c : scratch;
    morvel_zelp7x_config_get_dnn(st, &r);
    r.dnn_input = st->dnn_input;
    morvel_zelp7x_config_get_tank(st, &r);
    r.tank_input = st->tank_input;
    morvel_zelp7x_config_get_freq(st, &r);
    morvel_zelp7x_config_get_pdm(st, &r);
    morvel_zelp7x_config_get_i2s(st, &r);
    morvel_zelp7x_config_get_spi(st, &r);
    if (dev == nullptr) return;
    dev->dnn_input = r.dnn_input;
    dev->tank_bits = r.tank_bits;
    dev->tank_input = r.tank_input;
    dev->tank_size = r.tank_size;
    dev->audio_frame_size = r.audio_frame_size;
    dev->audio_frame_step = r.audio_frame_step;
    dev->freq_frame_size = r.freq_frame_size;
    dev->dnn_frame_size = r.dnn_frame_size;
}

int morvel_zelp7x_config_set_freq(morvel_zelp7x_config_s *c, morvel_zelp7x_config_state_s *st) {
    uint32_t w = st->freqctl;
    if ((c->set & MORVEL_ZELP7X_CONFIG_SET_DNN_INPUT) != 0) {
        const bool used = filter_bank_used(*st);
        w = freqctl::FILTER_BANK_B.put(freqctl::FILTER_BANK_A.put(w, used), used);
    }
    int s = put_flagged(*c, MORVEL_ZELP7X_CONFIG_SET_PREEMPHASIS_EXPONENT, w, freqctl::PREEMPHASIS,
                        c->preemphasis_exponent, MAX_PREEMPHASIS);
    if (s == 0)
        s = put_flagged(*c, MORVEL_ZELP7X_CONFIG_SET_POWER_OFFSET, w, freqctl::POWER_OFFSET,
                        c->power_offset, MAX_POWER_OFFSET);
    if (s == 0)
        s = put_flagged(*c, MORVEL_ZELP7X_CONFIG_SET_POWER_SCALE_EXPONENT, w, freqctl::POWER_SCALE,
                        c->power_scale_exponent, MAX_POWER_SCALE);
    if (s == 0)
        s = put_flagged(*c, MORVEL_ZELP7X_CONFIG_SET_FREQ_FRAME_SIZE, w, freqctl::FRAME_SIZE,
                        c->freq_frame_size, MORVEL_ZELP7X_MAX_FREQUENCY_BINS);
    if (s == 0) st->freqctl = w;
    return s;
}

void morvel_zelp7x_config_get_freq(morvel_zelp7x_config_state_s *st, morvel_zelp7x_config_s *c) {
    c->preemphasis_exponent = freqctl::PREEMPHASIS.get(st->freqctl);
    c->power_offset = freqctl::POWER_OFFSET.get(st->freqctl);
    c->power_scale_exponent = freqctl::POWER_SCALE.get(st->freqctl);
    c->audio_frame_step = freqctl::FRAME_STEP.get(st->freqctl);
    c->freq_frame_size = freqctl::FRAME_SIZE.get(st->freqctl);
}

int morvel_zelp7x_config_set_spi(morvel_zelp7x_config_s *c, morvel_zelp7x_config_state_s *st) {
    if ((c->set & MORVEL_ZELP7X_CONFIG_SET_SPI_WORD_BITS) == 0) return MORVEL_ZELP_ERROR_NONE;
    if (c->spi_word_bits != 8 && c->spi_word_bits != 16) return MORVEL_ZELP_ERROR_ARG;
    st->smplctl = smplctl::SPI_8BIT.put(st->smplctl, c->spi_word_bits == 8);
    return MORVEL_ZELP_ERROR_NONE;
}

void morvel_zelp7x_config_get_spi(morvel_zelp7x_config_state_s *st, morvel_zelp7x_config_s *c) {
    if (c == nullptr) return;
    c->spi_word_bits = smplctl::SPI_8BIT.get(st->smplctl) ? 8 : 16;
}

} // extern "C"
