// Audio routing: which source feeds the neural network and which the tank (the sample buffer),
// the network's own control fields, and the pairs of network and tank inputs the chip can serve
// at once.
#include <array>
#include <optional>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_config.h"
#include "zelp7x/config/zelp7x_config_fields.h"
#include "zelp7x/config/frontend/zelp7x_frontend_common.h"

using namespace zelp7x;
using namespace zelp7x::frontend;

namespace {

using Config = morvel_zelp7x_config_s;
using State = morvel_zelp7x_config_state_s;

constexpr unsigned AUDIO_FRAME_SIZE = 512;

// How a network input is routed through smplctl.
struct DnnRoute {
    uint32_t source;
    int channel;
    uint32_t mode;
};

constexpr std::array<DnnRoute, DNN_INPUTS> DNN_ROUTES{{
    {smplctl::SOURCE_SPI, KEEP, smplctl::MODE_SPI_DIRECT}, // NONE
    {smplctl::SOURCE_PDM, 0, smplctl::MODE_NORMAL},        // PDM0
    {smplctl::SOURCE_PDM, 1, smplctl::MODE_NORMAL},        // PDM1
    {smplctl::SOURCE_PDM, 2, smplctl::MODE_NORMAL},        // PDM_SUM
    {smplctl::SOURCE_I2S, 0, smplctl::MODE_NORMAL},        // I2S_LEFT
    {smplctl::SOURCE_I2S, 1, smplctl::MODE_NORMAL},        // I2S_RIGHT
    {smplctl::SOURCE_I2S, 2, smplctl::MODE_NORMAL},        // I2S_SUM
    {smplctl::SOURCE_I2S, 0, smplctl::MODE_NORMAL},        // I2S_MONO
    {smplctl::SOURCE_I2S, KEEP, smplctl::MODE_I2S_DIRECT}, // I2S_DIRECT
    {smplctl::SOURCE_SPI, KEEP, smplctl::MODE_NORMAL},     // SPI
    {smplctl::SOURCE_SPI, KEEP, smplctl::MODE_SPI_DIRECT}, // SPI_DIRECT
}};

// Tank channel select by tank input.
constexpr std::array<int, TANK_INPUTS - 1> TANK_CHANNEL{{
    KEEP, 0, 1, 2, 3, 4, 5,
    6,             // NONE, PDM0, PDM1, PDM_SUM, PDM_BOTH, PDM0_RAW, PDM1_RAW, PDM_BOTH_RAW
    0, 1, 0, 2, 3, // I2S_LEFT, I2S_RIGHT, I2S_MONO, I2S_SUM, I2S_BOTH
    KEEP, KEEP,    // SPI, FILTER_BANK
}};

// The tank input that records the same source as a network input.
constexpr std::array<unsigned, DNN_INPUTS> TANK_FOR_DNN{{
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_NONE,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM0,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM1,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM_SUM,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_LEFT,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_RIGHT,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_SUM,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_MONO,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_MONO,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_SPI,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_SPI,
}};

constexpr uint16_t dnn_bit(morvel_zelp7x_config_dnn_input_e d) {
    return static_cast<uint16_t>(1u << d);
}
constexpr uint16_t ANY_DNN = (1u << DNN_INPUTS) - 1;
constexpr uint16_t PDM_DNN =
    dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE) | dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM0) |
    dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM1) | dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM_SUM);
constexpr uint16_t I2S_DNN = dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE) |
                             dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_LEFT) |
                             dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_RIGHT) |
                             dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_SUM);
constexpr uint16_t MONO_DNN = dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE) |
                              dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_MONO) |
                              dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_DIRECT);
constexpr uint16_t SPI_DNN = dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE) |
                             dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_SPI) |
                             dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_SPI_DIRECT);
constexpr uint16_t DIRECT_DNN = dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_DIRECT) |
                                dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_SPI_DIRECT);

// Network inputs the chip can serve together with each tank input.
constexpr std::array<uint16_t, TANK_INPUTS> ALLOWED_DNN_FOR_TANK{{
    ANY_DNN,                                                       // NONE
    PDM_DNN, PDM_DNN, PDM_DNN, PDM_DNN, PDM_DNN, PDM_DNN, PDM_DNN, // PDM0..PDM_BOTH_RAW
    I2S_DNN, I2S_DNN,                                              // I2S_LEFT, I2S_RIGHT
    MONO_DNN,                                                      // I2S_MONO
    I2S_DNN, I2S_DNN,                                              // I2S_SUM, I2S_BOTH
    SPI_DNN,                                                       // SPI
    static_cast<uint16_t>(ANY_DNN & ~DIRECT_DNN &
                          ~dnn_bit(MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE)), // FILTER_BANK
    static_cast<uint16_t>(ANY_DNN & ~DIRECT_DNN),                         // DNN
}};

