/** @file
 * The zelp7x configuration engine: the caller's configuration record with its set-flags, the
 * register mirror the engine edits, and the configuration, clock and audio front-end steps.
 *
 * morvel_zelp7x_config is the call for hosts. It reads the chip's configuration registers into a
 * mirror, lets each step edit the mirror from the record's flagged fields, writes back only the
 * registers that changed, and reports what is then in force. The steps are published for hosts
 * and tests that work on a mirror of their own: a set_ step edits the mirror from the record, a
 * get_ step fills the record from the mirror; neither touches the chip unless it takes a handle. */
#ifndef MORVEL_ZELP7X_CONFIG_H
#define MORVEL_ZELP7X_CONFIG_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/// @cond
typedef struct morvel_zelp_device_s morvel_zelp_device_s;
typedef struct morvel_zelp_config_s morvel_zelp_config_s;
typedef struct morvel_zelp7x_device_s morvel_zelp7x_device_s;
/// @endcond

/** Flags of morvel_zelp7x_config_s.set (plain names) and .set1 (SET1_ names): the fields a call
 * changes. */
typedef enum morvel_zelp7x_config_set_e {
    MORVEL_ZELP7X_CONFIG_SET_TANK_BITS = 0x1,
    MORVEL_ZELP7X_CONFIG_SET_TANK_INPUT = 0x2,
    MORVEL_ZELP7X_CONFIG_SET_TANK_SIZE = 0x4,
    MORVEL_ZELP7X_CONFIG_SET_FREQ_FRAME_SIZE = 0x8,
    MORVEL_ZELP7X_CONFIG_SET_DNN_INPUT = 0x10,
    MORVEL_ZELP7X_CONFIG_SET_DNN_FRAME_SIZE = 0x20,
    MORVEL_ZELP7X_CONFIG_SET_INPUT_CLOCK_RATE = 0x40,
    MORVEL_ZELP7X_CONFIG_SET_MCU_CLOCK_RATE = 0x80,
    MORVEL_ZELP7X_CONFIG_SET_SPI_WORD_BITS = 0x100,
    MORVEL_ZELP7X_CONFIG_SET_PDM_CLOCK_RATE = 0x200,
    MORVEL_ZELP7X_CONFIG_SET_PDM_CLOCK_ZELP = 0x400,
    MORVEL_ZELP7X_CONFIG_SET_PDM_IN_SHIFT = 0x800,
    MORVEL_ZELP7X_CONFIG_SET_PDM_OUT_SHIFT = 0x1000,
    MORVEL_ZELP7X_CONFIG_SET_PDM_DC_OFFSET = 0x2000,
    MORVEL_ZELP7X_CONFIG_SET_I2S_FRAME_SIZE = 0x4000,
    MORVEL_ZELP7X_CONFIG_SET_I2S_SAMPLE_SIZE = 0x8000,
    MORVEL_ZELP7X_CONFIG_SET_I2S_SAMPLE_MSBIT = 0x10000,
    MORVEL_ZELP7X_CONFIG_SET_FREQ_CLOCK_RATE = 0x20000,
    MORVEL_ZELP7X_CONFIG_SET_PREEMPHASIS_EXPONENT = 0x40000,
    MORVEL_ZELP7X_CONFIG_SET_WATER_MARK_ON = 0x80000,
    MORVEL_ZELP7X_CONFIG_SET_POWER_OFFSET = 0x100000,
    MORVEL_ZELP7X_CONFIG_SET_POWER_SCALE_EXPONENT = 0x200000,
    MORVEL_ZELP7X_CONFIG_SET_DNN_CLOCK_RATE = 0x400000,
    MORVEL_ZELP7X_CONFIG_SET_DNN_SIGNED = 0x800000,
    MORVEL_ZELP7X_CONFIG_SET_DNN_MINIMUM_THRESHOLD = 0x1000000,
    MORVEL_ZELP7X_CONFIG_SET_DNN_RUN_THRESHOLD = 0x2000000,
    MORVEL_ZELP7X_CONFIG_SET_DNN_INPUTS = 0x4000000,
    MORVEL_ZELP7X_CONFIG_SET_DNN_STATIC_INPUTS = 0x8000000,
    MORVEL_ZELP7X_CONFIG_SET_DNN_OUTPUTS = 0x10000000,
    MORVEL_ZELP7X_CONFIG_SET_AGC_ON = 0x20000000,
    MORVEL_ZELP7X_CONFIG_SET_MATCH_PER_FRAME_ON = 0x40000000,
    MORVEL_ZELP7X_CONFIG_SET_ALL_M = 0x7fffffff,

    MORVEL_ZELP7X_CONFIG_SET1_FILTER_EQ = 0x1,
    MORVEL_ZELP7X_CONFIG_SET1_AGC_NOM_SPEECH_TARGET = 0x2,
    MORVEL_ZELP7X_CONFIG_SET1_AGC_MAX_ADJ = 0x4,
    MORVEL_ZELP7X_CONFIG_SET1_MEMORY_POWER = 0x8,
    MORVEL_ZELP7X_CONFIG_SET1_NOISE_THRESHOLD = 0x10,
    MORVEL_ZELP7X_CONFIG_SET1_NOISE_THRESHOLD_WIN = 0x20,
    MORVEL_ZELP7X_CONFIG_SET1_SENSOR = 0x40,
    MORVEL_ZELP7X_CONFIG_SET1_ALL_M = 0x7f
} morvel_zelp7x_config_set_e;

