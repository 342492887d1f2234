// The two audio ports: the PDM microphone channels (enables, clock, decimation, shifts, DC
// offset) and the I2S port (channel enables, mono and direct modes, frame layout). Both derive
// their enables from the network and tank inputs chosen by the routing step.
#include <array>
#include <cstdlib>
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

constexpr uint32_t MAX_DC_OFFSET = pdmcfg::DC_MAGNITUDE.max();

struct PdmUse {
    bool ch0 = false, ch1 = false, raw0 = false, raw1 = false;
};

constexpr std::array<PdmUse, DNN_INPUTS> PDM_USE_BY_DNN{{
    {}, {true, false}, {false, true}, {true, true}, // NONE, PDM0, PDM1, PDM_SUM
}};

constexpr std::array<PdmUse, TANK_INPUTS> PDM_USE_BY_TANK{{
    {},                          // NONE
    {true, false, false, false}, // PDM0
    {false, true, false, false}, // PDM1
    {true, true, false, false},  // PDM_SUM
    {true, true, false, false},  // PDM_BOTH
    {true, false, true, false},  // PDM0_RAW
    {false, true, false, true},  // PDM1_RAW
    {true, true, true, true},    // PDM_BOTH_RAW
}};

struct I2sUse {
    bool left, right, direct;
    int mono;
};

constexpr std::array<I2sUse, DNN_INPUTS> I2S_USE_BY_DNN{{
    {false, false, false, KEEP},
    {false, false, false, KEEP},
    {false, false, false, KEEP},
    {false, false, false, KEEP}, // NONE, PDM0, PDM1, PDM_SUM
    {true, false, false, 0},     // I2S_LEFT
    {false, true, false, 0},     // I2S_RIGHT
    {true, true, false, 0},      // I2S_SUM
    {true, false, false, 1},     // I2S_MONO
    {true, false, true, 1},      // I2S_DIRECT
    {false, false, false, KEEP},
    {false, false, false, KEEP}, // SPI, SPI_DIRECT
}};

constexpr std::array<I2sUse, TANK_INPUTS> I2S_USE_BY_TANK{{
    {false, false, false, KEEP},
    {false, false, false, KEEP},
    {false, false, false, KEEP},
    {false, false, false, KEEP},
    {false, false, false, KEEP},
    {false, false, false, KEEP},
    {false, false, false, KEEP},
    {false, false, false, KEEP}, // NONE .. PDM_BOTH_RAW
    {true, false, false, 0},     // I2S_LEFT
    {false, true, false, 0},     // I2S_RIGHT
    {true, false, false, 1},     // I2S_MONO
    {true, true, false, 0},      // I2S_SUM
    {true, true, false, 0},      // I2S_BOTH
    {false, false, false, KEEP},
    {false, false, false, KEEP},
    {false, false, false, KEEP},
}};

bool flagged(const Config &c, unsigned flag) {
    return (c.set & flag) != 0;
}

PdmUse pdm_use(const State &st) {
    const PdmUse none{};
    const PdmUse &d = st.dnn_input < DNN_INPUTS ? PDM_USE_BY_DNN[st.dnn_input] : none;
    const PdmUse &t = st.tank_input < TANK_INPUTS ? PDM_USE_BY_TANK[st.tank_input] : none;
    PdmUse u{d.ch0 || t.ch0, d.ch1 || t.ch1, t.raw0, t.raw1};
    u.ch1 = u.ch1 || u.ch0; // channel 0 never runs without channel 1
    return u;
}

// Sign and magnitude, so that every value in range reads back as written.
int put_dc_offset(uint32_t &cfg, int offset) {
    const uint64_t magnitude = static_cast<uint64_t>(std::llabs(static_cast<long long>(offset)));
    if (magnitude > MAX_DC_OFFSET) return MORVEL_ZELP_ERROR_ARG;
    cfg = pdmcfg::DC_MAGNITUDE.put(cfg, static_cast<uint32_t>(magnitude));
    cfg = pdmcfg::DC_NEGATIVE.put(cfg, offset < 0);
    return MORVEL_ZELP_ERROR_NONE;
}

int get_dc_offset(uint32_t cfg) {
    const int magnitude = static_cast<int>(pdmcfg::DC_MAGNITUDE.get(cfg));
    return pdmcfg::DC_NEGATIVE.get(cfg) ? -magnitude : magnitude;
}