// Network input decoded from the PDM channel select.
constexpr std::array<unsigned, 4> PDM_DNN_BY_CHANNEL{
    MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM0, MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM1,
    MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM_SUM, MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE};

// Tank input decoded from the tank channel select, for a PDM and for an I2S source.
struct TankByChannel {
    unsigned pdm;
    unsigned i2s;
};
constexpr std::array<TankByChannel, 8> TANK_BY_CHANNEL{{
    {MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM0, MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_LEFT},
    {MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM1, MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_RIGHT},
    {MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM_SUM, MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_SUM},
    {MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM_BOTH, MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_BOTH},
    {MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM0_RAW, MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM0_RAW},
    {MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM1_RAW, MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM1_RAW},
    {MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM_BOTH_RAW, MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM_BOTH_RAW},
    {MORVEL_ZELP7X_CONFIG_TANK_INPUT_NONE, MORVEL_ZELP7X_CONFIG_TANK_INPUT_NONE},
}};

bool flagged(const Config &c, unsigned flag) {
    return (c.set & flag) != 0;
}

int put_flagged(const Config &c, unsigned flag, uint32_t &word, Field field, uint32_t value) {
    return flagged(c, flag) ? put_checked(word, field, value) : MORVEL_ZELP_ERROR_NONE;
}

bool i2s_mono(const State &st) {
    return i2sctl::MONO.get(st.i2sctl);
}

unsigned decode_i2s_dnn(const State &st) {
    const uint32_t mode = smplctl::MODE.get(st.smplctl);
    if (mode == smplctl::MODE_I2S_DIRECT) return MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_DIRECT;
    if (mode != smplctl::MODE_NORMAL) return MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE;
    switch (smplctl::DNN_CHANNEL.get(st.smplctl)) {
    case 0:
        return i2s_mono(st) ? MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_MONO
                            : MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_LEFT;
    case 1:
        return MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_RIGHT;
    case 2:
        return MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_SUM;
    default:
        return MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE;
    }
}

unsigned decode_spi_dnn(const State &st) {
    switch (smplctl::MODE.get(st.smplctl)) {
    case smplctl::MODE_NORMAL:
        return MORVEL_ZELP7X_CONFIG_DNN_INPUT_SPI;
    case smplctl::MODE_SPI_DIRECT:
        return MORVEL_ZELP7X_CONFIG_DNN_INPUT_SPI_DIRECT;
    default:
        return MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE;
    }
}

unsigned decode_dnn(const State &st) {
    if (!dnnctl0::INPUT_A.get(st.dnnctl0)) return MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE;
    switch (smplctl::SOURCE.get(st.smplctl)) {
    case smplctl::SOURCE_PDM:
        return PDM_DNN_BY_CHANNEL[smplctl::DNN_CHANNEL.get(st.smplctl)];
    case smplctl::SOURCE_I2S:
        return decode_i2s_dnn(st);
    case smplctl::SOURCE_SPI:
        return decode_spi_dnn(st);
    default:
        return MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE;
    }
}

unsigned decode_tank(const State &st) {
    if (!tank::ENABLE.get(st.tank)) return MORVEL_ZELP7X_CONFIG_TANK_INPUT_NONE;
    if (tank::FILTER_BANK.get(st.tank)) return MORVEL_ZELP7X_CONFIG_TANK_INPUT_FILTER_BANK;
    const uint32_t source = smplctl::SOURCE.get(st.smplctl);
    if (source == smplctl::SOURCE_SPI) return MORVEL_ZELP7X_CONFIG_TANK_INPUT_SPI;
    const uint32_t channel = smplctl::TANK_CHANNEL.get(st.smplctl);
    if (source != smplctl::SOURCE_I2S) return TANK_BY_CHANNEL[channel].pdm;
    if (channel == 0 && i2s_mono(st)) return MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_MONO;
    return TANK_BY_CHANNEL[channel].i2s;
}

