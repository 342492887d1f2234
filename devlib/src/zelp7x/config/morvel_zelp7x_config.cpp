// The configuration call: read the chip's configuration into a mirror, let each area's step edit
// it, write back only what changed (pausing the pipeline around changes that need it), and report
// the configuration now in force.
#include "morvel_devlib/morvel_zelp7x_config.h"

#include <array>

#include "morvel_devlib/morvel_zelp.h"
#include "zelp7x/config/zelp7x_config_bus.h"
#include "zelp7x/config/zelp7x_config_fields.h"
#include "zelp7x/config/zelp7x_config_mirror.h"
#include "zelp7x/config/zelp7x_config_steps.h"
#include "zelp7x/zelp7x_registers.h"

using namespace zelp7x;

namespace {

using Config = morvel_zelp7x_config_s;
using Step = int (*)(morvel_zelp_device_s *, Config *, State *);

constexpr uint32_t SET_RESERVED = 0x80000000u;
// Clears every pending interrupt cause but the two mailbox causes, which belong to the firmware
// exchange and must survive a reconfiguration.
constexpr uint8_t INTSTS_CLEAR_BUT_MAILBOXES = 0x79;

// The per-area steps in the order they build on each other: the clock first (PDM needs the core
// clock), then the inputs, firmware words, memory power, and the two steps that write the chip.
constexpr std::array<Step, 6> STEPS{
    [](morvel_zelp_device_s *, Config *c, State *st) {
        return morvel_zelp7x_config_set_clock(c, st);
    },
    [](morvel_zelp_device_s *, Config *c, State *st) {
        return morvel_zelp7x_config_set_input(c, st);
    },
    [](morvel_zelp_device_s *, Config *c, State *st) {
        return morvel_zelp7x_config_set_fw_state(c, st);
    },
    [](morvel_zelp_device_s *, Config *c, State *st) {
        return morvel_zelp7x_config_set_memory_power(c, st);
    },
    [](morvel_zelp_device_s *z, Config *c, State *st) {
        return morvel_zelp7x_config_set_filter_eq(z, c, st);
    },
    [](morvel_zelp_device_s *z, Config *c, State *) {
        return morvel_zelp7x_config_set_sensor(z, c);
    },
};

bool is_query_only(const Config &c) {
    return c.set == 0 && c.set1 == 0 && c.get_all == 0;
}

void report_cached(const morvel_zelp7x_device_s &dev, Config &c) {
    c.dnn_input = dev.dnn_input;
    c.tank_bits = dev.tank_bits;
    c.tank_input = dev.tank_input;
    c.tank_size = dev.tank_size;
    c.audio_frame_size = dev.audio_frame_size;
    c.audio_frame_step = dev.audio_frame_step;
    c.freq_frame_size = dev.freq_frame_size;
    c.dnn_frame_size = dev.dnn_frame_size;
}

int read_firmware_words(morvel_zelp_device_s *zelp, State &st) {
    const uint32_t base = record(zelp).fw_state_addr;
    if (base == 0) {
        st.fw_enable = st.fw_max_adjustment_gain = st.fw_nom_speech_quiet = 0;
        st.fw_match_per_frame = st.noise_thresh_win = 0;
        st.noise_threshold = 0;
        return MORVEL_ZELP_ERROR_NONE;
    }
    uint32_t noise = 0;
    int s = read_word(zelp, base + fw::ENABLE, st.fw_enable);
    if (s == 0) s = read_word(zelp, base + fw::MAX_ADJUSTMENT_GAIN, st.fw_max_adjustment_gain);
    if (s == 0) s = read_word(zelp, base + fw::NOM_SPEECH_QUIET, st.fw_nom_speech_quiet);
    if (s == 0) s = read_word(zelp, base + fw::MATCH_PER_FRAME, st.fw_match_per_frame);
    if (s == 0) s = read_word(zelp, base + fw::NOISE_THRESHOLD, noise);
    if (s == 0) st.noise_threshold = static_cast<int32_t>(noise);
    if (s == 0) s = read_word(zelp, base + fw::NOISE_THRESHOLD_WIN, st.noise_thresh_win);
    return s;
}

bool pipeline_changed(const State &st0, const State &st) {
    return st0.dnnctl0 != st.dnnctl0 || st0.dnnctl1 != st.dnnctl1 || st0.dnnctl3 != st.dnnctl3 ||
           st0.dnnctl7 != st.dnnctl7 || st0.freqctl != st.freqctl || st0.smplctl != st.smplctl ||
           st0.smplmark != st.smplmark || st0.i2sctl != st.i2sctl || st.eq_update != 0;
}

// Stops the PDM, filter bank and network. The stopped values stay in st0, so the write-back
// below restarts each of them whose new value has its run bit set.
int pause_pipeline(morvel_zelp_device_s *zelp, State &st0) {
    st0.pdmctl = RUN.put(st0.pdmctl, false);
    int s = write_word(zelp, ZELP7X_MCU_PDMCTL, st0.pdmctl);
    if (s != 0) return s;
    st0.freqctl = RUN.put(st0.freqctl, false);
    s = write_word(zelp, ZELP7X_MCU_FREQCTL, st0.freqctl);
    if (s != 0) return s;
    record(zelp).accelptr_last = 0;
    st0.dnnctl0 = RUN.put(st0.dnnctl0, false);
    return write_word(zelp, ZELP7X_MCU_DNNCTL0, st0.dnnctl0);
}

// A new tank layout invalidates everything recorded so far, on the chip and in the firmware.
int restart_tank(morvel_zelp_device_s *zelp, const State &st) {
    int s = write_word(zelp, ZELP7X_MCU_TANK, tank::PAUSED);
    if (s != 0) return s;
    if (st.fw_state_addr != 0) {
        s = write_word(zelp, st.fw_state_addr + fw::TANKPTR, 0);
        if (s == 0) s = write_word(zelp, st.fw_state_addr + fw::TANK_RESET, 1);
        if (s != 0) return s;
    }
    record(zelp).tankptr_last = 0;
    return write_word(zelp, ZELP7X_MCU_TANK, st.tank);
}

template <size_t N>
int write_changed(morvel_zelp_device_s *zelp, const std::array<MirroredRegister, N> &regs,
                  State &st0, State &st) {
    for (const MirroredRegister &r : regs) {
        if (r.word(st0) == r.word(st)) continue;
        const int s = write_word(zelp, r.address, r.word(st));
        if (s != 0) return s;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

int write_changed_firmware_words(morvel_zelp_device_s *zelp, const State &st0, const State &st) {
    const uint32_t base = st.fw_state_addr;
    if (base == 0) return MORVEL_ZELP_ERROR_NONE; // no firmware, nothing of it mirrored
    int s = 0;
    if (st0.fw_enable != st.fw_enable) s = write_word(zelp, base + fw::ENABLE, st.fw_enable);
    if (s == 0 && st0.fw_max_adjustment_gain != st.fw_max_adjustment_gain)
        s = write_word(zelp, base + fw::MAX_ADJUSTMENT_GAIN, st.fw_max_adjustment_gain);
    if (s == 0 && st0.fw_nom_speech_quiet != st.fw_nom_speech_quiet)
        s = write_word(zelp, base + fw::NOM_SPEECH_QUIET, st.fw_nom_speech_quiet);
    if (s == 0 && st0.noise_threshold != st.noise_threshold)
        s = write_word(zelp, base + fw::NOISE_THRESHOLD, static_cast<uint32_t>(st.noise_threshold));
    if (s == 0 && st0.noise_thresh_win != st.noise_thresh_win) {
        // A new window restarts the firmware's noise counters.
        s = write_word(zelp, base + fw::NOISE_THRESHOLD_WIN, st.noise_thresh_win);
        if (s == 0) s = write_word(zelp, base + fw::NOISE_THRESHOLD_CNTR_HI, 0);
        if (s == 0) s = write_word(zelp, base + fw::NOISE_THRESHOLD_CNTR_LO, 0);
    }
    if (s == 0 && st0.fw_match_per_frame != st.fw_match_per_frame)
        s = write_word(zelp, base + fw::MATCH_PER_FRAME, st.fw_match_per_frame);
    return s;
}

void report(morvel_zelp_device_s *zelp, State &st, Config &c) {
    morvel_zelp7x_config_get_memory_power(&st, &c);
    morvel_zelp7x_config_get_fw_state(&st, &c);
    morvel_zelp7x_config_get_input(&st, &c, &record(zelp));
    morvel_zelp7x_config_get_clock(&st, &c);
    c.fw_pointers_addr = record(zelp).fw_pointers_addr;
}

int report_all(morvel_zelp_device_s *zelp, Config &c) {
    int s = morvel_zelp7x_config_get_filter_bins(zelp, &c);
    if (s == 0) s = morvel_zelp7x_config_get_filter_eq(zelp, &c);
    if (s == 0) s = morvel_zelp7x_config_get_sensor(zelp, &c);
    return s;
}

} // namespace

extern "C" {

int morvel_zelp7x_config(morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *config) {
    return with_host_lock(zelp, [&] { return morvel_zelp7x_config_no_sync(zelp, config); });
}

int morvel_zelp7x_config_no_sync(morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *config) {
    if (zelp == nullptr || config == nullptr) return MORVEL_ZELP_ERROR_ARG;
    State st{};
    if ((config->set & SET_RESERVED) != 0) return MORVEL_ZELP_ERROR_ARG;
    morvel_zelp7x_device_s &dev = record(zelp);
    if (is_query_only(*config)) {
        report_cached(dev, *config);
        return MORVEL_ZELP_ERROR_NONE;
    }
    int s = check_clock_rates(*config);
    if (s == 0) s = morvel_zelp7x_config_set_input_clock(zelp, config);
    if (s != 0) return s;
    config->secured = dev.secured;

    s = morvel_zelp7x_config_read_state(zelp, &st);
    if (s != 0) return s;
    st.tank_max_size = dev.tank_max_size;
    st.fw_state_addr = dev.fw_state_addr;
    st.input_clock_rate = dev.input_clock_rate;
    st.eq_update = 0;
    State st0 = st;

    for (Step step : STEPS) {
        s = step(zelp, config, &st);
        if (s != 0) return s;
    }
    s = morvel_zelp7x_config_update_state(zelp, &st0, &st);
    if (s != 0) return s;

    report(zelp, st, *config);
    return config->get_all != 0 ? report_all(zelp, *config) : MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_config_read_state(morvel_zelp_device_s *zelp, morvel_zelp7x_config_state_s *st) {
    int s = read_firmware_words(zelp, *st);
    for (const MirroredRegister &r : READ_ORDER) {
        if (s != 0) return s;
        s = read_word(zelp, r.address, r.word(*st));
    }
    if (s != 0) return s;
    return read_spi(zelp, ZELP7X_SPI_CTL, &st->ctl);
}

int morvel_zelp7x_config_update_state(morvel_zelp_device_s *zelp, morvel_zelp7x_config_state_s *st0,
                                      morvel_zelp7x_config_state_s *st) {
    const bool do_reset = pipeline_changed(*st0, *st);
    int s = do_reset ? pause_pipeline(zelp, *st0) : 0;
    if (s == 0 && st0->tank != st->tank) s = restart_tank(zelp, *st);
    if (s == 0) s = write_changed(zelp, MEMORY_WRITE_ORDER, *st0, *st);
    if (s == 0) s = write_changed_firmware_words(zelp, *st0, *st);
    if (s == 0) s = write_changed(zelp, REGISTER_WRITE_ORDER, *st0, *st);
    if (s == 0 && do_reset) s = write_spi(zelp, ZELP7X_SPI_INTSTS, INTSTS_CLEAR_BUT_MAILBOXES);
    return s;
}

} // extern "C"