int set_pdm_clock(const Config &c, const State &st, uint32_t &clk2) {
    if (flagged(c, MORVEL_ZELP7X_CONFIG_SET_PDM_CLOCK_ZELP)) {
        const bool out = c.pdm_clock_zelp != 0;
        clk2 = clkctl2::PDM_CLK_OUT2.put(clkctl2::PDM_CLK_OUT.put(clk2, out), out);
    }
    if (!flagged(c, MORVEL_ZELP7X_CONFIG_SET_PDM_CLOCK_RATE)) return MORVEL_ZELP_ERROR_NONE;
    if (c.pdm_clock_rate == 0) return MORVEL_ZELP_ERROR_ARG;
    if (st.core_clock_rate == 0) return MORVEL_ZELP_ERROR_FAIL;
    return put_checked(clk2, clkctl2::PDM_DIV, halve_up(st.core_clock_rate / c.pdm_clock_rate));
}

// Decimation down to the audio rate: from the clock the chip drives, or from the caller's rate
// when the microphone clock comes from outside. Unknown when the chip drives an unset divider.
std::optional<uint64_t> decimation(const Config &c, const State &st, uint32_t clk2) {
    uint64_t rate = 0;
    if (clkctl2::PDM_CLK_OUT.get(clk2)) {
        const uint32_t divisor = clkctl2::PDM_DIV.get(clk2);
        if (divisor == 0) return std::nullopt;
        rate = st.core_clock_rate / divisor;
    } else {
        rate = 2 * uint64_t{c.pdm_clock_rate};
    }
    return halve_up(rate / MORVEL_ZELP7X_AUDIO_FREQUENCY);
}

// Whether to write the decimation, and what. A value the caller's settings produce must fit;
// one derived only from the chip's registers is left alone when it cannot be written.
int plan_decimation(const Config &c, const State &st, uint32_t clk2,
                    std::optional<uint32_t> &value) {
    const bool by_rate = flagged(c, MORVEL_ZELP7X_CONFIG_SET_PDM_CLOCK_RATE);
    if (!clkctl2::PDM_CLK_OUT.get(clk2) && !by_rate) return MORVEL_ZELP_ERROR_NONE;
    const std::optional<uint64_t> d = decimation(c, st, clk2);
    if (d && pdmcfg::DECIMATION.fits(*d)) {
        value = static_cast<uint32_t>(*d);
        return MORVEL_ZELP_ERROR_NONE;
    }
    const bool asked = by_rate || flagged(c, MORVEL_ZELP7X_CONFIG_SET_PDM_CLOCK_ZELP);
    return asked ? MORVEL_ZELP_ERROR_ARG : MORVEL_ZELP_ERROR_NONE;
}

int set_pdm_channel(const Config &c, unsigned i, bool raw, std::optional<uint32_t> decim,
                    uint32_t &cfg) {
    cfg = pdmcfg::RAW.put(cfg, raw);
    int s = MORVEL_ZELP_ERROR_NONE;
    if (flagged(c, MORVEL_ZELP7X_CONFIG_SET_PDM_OUT_SHIFT))
        s = put_checked(cfg, pdmcfg::OUT_SHIFT, c.pdm_out_shift[i]);
    if (s == 0 && flagged(c, MORVEL_ZELP7X_CONFIG_SET_PDM_IN_SHIFT))
        s = put_checked(cfg, pdmcfg::IN_SHIFT, c.pdm_in_shift[i]);
    if (s == 0 && flagged(c, MORVEL_ZELP7X_CONFIG_SET_PDM_DC_OFFSET))
        s = put_dc_offset(cfg, c.pdm_dc_offset[i]);
    if (s == 0 && decim) cfg = pdmcfg::DECIMATION.put(cfg, *decim);
    return s;
}

bool i2s_field_ok(unsigned value) {
    return value - 1u <= i2sctl::FRAME_SIZE.max();
}

int set_i2s_layout(const Config &c, uint32_t &w) {
    if (flagged(c, MORVEL_ZELP7X_CONFIG_SET_I2S_FRAME_SIZE)) {
        if (!i2s_field_ok(c.i2s_frame_size)) return MORVEL_ZELP_ERROR_ARG;
        w = i2sctl::FRAME_SIZE.put(w, c.i2s_frame_size - 1);
    }
    if (flagged(c, MORVEL_ZELP7X_CONFIG_SET_I2S_SAMPLE_SIZE)) {
        if (!i2s_field_ok(c.i2s_sample_size)) return MORVEL_ZELP_ERROR_ARG;
        w = i2sctl::SAMPLE_SIZE.put(w, c.i2s_sample_size - 1);
    }
    if (flagged(c, MORVEL_ZELP7X_CONFIG_SET_I2S_SAMPLE_MSBIT))
        return put_checked(w, i2sctl::SAMPLE_MSBIT, c.i2s_sample_msbit);
    return MORVEL_ZELP_ERROR_NONE;
}