// The network's own fields; each refuses a value that does not fit.
int set_dnn_fields(const Config &c, uint32_t &ctl0, uint32_t &ctl1, uint32_t &ctl3,
                   uint32_t &ctl7) {
    int s = put_flagged(c, MORVEL_ZELP7X_CONFIG_SET_FREQ_FRAME_SIZE, ctl0, dnnctl0::FREQ_FRAME_SIZE,
                        c.freq_frame_size);
    if (s == 0 && flagged(c, MORVEL_ZELP7X_CONFIG_SET_DNN_SIGNED))
        ctl0 = dnnctl0::SIGNED.put(ctl0, c.dnn_signed != 0);
    if (s == 0)
        s = put_flagged(c, MORVEL_ZELP7X_CONFIG_SET_DNN_MINIMUM_THRESHOLD, ctl3,
                        dnnctl3::MIN_THRESHOLD, c.dnn_minimum_threshold);
    if (s == 0)
        s = put_flagged(c, MORVEL_ZELP7X_CONFIG_SET_DNN_RUN_THRESHOLD, ctl3, dnnctl3::RUN_THRESHOLD,
                        c.dnn_run_threshold);
    if (s == 0)
        s = put_flagged(c, MORVEL_ZELP7X_CONFIG_SET_DNN_FRAME_SIZE, ctl7, dnnctl7::FRAME_SIZE,
                        c.dnn_frame_size);
    if (s == 0)
        s = put_flagged(c, MORVEL_ZELP7X_CONFIG_SET_DNN_INPUTS, ctl1, dnnctl1::INPUTS,
                        c.dnn_inputs);
    if (s == 0)
        s = put_flagged(c, MORVEL_ZELP7X_CONFIG_SET_DNN_STATIC_INPUTS, ctl7, dnnctl7::STATIC_INPUTS,
                        c.dnn_static_inputs);
    if (s == 0)
        s = put_flagged(c, MORVEL_ZELP7X_CONFIG_SET_DNN_OUTPUTS, ctl7, dnnctl7::OUTPUTS,
                        c.dnn_outputs);
    return s;
}

uint32_t route_dnn(unsigned dnn_input, uint32_t smpl) {
    const DnnRoute &r = DNN_ROUTES[dnn_input];
    smpl = smplctl::SOURCE.put(smpl, r.source);
    if (r.channel != KEEP) smpl = smplctl::DNN_CHANNEL.put(smpl, static_cast<uint32_t>(r.channel));
    return smplctl::MODE.put(smpl, r.mode);
}

int set_tank_format(const Config &c, const State &st, uint32_t &tank_word, uint32_t &mark) {
    if (flagged(c, MORVEL_ZELP7X_CONFIG_SET_TANK_BITS)) {
        if (c.tank_bits != 8 && c.tank_bits != 16) return MORVEL_ZELP_ERROR_ARG;
        tank_word = tank::BITS8.put(tank_word, c.tank_bits == 8);
    }
    if (flagged(c, MORVEL_ZELP7X_CONFIG_SET_TANK_SIZE)) {
        if (c.tank_size > st.tank_max_size) return MORVEL_ZELP_ERROR_ARG;
        const int s = put_checked(tank_word, tank::SIZE, c.tank_size);
        if (s != 0) return s;
    }
    if (flagged(c, MORVEL_ZELP7X_CONFIG_SET_WATER_MARK_ON))
        mark = smplmark::WATER_MARK_ON.put(mark | smplmark::WATER_MARK_LEVEL, c.water_mark_on != 0);
    return MORVEL_ZELP_ERROR_NONE;
}

// Routes the tank; returns the tank input actually recorded ("same as the network" resolved).
std::optional<unsigned> route_tank(const Config &c, const State &st, uint32_t &tank_word,
                                   uint32_t &smpl) {
    unsigned input = c.tank_input;
    if (input == MORVEL_ZELP7X_CONFIG_TANK_INPUT_DNN && st.dnn_input < DNN_INPUTS)
        input = TANK_FOR_DNN[st.dnn_input];
    if (morvel_zelp7x_config_check_tank(st.dnn_input, input) != 0) return std::nullopt;

    tank_word =
        tank::FILTER_BANK.put(tank_word, input == MORVEL_ZELP7X_CONFIG_TANK_INPUT_FILTER_BANK);
    const int channel = TANK_CHANNEL[input];
    if (channel != KEEP) smpl = smplctl::TANK_CHANNEL.put(smpl, static_cast<uint32_t>(channel));
    const bool enabled = input != MORVEL_ZELP7X_CONFIG_TANK_INPUT_NONE;
    tank_word = tank::ENABLE.put(tank_word, enabled);
    // A tank that starts recording needs a size; an unsized one gets the default.
    if (!flagged(c, MORVEL_ZELP7X_CONFIG_SET_TANK_SIZE) && enabled &&
        tank::SIZE.get(tank_word) == 0)
        tank_word = tank::SIZE.put(tank_word, MORVEL_ZELP7X_DEFAULT_TANK_SIZE);
    return input;
}

} // namespace