/** The chip's audio rate and filter bank size. */
typedef enum morvel_zelp7x_constants_e {
    MORVEL_ZELP7X_AUDIO_FREQUENCY = 16000,
    MORVEL_ZELP7X_MAX_FREQUENCY_BINS = 40
} morvel_zelp7x_constants_e;

/** Clock limits and the default tank size the engine plans with. */
typedef enum morvel_zelp7x_internal_constants_e {
    MORVEL_ZELP7X_MAX_FLL_REF_CLOCK_RATE = 4000000,
    MORVEL_ZELP7X_TARGET_CLOCK_RATE = 16000000,
    MORVEL_ZELP7X_TARGET_OVERDRIVE_CLOCK_RATE = 24000000,
    MORVEL_ZELP7X_MAX_MCU_RATE = 19200000,
    MORVEL_ZELP7X_MAX_DNN_RATE = 19200000,
    MORVEL_ZELP7X_DEFAULT_TANK_SIZE = 2048
} morvel_zelp7x_internal_constants_e;

/** The network's input (morvel_zelp7x_config_s.dnn_input). */
typedef enum morvel_zelp7x_config_dnn_input_e {
    MORVEL_ZELP7X_CONFIG_DNN_INPUT_NONE = 0,
    MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM0 = 1,
    MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM1 = 2,
    MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM_SUM = 3,
    MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_LEFT = 4,
    MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_RIGHT = 5,
    MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_SUM = 6,
    MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_MONO = 7,
    MORVEL_ZELP7X_CONFIG_DNN_INPUT_I2S_DIRECT = 8,
    MORVEL_ZELP7X_CONFIG_DNN_INPUT_SPI = 9,
    MORVEL_ZELP7X_CONFIG_DNN_INPUT_SPI_DIRECT = 10,
    MORVEL_ZELP7X_CONFIG_DNN_INPUT_MAX = 10
} morvel_zelp7x_config_dnn_input_e;

/** What the tank records (morvel_zelp7x_config_s.tank_input). */
typedef enum morvel_zelp7x_config_tank_input_e {
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_NONE = 0,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM0 = 1,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM1 = 2,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM_SUM = 3,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM_BOTH = 4,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM0_RAW = 5,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM1_RAW = 6,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_PDM_BOTH_RAW = 7,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_LEFT = 8,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_RIGHT = 9,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_MONO = 10,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_SUM = 11,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_I2S_BOTH = 12,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_SPI = 13,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_FILTER_BANK = 14,
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_DNN = 15, /* the same source as the network */
    MORVEL_ZELP7X_CONFIG_TANK_INPUT_MAX = 15
} morvel_zelp7x_config_tank_input_e;