void apply_i2s_use(const I2sUse &u, bool &left, bool &right, bool &direct, bool &mono) {
    left = left || u.left;
    right = right || u.right;
    direct = direct || u.direct;
    if (u.mono != KEEP) mono = u.mono != 0;
}

} // namespace

extern "C" {

int morvel_zelp7x_config_set_pdm(morvel_zelp7x_config_s *c, morvel_zelp7x_config_state_s *st) {
    const PdmUse use = pdm_use(*st);
    uint32_t ctl = st->pdmctl;
    ctl = pdmctl::CH0.put(ctl, use.ch0);
    ctl = pdmctl::CH1.put(ctl, use.ch1);
    ctl = pdmctl::ANY.put(ctl, use.ch0 || use.ch1);

    uint32_t clk2 = st->clkctl2;
    int s = set_pdm_clock(*c, *st, clk2);
    std::optional<uint32_t> decim;
    if (s == 0) s = plan_decimation(*c, *st, clk2, decim);
    std::array<uint32_t, 2> cfg{st->pdmcfg[0], st->pdmcfg[1]};
    const std::array<bool, 2> raw{use.raw0, use.raw1};
    for (unsigned i = 0; s == 0 && i < 2; ++i) s = set_pdm_channel(*c, i, raw[i], decim, cfg[i]);
    if (s != 0) return s;
    st->pdmcfg[0] = cfg[0];
    st->pdmcfg[1] = cfg[1];
    st->pdmctl = ctl;
    st->clkctl2 = clk2;
    return MORVEL_ZELP_ERROR_NONE;
}

void morvel_zelp7x_config_get_pdm(morvel_zelp7x_config_state_s *st, morvel_zelp7x_config_s *c) {
    for (unsigned i = 0; i < 2; ++i) {
        c->pdm_out_shift[i] = pdmcfg::OUT_SHIFT.get(st->pdmcfg[i]);
        c->pdm_in_shift[i] = pdmcfg::IN_SHIFT.get(st->pdmcfg[i]);
        c->pdm_dc_offset[i] = get_dc_offset(st->pdmcfg[i]);
    }
    c->pdm_clock_rate = pdmcfg::DECIMATION.get(st->pdmcfg[0]) * MORVEL_ZELP7X_AUDIO_FREQUENCY;
    c->pdm_clock_zelp = clkctl2::PDM_CLK_OUT.get(st->clkctl2) ? 1 : 0;
}

int morvel_zelp7x_config_set_i2s(morvel_zelp7x_config_s *c, morvel_zelp7x_config_state_s *st) {
    bool mono = i2sctl::MONO.get(st->i2sctl), left = false, right = false, direct = false;
    if (st->dnn_input < DNN_INPUTS)
        apply_i2s_use(I2S_USE_BY_DNN[st->dnn_input], left, right, direct, mono);
    if (st->tank_input < TANK_INPUTS)
        apply_i2s_use(I2S_USE_BY_TANK[st->tank_input], left, right, direct, mono);
    uint32_t w = st->i2sctl;
    w = i2sctl::IN_USE.put(w, left || right);
    w = i2sctl::DIRECT.put(w, direct);
    w = i2sctl::MONO.put(w, mono);
    w = i2sctl::RIGHT.put(w, right);
    w = i2sctl::LEFT.put(w, left);
    const int s = set_i2s_layout(*c, w);
    if (s == 0) st->i2sctl = w;
    return s;
}

void morvel_zelp7x_config_get_i2s(morvel_zelp7x_config_state_s *st, morvel_zelp7x_config_s *c) {
    c->i2s_frame_size = i2sctl::FRAME_SIZE.get(st->i2sctl) + 1;
    c->i2s_sample_size = i2sctl::SAMPLE_SIZE.get(st->i2sctl) + 1;
    c->i2s_sample_msbit = i2sctl::SAMPLE_MSBIT.get(st->i2sctl);
}

} // extern "C"