extern "C" {

int morvel_zelp7x_config_set_dnn(morvel_zelp7x_config_s *c, morvel_zelp7x_config_state_s *st) {
    uint32_t ctl0 = st->dnnctl0, ctl1 = st->dnnctl1, ctl3 = st->dnnctl3, ctl7 = st->dnnctl7;
    int s = set_dnn_fields(*c, ctl0, ctl1, ctl3, ctl7);
    if (s != 0) return s;
    const bool set_input = flagged(*c, MORVEL_ZELP7X_CONFIG_SET_DNN_INPUT);
    if (set_input && c->dnn_input >= DNN_INPUTS) return MORVEL_ZELP_ERROR_ARG;

    st->dnnctl0 = ctl0;
    st->dnnctl1 = ctl1;
    st->dnnctl3 = ctl3;
    st->dnnctl7 = ctl7;
    if (!set_input) {
        morvel_zelp7x_config_get_dnn(st, nullptr);
        return MORVEL_ZELP_ERROR_NONE;
    }
    const bool enabled = c->dnn_input != MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE;
    st->dnnctl0 = dnnctl0::INPUT_B.put(dnnctl0::INPUT_A.put(st->dnnctl0, enabled), enabled);
    st->smplctl = route_dnn(c->dnn_input, st->smplctl);
    st->dnn_input = c->dnn_input;
    return MORVEL_ZELP_ERROR_NONE;
}

void morvel_zelp7x_config_get_dnn(morvel_zelp7x_config_state_s *st, morvel_zelp7x_config_s *c) {
    st->dnn_input = decode_dnn(*st);
    if (c == nullptr) return;
    c->dnn_frame_size = dnnctl7::FRAME_SIZE.get(st->dnnctl7);
    c->dnn_signed = dnnctl0::SIGNED.get(st->dnnctl0) ? 1 : 0;
    c->dnn_minimum_threshold = dnnctl3::MIN_THRESHOLD.get(st->dnnctl3);
    c->dnn_run_threshold = dnnctl3::RUN_THRESHOLD.get(st->dnnctl3);
    c->dnn_inputs = dnnctl1::INPUTS.get(st->dnnctl1);
    c->dnn_static_inputs = dnnctl7::STATIC_INPUTS.get(st->dnnctl7);
    c->dnn_outputs = dnnctl7::OUTPUTS.get(st->dnnctl7);
}

int morvel_zelp7x_config_check_tank(unsigned int dnn_input, unsigned int tank_input) {
    if (tank_input >= TANK_INPUTS || dnn_input >= DNN_INPUTS) return MORVEL_ZELP_ERROR_ARG;
    return (ALLOWED_DNN_FOR_TANK[tank_input] >> dnn_input & 1u) != 0 ? MORVEL_ZELP_ERROR_NONE
                                                                     : MORVEL_ZELP_ERROR_ARG;
}

int morvel_zelp7x_config_set_tank(morvel_zelp7x_config_s *c, morvel_zelp7x_config_state_s *st) {
    uint32_t tank_word = st->tank, mark = st->smplmark, smpl = st->smplctl;
    int s = set_tank_format(*c, *st, tank_word, mark);
    if (s != 0) return s;
    if (!flagged(*c, MORVEL_ZELP7X_CONFIG_SET_TANK_INPUT)) {
        st->tank = tank_word;
        st->smplmark = mark;
        morvel_zelp7x_config_get_tank(st, nullptr);
        return MORVEL_ZELP_ERROR_NONE;
    }
    const std::optional<unsigned> input = route_tank(*c, *st, tank_word, smpl);
    if (!input) return MORVEL_ZELP_ERROR_ARG;
    st->smplctl = smpl;
    st->smplmark = mark;
    st->tank = tank_word;
    st->tank_input = *input;
    return MORVEL_ZELP_ERROR_NONE;
}

void morvel_zelp7x_config_get_tank(morvel_zelp7x_config_state_s *st, morvel_zelp7x_config_s *c) {
    st->tank_input = decode_tank(*st);
    if (c == nullptr) return;
    c->audio_frame_size = AUDIO_FRAME_SIZE;
    uint32_t used = smplsts::BUFFER_USED.get(st->smplsts);
    // SPI input leaves the fill count at 0; report the frame less one step instead.
    if (used == 0 && (st->tank_input == MORVEL_ZELP7X_CONFIG_TANK_INPUT_SPI ||
                      st->dnn_input == MORVEL_ZELP7X_CONFIG_DNN_INPUT_SPI))
        used = AUDIO_FRAME_SIZE - freqctl::FRAME_STEP.get(st->freqctl);
    c->audio_buffer_used = used;
    c->water_mark_on = smplmark::WATER_MARK_ON.get(st->smplmark) ? 1 : 0;
    c->tank_bits = tank::BITS8.get(st->tank) ? 8 : 16;
    c->tank_size = tank::SIZE.get(st->tank);
    c->tank_max_size = st->tank_max_size;
}

} // extern "C"