/** The chip's memory banks, indices of morvel_zelp7x_config_s.memory_power. */
typedef enum morvel_zelp7x_config_memory_e {
    MORVEL_ZELP7X_CONFIG_MEMORY_BOOTROM = 0,
    MORVEL_ZELP7X_CONFIG_MEMORY_RAM = 1,
    MORVEL_ZELP7X_CONFIG_MEMORY_BOOTRAM = 2,
    MORVEL_ZELP7X_CONFIG_MEMORY_DNNFEATURE = 3,
    MORVEL_ZELP7X_CONFIG_MEMORY_DNN00 = 4,
    MORVEL_ZELP7X_CONFIG_MEMORY_DNN17 = 21,
    MORVEL_ZELP7X_CONFIG_MEMORY_MAX = 21,
    MORVEL_ZELP7X_CONFIG_MEMORY_SIZE = 24
} morvel_zelp7x_config_memory_e;

/** A memory bank's power (morvel_zelp7x_config_s.memory_power). */
typedef enum morvel_zelp7x_config_memory_power_e {
    MORVEL_ZELP7X_CONFIG_MEMORY_POWER_NO_CHANGE = 0,
    MORVEL_ZELP7X_CONFIG_MEMORY_POWER_OFF = 1,
    MORVEL_ZELP7X_CONFIG_MEMORY_POWER_RETAIN = 2,
    MORVEL_ZELP7X_CONFIG_MEMORY_POWER_ON = 3,
    MORVEL_ZELP7X_CONFIG_MEMORY_POWER_MAX = 3
} morvel_zelp7x_config_memory_power_e;

/** What a pin does for a sensor (morvel_zelp7x_config_s.gpio_role). */
typedef enum morvel_zelp7x_config_gpio_role_e {
    MORVEL_ZELP7X_CONFIG_GPIO_ROLE_NONE = 0,
    MORVEL_ZELP7X_CONFIG_GPIO_ROLE_IDATA = 1,
    MORVEL_ZELP7X_CONFIG_GPIO_ROLE_ICLK = 2,
    MORVEL_ZELP7X_CONFIG_GPIO_ROLE_MMISO = 3,
    MORVEL_ZELP7X_CONFIG_GPIO_ROLE_MMOSI = 4,
    MORVEL_ZELP7X_CONFIG_GPIO_ROLE_MSCLK = 5,
    MORVEL_ZELP7X_CONFIG_GPIO_ROLE_MSSEL = 6,
    MORVEL_ZELP7X_CONFIG_GPIO_ROLE_I2SCLK = 7,
    MORVEL_ZELP7X_CONFIG_GPIO_ROLE_INTEF = 8,
    MORVEL_ZELP7X_CONFIG_GPIO_ROLE_INTER = 9,
    MORVEL_ZELP7X_CONFIG_GPIO_ROLE_INTLL = 10,
    MORVEL_ZELP7X_CONFIG_GPIO_ROLE_INTLH = 11,
    MORVEL_ZELP7X_CONFIG_GPIO_ROLE_MAX = 11
} morvel_zelp7x_config_gpio_role_e;

/** The sensors the firmware knows (morvel_zelp7x_config_s.sensor_id). */
typedef enum morvel_zelp7x_config_sensor_id_e {
    MORVEL_ZELP7X_CONFIG_SENSOR_ID_NONE = 0,
    MORVEL_ZELP7X_CONFIG_SENSOR_ID_BMI160 = 1,
    MORVEL_ZELP7X_CONFIG_SENSOR_ID_VM3011 = 2,
    MORVEL_ZELP7X_CONFIG_SENSOR_ID_EDGE_INT = 3,
    MORVEL_ZELP7X_CONFIG_SENSOR_ID_DA217 = 4,
    MORVEL_ZELP7X_CONFIG_SENSOR_ID_MAX = 4
} morvel_zelp7x_config_sensor_id_e;

/** The serial interfaces behind the chip, for sensors and morvel_zelp7x_serial_transfer. */
typedef enum morvel_zelp7x_serial_interface_e {
    MORVEL_ZELP7X_SERIAL_INTERFACE_I2C = 0,
    MORVEL_ZELP7X_SERIAL_INTERFACE_SPI0 = 1,
    MORVEL_ZELP7X_SERIAL_INTERFACE_SPI1 = 2,
    MORVEL_ZELP7X_SERIAL_INTERFACE_SPI2 = 3,
    MORVEL_ZELP7X_SERIAL_INTERFACE_SPI3 = 4,
    MORVEL_ZELP7X_SERIAL_INTERFACE_MAX = 4
} morvel_zelp7x_serial_interface_e;

/** Sizes of the sensor tables in morvel_zelp7x_config_s. */
typedef enum morvel_zelp7x_config_sensor_constants_e {
    MORVEL_ZELP7X_CONFIG_SENSOR_GPIOS = 8,
    MORVEL_ZELP7X_CONFIG_SENSOR_SENSORS = 4,
    MORVEL_ZELP7X_CONFIG_SENSOR_AXES = 15,
    MORVEL_ZELP7X_CONFIG_SENSOR_PARAMETERS = 16
} morvel_zelp7x_config_sensor_constants_e;

/** What the caller wants changed (the fields whose flag is set in `set` or `set1`) and, on
 * return, what is in force. Flagged clock rates must not be 0, and a value that does not fit its
 * register field is refused with MORVEL_ZELP_ERROR_ARG. */
typedef struct morvel_zelp7x_config_s {
    unsigned int set;  /* MORVEL_ZELP7X_CONFIG_SET_*; bit 31 must be clear */
    unsigned int set1; /* MORVEL_ZELP7X_CONFIG_SET1_* */
    int get_all;       /* also report filter bins, equalizer and sensors */
    unsigned int tank_bits;
    unsigned int tank_input;
    unsigned int tank_size;
    unsigned int audio_frame_size;
    unsigned int audio_frame_step;
    unsigned int freq_frame_size;
    unsigned int dnn_input;
    unsigned int dnn_frame_size;
    unsigned int input_clock_rate;
    unsigned int core_clock_rate;
    unsigned int mcu_clock_rate;
    unsigned int spi_max_pcm_input_rate;
    unsigned int spi_word_bits;
    unsigned int pdm_clock_rate;
    unsigned int pdm_clock_zelp;
    unsigned int pdm_in_shift[2];
    unsigned int pdm_out_shift[2];
    /* -8191 to 8191; stored as sign (bit 30) and magnitude (bits 17-29) of pdmcfg */
    int pdm_dc_offset[2];
    unsigned int i2s_frame_size;
    unsigned int i2s_sample_size;
    unsigned int i2s_sample_msbit;
    unsigned int freq_clock_rate;
    unsigned int preemphasis_exponent;
    unsigned int tank_max_size;
    unsigned int audio_buffer_used;
    unsigned int water_mark_on;
    unsigned int power_offset;
    unsigned int power_scale_exponent;
    unsigned int dnn_clock_rate;
    unsigned int dnn_signed;
    unsigned int dnn_minimum_threshold;
    unsigned int dnn_run_threshold;
    unsigned int dnn_inputs;
    unsigned int dnn_static_inputs;
    unsigned int dnn_outputs;
    unsigned int agc_on;
    unsigned int agc_max_adj[2];
    unsigned int agc_nom_speech_quiet;
    unsigned int match_per_frame_on;
    uint32_t fw_pointers_addr;
    unsigned int secured;
    uint8_t memory_power[MORVEL_ZELP7X_CONFIG_MEMORY_SIZE];
    unsigned int filter_frequency[MORVEL_ZELP7X_MAX_FREQUENCY_BINS];
    int filter_eq[MORVEL_ZELP7X_MAX_FREQUENCY_BINS];
    int32_t noise_threshold;
    uint32_t noise_thresh_win;
    uint8_t gpio_role[MORVEL_ZELP7X_CONFIG_SENSOR_GPIOS];
    uint8_t sensor_id[MORVEL_ZELP7X_CONFIG_SENSOR_SENSORS];
    uint8_t sensor_interface[MORVEL_ZELP7X_CONFIG_SENSOR_SENSORS];
    uint8_t sensor_interface_address[MORVEL_ZELP7X_CONFIG_SENSOR_SENSORS];
    uint8_t sensor_int[MORVEL_ZELP7X_CONFIG_SENSOR_SENSORS];
    uint8_t sensor_int_gpio[MORVEL_ZELP7X_CONFIG_SENSOR_SENSORS];
    uint8_t sensor_axes[MORVEL_ZELP7X_CONFIG_SENSOR_SENSORS];
    uint8_t sensor_axis_tank[MORVEL_ZELP7X_CONFIG_SENSOR_SENSORS][MORVEL_ZELP7X_CONFIG_SENSOR_AXES];
    uint8_t sensor_axis_input[MORVEL_ZELP7X_CONFIG_SENSOR_SENSORS]
                             [MORVEL_ZELP7X_CONFIG_SENSOR_AXES];
    uint8_t sensor_parameter[MORVEL_ZELP7X_CONFIG_SENSOR_SENSORS]
                            [MORVEL_ZELP7X_CONFIG_SENSOR_PARAMETERS];
} morvel_zelp7x_config_s;

/** The engine's mirror of the chip's configuration registers and of the running firmware's
 * configuration words. */
typedef struct morvel_zelp7x_config_state_s {
    unsigned int dnn_input;
    unsigned int tank_input;
    unsigned int input_clock_rate;
    unsigned int core_clock_rate;
    unsigned int tank_max_size;
    uint32_t fw_state_addr;
    int eq_update;
    uint32_t fw_enable;
    uint32_t fw_max_adjustment_gain;
    uint32_t fw_nom_speech_quiet;
    uint32_t fw_match_per_frame;
    uint32_t dnnctl0;
    uint32_t dnnctl1;
    uint32_t dnnctl3;
    uint32_t dnnctl7;
    uint32_t smplctl;
    uint32_t smplmark;
    uint32_t smplsts;
    uint32_t tank;
    uint32_t i2sctl;
    uint32_t pdmctl;
    uint32_t pdmcfg[2];
    uint32_t clkctl0;
    uint32_t clkctl1;
    uint32_t clkctl2;
    uint32_t fllctl1;
    uint32_t freqctl;
    uint32_t mem;
    uint32_t mem0;
    uint32_t mem1;
    uint32_t mem3;
    uint8_t ctl;
    int32_t noise_threshold;
    uint32_t noise_thresh_win;
} morvel_zelp7x_config_state_s;

/** Applies what `config->set` and `config->set1` flag, writing back only the registers that
 * changed, then fills `config` with what is in force (with `get_all`, also the filter bins, the
 * equalizer and the sensors). A flagged input clock is set first: below 4 MHz through the FLL,
 * else as the external clock. A record that flags nothing only reports what the driver cached.
 * @return MORVEL_ZELP_ERROR_ARG for bit 31 of `set`, a clock rate of 0 or a value that does not
 *   fit, before anything is written; else the first failing access.
 * @locked The whole call runs under one lock.
 * @quiet */
int morvel_zelp7x_config(morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *config);
/** morvel_zelp7x_config for a caller that already holds the host's lock.
 * @unlocked
 * @quiet */
int morvel_zelp7x_config_no_sync(morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *config);
/** Reads the chip's configuration registers, and with running firmware its configuration words,
 * into `st`.
 * @unlocked
 * @quiet */
int morvel_zelp7x_config_read_state(morvel_zelp_device_s *zelp, morvel_zelp7x_config_state_s *st);
/** Writes the registers and firmware words in which `st` differs from `st0`, in the order the
 * chip needs (a new tank layout restarts the tank).
 * @unlocked
 * @quiet */
int morvel_zelp7x_config_update_state(morvel_zelp_device_s *zelp, morvel_zelp7x_config_state_s *st0,
                                      morvel_zelp7x_config_state_s *st);

/** Reads the chip's host configuration area (labels and version texts) into `config`, as
 * morvel_zelp_get_config describes, and counts the labels into `*classes` (may be null).
 * @unlocked
 * @quiet */
int morvel_zelp7x_access_config(morvel_zelp_device_s *zelp, morvel_zelp_config_s *config,
                                unsigned int *classes);
/** The name of a zelp7x device type code ("zelp71b0" for 0x20); "unknown" for any other code.
 * @return static text.
 * @anythread */
const char *morvel_zelp7x_get_config_devtype(unsigned int device_type);

/** Puts the chip on a new input clock when `config` flags one: through the FLL below 4 MHz, else
 * as the external clock, then the module clock dividers. A rate the FLL cannot serve is refused
 * before anything is written.
 * @unlocked
 * @quiet */
int morvel_zelp7x_config_set_input_clock(morvel_zelp_device_s *zelp,
                                         morvel_zelp7x_config_s *config);
/** The FLL's multiplier and divider fields for a wanted core clock from an input clock; stores
 * the core clock they give in `*core_clock_rate`, or 0 in both fields when no multiplier reaches
 * it. Always returns 0.
 * @anythread */
int morvel_zelp7x_config_calc_mult_mult(uint32_t *core_clock_rate, uint32_t *input_clock_rate,
                                        uint32_t *clock_mult, uint32_t *clock_div);

/** @name Configuration steps
 * @{ */
/** A configuration step. A set_ step edits the mirror `st` from the fields `config` flags and
 * refuses a value that does not fit (MORVEL_ZELP_ERROR_ARG); a get_ step fills `config` from the
 * mirror. A step that takes a device handle reads or writes the chip too; the others touch
 * nothing but their arguments.
 * @unlocked
 * @quiet */
int morvel_zelp7x_config_set_clock(morvel_zelp7x_config_s *config,
                                   morvel_zelp7x_config_state_s *st);
void morvel_zelp7x_config_get_clock(morvel_zelp7x_config_state_s *st,
                                    morvel_zelp7x_config_s *config);
int morvel_zelp7x_config_set_input(morvel_zelp7x_config_s *config,
                                   morvel_zelp7x_config_state_s *st);
void morvel_zelp7x_config_get_input(morvel_zelp7x_config_state_s *st,
                                    morvel_zelp7x_config_s *config, morvel_zelp7x_device_s *dev);
int morvel_zelp7x_config_set_freq(morvel_zelp7x_config_s *config, morvel_zelp7x_config_state_s *st);
void morvel_zelp7x_config_get_freq(morvel_zelp7x_config_state_s *st,
                                   morvel_zelp7x_config_s *config);
int morvel_zelp7x_config_set_spi(morvel_zelp7x_config_s *config, morvel_zelp7x_config_state_s *st);
void morvel_zelp7x_config_get_spi(morvel_zelp7x_config_state_s *st, morvel_zelp7x_config_s *config);

int morvel_zelp7x_config_set_dnn(morvel_zelp7x_config_s *config, morvel_zelp7x_config_state_s *st);
void morvel_zelp7x_config_get_dnn(morvel_zelp7x_config_state_s *st, morvel_zelp7x_config_s *config);
int morvel_zelp7x_config_check_tank(unsigned int dnn_input, unsigned int tank_input);
int morvel_zelp7x_config_set_tank(morvel_zelp7x_config_s *config, morvel_zelp7x_config_state_s *st);
void morvel_zelp7x_config_get_tank(morvel_zelp7x_config_state_s *st,
                                   morvel_zelp7x_config_s *config);
int morvel_zelp7x_config_set_pdm(morvel_zelp7x_config_s *config, morvel_zelp7x_config_state_s *st);
void morvel_zelp7x_config_get_pdm(morvel_zelp7x_config_state_s *st, morvel_zelp7x_config_s *config);
int morvel_zelp7x_config_set_i2s(morvel_zelp7x_config_s *config, morvel_zelp7x_config_state_s *st);
void morvel_zelp7x_config_get_i2s(morvel_zelp7x_config_state_s *st, morvel_zelp7x_config_s *config);
int morvel_zelp7x_config_set_fw_state(morvel_zelp7x_config_s *config,
                                      morvel_zelp7x_config_state_s *st);
void morvel_zelp7x_config_get_fw_state(morvel_zelp7x_config_state_s *st,
                                       morvel_zelp7x_config_s *config);
int morvel_zelp7x_config_set_memory_power(morvel_zelp7x_config_s *config,
                                          morvel_zelp7x_config_state_s *st);
void morvel_zelp7x_config_get_memory_power(morvel_zelp7x_config_state_s *st,
                                           morvel_zelp7x_config_s *config);
int morvel_zelp7x_config_set_filter_eq(morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *config,
                                       morvel_zelp7x_config_state_s *st);
int morvel_zelp7x_config_get_filter_eq(morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *config);
int morvel_zelp7x_config_get_filter_bins(morvel_zelp_device_s *zelp,
                                         morvel_zelp7x_config_s *config);
int morvel_zelp7x_config_set_sensor(morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *config);
int morvel_zelp7x_config_get_sensor(morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *config);
/** @} */

/** The firmware's device byte for a serial interface and an address on it: a 7-bit I2C address,
 * or an SPI port with the pin that selects the device.
 * @return MORVEL_ZELP_ERROR_ARG for an interface or address the chip cannot reach.
 * @anythread */
int morvel_zelp7x_serial_address(unsigned int interface, unsigned int interface_address,
                                 uint8_t *addressp);

#ifdef __cplusplus
}
#endif

#endif
