/** @file
 * Incremental reader of tag-length-value package streams and the value records it delivers.
 *
 * A package is a header record, tag-length-value records, and a checksum record whose CRC-32
 * covers everything before it. The reader takes the stream in chunks of any size: the caller
 * makes a chunk current (morvel_pkg_preprocess_chunk), then calls morvel_pkg_parse_chunk until
 * the chunk is used up or the mode is PACKAGE_MODE_DONE. Its whole state is the caller's
 * morvel_pkg_parser_state_t; it allocates nothing, and prints only when a call's `collect_log`
 * asks for the log of what it reads (on standard output), and one line for a firmware value longer
 * than its limit. Readers with states of their own may run in distinct threads. */
#ifndef MORVEL_PACKAGE_H
#define MORVEL_PACKAGE_H

#include <stddef.h>
#include <stdint.h>

#include "morvel_packager/morvel_package_consts.h"
#include "morvel_packager/morvel_package_tags.h"

#ifdef __cplusplus
extern "C" {
#endif

/** Value of the header record (tag 1, length 4). */
#define MORVEL_PKG_HEADER_MAGIC 0x53BDE5A1u
/** Size of the whole header record: tag, length and magic value. */
#define MORVEL_PKG_HEADER_SIZE 12u

/** Where the reader stands (morvel_pkg_parser_state_t.mode and .value_mode). */
typedef enum morvel_pkg_mode_e {
    PACKAGE_MODE_DONE = 0,
    PACKAGE_MODE_TAG_START = 1,
    PACKAGE_MODE_TAG_CONT = 2,
    PACKAGE_MODE_LENGTH_START = 3,
    PACKAGE_MODE_LENGTH_CONT = 4,
    PACKAGE_MODE_VALUE_START = 5,
    PACKAGE_MODE_VALUE_CONT = 6,
    /* The record area holds a complete value, or a complete piece or section of one. */
    PACKAGE_MODE_VALID_PARTIAL_VALUE = 7,
    /* Nothing new is complete. */
    PACKAGE_MODE_NO_PARTIAL_VALUE = 8
} morvel_pkg_mode_e;

/** The reader's results: 0, or a negative code naming the record it refused. */
typedef enum morvel_package_parsing_errors_e {
    MORVEL_PACKAGE_ERROR_NONE = 0,
    MORVEL_PACKAGE_ERROR_HEADER = -1,
    MORVEL_PACKAGE_ERROR_FIRMWARE_VERSION_STRING_V1 = -2,
    MORVEL_PACKAGE_ERROR_PAD = -3,
    MORVEL_PACKAGE_ERROR_CHECKSUM = -4,
    MORVEL_PACKAGE_ERROR_NN_VERSION_STRING = -5,
    MORVEL_PACKAGE_ERROR_ZELP7X_NN_CONFIG_V1 = -6,
    MORVEL_PACKAGE_ERROR_ZELP7X_NN_PARAMETERS_V1 = -7,
    MORVEL_PACKAGE_ERROR_FIRMWARE = -8,
    MORVEL_PACKAGE_ERROR_ZELP7X_HW_CONFIG_V1 = -9,
    MORVEL_PACKAGE_ERROR_NN_LABELS_V1 = -10,
    MORVEL_PACKAGE_ERROR_ZELP7X_HW_CONFIG_V2 = -11,
    MORVEL_PACKAGE_ERROR_NN_PARAMETERS_V2 = -12,
    MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V1 = -13,
    MORVEL_PACKAGE_ERROR_ZELP7X_B0_ENCRYPTED_FIRMWARE = -14,
    MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V2 = -15,
    MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V3 = -16,
    MORVEL_PACKAGE_ERROR_FIRMWARE_VERSION_STRING_V2 = -17,
    MORVEL_PACKAGE_ERROR_NN_VERSION_STRING_V2 = -18,
    MORVEL_PACKAGE_ERROR_PACKAGE_VERSION_STRING = -19,
    MORVEL_PACKAGE_ERROR_ZELP7X_B0_NN_CONFIG_V1 = -20,
    MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V1 = -21,
    MORVEL_PACKAGE_ERROR_ZELP7X_NN_PARAMETERS_V3 = -22,
    MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V4 = -23,
    MORVEL_PACKAGE_ERROR_NN_LABELS_V2 = -24,
    MORVEL_PACKAGE_ERROR_ZELP7X_B0_NN_CONFIG_V2 = -25,
    MORVEL_PACKAGE_ERROR_ZELP7X_B0_NN_CONFIG_V3 = -26,
    MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V2 = -27,
    MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V3 = -28,
    MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V5 = -29,
    MORVEL_PACKAGE_ERROR_NN_PH_COLLECTION_V1 = -30,
    MORVEL_PACKAGE_ERROR_NN_METADATA_V1 = -31,
    MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V4 = -32,
    MORVEL_PACKAGE_ERROR_DSP_FLOW_COLLECTION_V1 = -33,
    MORVEL_PACKAGE_ERROR_MCU_ORCHESTRATOR_V1 = -34,
    MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V6 = -35,
    MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR = -999,
    MORVEL_PACKAGE_ERROR_UNKNOWN_TLV = -1000
} morvel_package_parsing_errors_e;

/* ---- Value records, in the in-memory form the package carries them (little-endian). ---- */

/** Tag 11: the zelp7x hardware configuration, version 2 (filter bank). */
typedef struct morvel_hw_params_v2_s {
    uint32_t sample_frequency_hz;
    uint32_t frame_size;
    uint32_t frame_step;
    uint32_t num_filter_banks;
    uint32_t num_activations_used;
    uint32_t mel_bins_length;
    uint32_t mel_bins[42];
} morvel_hw_params_v2_t;

#pragma pack(push, 1)
/** Tag 21: board calibration, version 1, packed. */
typedef struct morvel_board_params_v1_s {
    uint8_t dnn_input;
    uint32_t input_clock_rate;
    uint32_t pdm_clock_rate;
    int32_t pdm_dc_offset[2];
    uint8_t pdm_clock_zelp;
    uint8_t power_offset;
    uint32_t preemphasis_exponent;
    uint8_t cal_pdm_in_shift[2];
    uint8_t cal_pdm_out_shift[2];
    uint32_t power_scale_exponent;
    uint8_t agc;
    int8_t equalizer[40];
} morvel_board_params_v1_t;
#pragma pack(pop)

/** Tag 27: board calibration, version 2. */
typedef struct morvel_board_params_v2_s {
    uint8_t agc;
    uint8_t dnn_input;
    uint8_t pdm_clock_zelp;
    uint8_t power_offset;
    uint8_t cal_pdm_in_shift[2];
    uint8_t cal_pdm_out_shift[2];
    uint32_t input_clock_rate;
    uint32_t pdm_clock_rate;
    int32_t pdm_dc_offset[2];
    uint32_t preemphasis_exponent;
    uint32_t power_scale_exponent;
    int8_t equalizer[40];
} morvel_board_params_v2_t;

/** Tag 43: board calibration, version 3: version 2 and the gain control levels. */
typedef struct morvel_board_params_v3_s {
    uint8_t agc;
    uint8_t dnn_input;
    uint8_t pdm_clock_zelp;
    uint8_t power_offset;
    uint8_t cal_pdm_in_shift[2];
    uint8_t cal_pdm_out_shift[2];
    uint32_t input_clock_rate;
    uint32_t pdm_clock_rate;
    int32_t pdm_dc_offset[2];
    uint32_t preemphasis_exponent;
    uint32_t power_scale_exponent;
    int8_t equalizer[40];
    uint32_t agc_ref_lvl;
    uint32_t agc_max_adj[2];
} morvel_board_params_v3_t;

/** Tag 56: board calibration, version 4: version 3 and the noise threshold. */
typedef struct morvel_board_params_v4_s {
    uint8_t agc;
    uint8_t dnn_input;
    uint8_t pdm_clock_zelp;
    uint8_t power_offset;
    uint8_t cal_pdm_in_shift[2];
    uint8_t cal_pdm_out_shift[2];
    uint32_t input_clock_rate;
    uint32_t pdm_clock_rate;
    int32_t pdm_dc_offset[2];
    uint32_t preemphasis_exponent;
    uint32_t power_scale_exponent;
    int8_t equalizer[40];
    uint32_t agc_ref_lvl;
    uint32_t agc_max_adj[2];
    int32_t noise_threshold;
    uint32_t noise_thresh_win;
} morvel_board_params_v4_t;

/** Tag 25: the zelp7x network configuration, layout 2. */
typedef struct morvel_fc_params_v2_s {
    uint16_t num_features;
    uint16_t num_static_features;
    uint16_t dnn_frame_size;
    uint8_t num_nodes[4];
    uint8_t scale_factor[4];
    uint8_t num_biases[4];
    uint8_t input_clipping_threshold;
    uint8_t dnn_run_threshold;
    uint8_t quantization_scheme[4];
    uint8_t out_shift[4];
} morvel_fc_params_v2_t;

/** Tag 26: the zelp7x network configuration, layout 3. */
typedef struct morvel_fc_params_v3_s {
    uint8_t dnn_run_threshold;
    uint8_t input_clipping_threshold;
    uint16_t num_features;
    uint16_t num_static_features;
    uint16_t dnn_frame_size;
    uint8_t num_nodes[4];
    uint8_t scale_factor[4];
    uint8_t num_biases[4];
    uint8_t quantization_scheme[4];
    uint8_t out_shift[4];
} morvel_fc_params_v3_t;

/** Class record of posterior versions 4 and 5. */
typedef struct morvel_ph_params_s {
    uint32_t phwin;
    uint32_t phth;
    uint32_t phbackoff;
    uint32_t phaction;
    uint32_t pharg;
    uint32_t phqueuesize;
} morvel_ph_params_t;

/** Class record of posterior version 6. */
typedef struct morvel_ph_params_v2_s {
    uint32_t phwin;
    uint32_t phth;
    uint32_t phbackoff;
    uint32_t phaction;
    uint32_t pharg;
    uint32_t phqueuesize;
    uint32_t adaptive_threshold_on;
} morvel_ph_params_v2_t;

/** Sections of a posterior collection (tag 52). */
typedef enum morvel_ph_collection_parse_e {
    PHC_PARSE_COLLECTION_PARAMS = 1,
    PHC_PARSE_PH_PARAMS = 2,
    PHC_PARSE_STATE_PARAMS = 3,
    PHC_PARSE_CLASS_PARAMS = 4
} morvel_ph_collection_parse_e;

/** Tag 52: one section of each kind, overwritten as the value is read, and the read position. */
typedef struct morvel_ph_collection_params_s {
    uint32_t num_ph;
    struct {
        uint32_t num_classes;
        uint32_t num_states;
        uint32_t ph_type;
    } ph;
    struct {
        uint32_t timeout;
        uint32_t timeout_action;
        uint32_t timeout_action_arg0;
        uint32_t timeout_action_arg1;
    } state;
    struct {
        uint32_t window;
        uint32_t threshold;
        uint32_t backoff;
        uint32_t queuesize;
        uint32_t action;
        uint32_t action_arg0;
        uint32_t action_arg1;
    } class_params;
    struct {
        uint32_t cur_ph;
        uint32_t cur_state;
        uint32_t cur_class;
        uint32_t parsing; /* section to read next */
        uint32_t parsed;  /* section completed by the last step, 0 when none */
    } parser;
} morvel_ph_collection_params_t;

/** Sections of a network metadata value (tag 64). */
typedef enum morvel_nn_metadata_parse_e {
    NNM_PARSE_NN_NUM = 1,
    NNM_PARSE_BASE_META = 2,
    NNM_PARSE_INP_SIZE = 3,
    NNM_PARSE_COORD = 4,
    NNM_PARSE_CACHE_INST = 5
} morvel_nn_metadata_parse_e;

/** Tag 64: one section of each kind, overwritten as the value is read, and the read position. */
typedef struct morvel_nn_metadata_v1_s {
    uint32_t nn_num;
    struct {
        uint32_t num_layers;
        uint32_t is_nn_cached;
        uint32_t nn_input_isa_idx;
        uint32_t nn_output_isa_idx;
        uint32_t nn_input_layer_type;
    } base;
    struct {
        uint32_t x;
        uint32_t y;
        uint32_t z;
    } input_size;
    struct {
        uint32_t input_coord;
        uint32_t output_coord;
    } coord;
    struct {
        uint32_t input_base_coord_max;
        uint32_t output_base_coord_max;
        uint32_t input_base_coord_add;
        uint16_t input_offset_add;
        uint16_t input_offset_max;
        uint16_t output_base_coord_add;
        uint16_t output_base_coord_stride;
    } cache;
    struct {
        uint32_t cur_nn;
        uint32_t cur_layer;
        uint32_t parsing; /* section to read next */
        uint32_t parsed;  /* section completed by the last step, 0 when none */
    } parser;
} morvel_nn_metadata_v1_t;

/** Tag 62: one front-end configuration of the second family. */
typedef struct morvel_dsp_fe_config_data_s {
    uint32_t index;
    uint8_t config[64];
} morvel_dsp_fe_config_data_t;

/** Tag 65: one flow of the second family's DSP. */
typedef struct morvel_dsp_flow_collection_v1_s {
    uint8_t set_id;
    uint8_t src_type;
    uint8_t src_param;
    uint8_t dst_type;
    uint8_t dst_param;
    int8_t algo_config_index;
    uint8_t pad[2];
} morvel_dsp_flow_collection_v1_t;

/** Tag 66: one step of the second family's MCU orchestration. */
typedef struct morvel_mcu_orch_v1_s {
    uint8_t id;
    uint8_t flow_id;
    uint8_t status;
    uint8_t type;
    uint8_t action;
    uint8_t num_inputs;
    uint8_t num_outputs;
    uint8_t input_edges[4];
    uint8_t next_ids[4];
    uint8_t pad;
} morvel_mcu_orch_v1_t;

/* ---- Bookkeeping kept across chunks. ---- */

/** Network configuration of the last tag 25 or 26 value; a later tag 22 is checked against it. */
typedef struct morvel_fc_params_metadata_s {
    uint32_t params_to_read;
    uint16_t num_features;
    uint16_t num_static_features;
    uint16_t dnn_frame_size;
    uint16_t rsvd;
    uint8_t num_nodes[4];
    uint8_t num_biases[4];
} morvel_fc_params_metadata_t;

/** Posterior version 4: head of 12 bytes, later states carry a timeout. */
typedef struct morvel_ph_params_metadata_v1_s {
    uint32_t num_states;
    uint32_t num_classes;
    uint32_t timeout;
    uint32_t cur_state;
    uint32_t cur_class;
} morvel_ph_params_metadata_v1_t;

/** Posterior version 5: head of 24 bytes, later states carry the three timeout fields. */
typedef struct morvel_ph_params_metadata_v2_s {
    uint32_t num_states;
    uint32_t num_classes;
    uint32_t ph_type;
    uint32_t timeout;
    uint32_t timeout_action;
    uint32_t timeout_action_arg;
    uint32_t cur_state;
    uint32_t cur_class;
} morvel_ph_params_metadata_v2_t;

/** Posterior version 6: the adaptive threshold settings, then the version 5 fields. */
typedef struct morvel_ph_params_metadata_v3_s {
    uint32_t adaptive_frames;
    uint32_t adaptive_denominator;
    uint32_t adaptive_max_updates;
    uint32_t num_states;
    uint32_t num_classes;
    uint32_t ph_type;
    uint32_t timeout;
    uint32_t timeout_action;
    uint32_t timeout_action_arg;
    uint32_t cur_state;
    uint32_t cur_class;
} morvel_ph_params_metadata_v3_t;

/** The posterior value being read, by version. */
typedef union morvel_ph_params_metadata_u {
    morvel_ph_params_metadata_v1_t v1;
    morvel_ph_params_metadata_v2_t v2;
    morvel_ph_params_metadata_v3_t v3;
} morvel_ph_params_metadata_t;

/** The record area: the value (or piece of one) the last step completed, in the record of its
 * tag. */
typedef union morvel_pkg_parser_data_u {
    uint8_t scratch[PARSER_SCRATCH_SIZE];
    char fw_version[VERSION_MAX_SIZE];
    char dsp_fw_version[VERSION_MAX_SIZE];
    char params_version[VERSION_MAX_SIZE];
    char pkg_version[VERSION_MAX_SIZE];
    char pkger_version[VERSION_MAX_SIZE];
    uint8_t labels[PARSER_SCRATCH_SIZE];
    uint8_t fw[PARSER_SCRATCH_SIZE];
    uint8_t packed_params[PARSER_SCRATCH_SIZE];
    morvel_hw_params_v2_t hw_params_v2;
    morvel_board_params_v1_t board_params_v1;
    morvel_board_params_v2_t board_params_v2;
    morvel_board_params_v3_t board_params_v3;
    morvel_board_params_v4_t board_params_v4;
    morvel_fc_params_v2_t fc_params_v2;
    morvel_fc_params_v3_t fc_params_v3;
    morvel_ph_params_t ph_params;
    morvel_ph_params_v2_t ph_params_v2;
    morvel_ph_collection_params_t ph_collection;
    morvel_nn_metadata_v1_t nn_metadata;
    morvel_dsp_fe_config_data_t dsp_fe_config;
    morvel_dsp_flow_collection_v1_t dsp_flow_collection;
    morvel_mcu_orch_v1_t mcu_orch;
} morvel_pkg_parser_data_t;

/** What the reader keeps of a value across its pieces. */
typedef union morvel_pkg_parser_metadata_u {
    morvel_ph_params_metadata_t ph_metadata;
    morvel_fc_params_metadata_t fc_metadata;
    uint32_t fw_metadata; /* length of the piece being read */
    uint32_t labels_metadata;
    /* The last five words keep a copy of the network configuration for a later tag 22. */
    uint32_t scratch_metadata[640];
} morvel_pkg_parser_metadata_t;

/** The reader's state for one package stream (in a device handle, `zelp->pstate`, during a
 * load). The caller owns it; `ptr`, `open_ram_begin` and `open_ram_end` point into the current
 * chunk, which the caller keeps until it makes the next one current. */
typedef struct morvel_pkg_parser_state_s {
    morvel_pkg_parser_data_t data;
    morvel_pkg_parser_metadata_t metadata;
    uint32_t expected_bytes;
    uint32_t header_val;
    uint32_t calc_crc;
    uint32_t partially_read_length;
    int magic_header_found;
    int mode;
    int value_mode;
    uint8_t *ptr;
    uint8_t *open_ram_begin;
    uint8_t *open_ram_end;
    uint32_t tag;
    uint32_t length;
    uint32_t exp_crc;
    uint8_t is_multisegment;
    uint8_t is_current_fw_package;
    uint8_t is_current_params_package;
    uint8_t is_current_dsp_fw_package;
} morvel_pkg_parser_state_t;

/* ---- Reader. ---- */

/** Starts a new stream: no header seen, the checksum register fresh, the first tag next.
 * @threads Touches `pstate` only, as every call of the reader does; null is ignored. */
void morvel_pkg_parser_init(morvel_pkg_parser_state_t *pstate);
/** Puts the read position back at the current chunk's start.
 * @threads Touches `pstate` only. */
void morvel_pkg_parser_reset(morvel_pkg_parser_state_t *pstate);
/** Makes a chunk current. With `copy` 0 the reader reads `chunk` where it lies (the caller keeps
 * it until the next chunk); with `copy` nonzero the bytes are copied to the buffer
 * `open_ram_begin` points to. A null chunk or a negative length makes an empty chunk.
 * @threads Touches `pstate` only. */
void morvel_pkg_preprocess_chunk(morvel_pkg_parser_state_t *pstate, uint8_t *chunk, int length,
                                 int copy);
/** One reader step: reads a header, a tag, a length or (a piece of) a value from the current chunk,
 * never past its end. With `collect_log` nonzero the values it completes are printed on standard
 * output.
 * @return 0 or a negative morvel_package_parsing_errors_e code; MORVEL_PACKAGE_ERROR_CHECKSUM for
 *   a checksum that does not match, MORVEL_PACKAGE_ERROR_UNKNOWN_TLV for a tag without a rule.
 * @threads Touches `pstate` and the chunk only. */
int morvel_pkg_parse_chunk(morvel_pkg_parser_state_t *pstate, int collect_log);
/** 1 when the 12 bytes at `tlv` are the package header record, else 0 (also for null).
 * @anythread */
int morvel_pkg_check_header_tlv(const uint8_t *tlv);
/** Consumes up to `max_length` bytes of the current field from the chunk into `dest` (nothing is
 * stored with `fake` or without `copy`), completing a field begun in an earlier chunk behind the
 * bytes already stored, and runs them through the checksum with `calc_crc`.
 * @return the bytes consumed.
 * @threads Touches `pstate`, the chunk and `dest` only. */
unsigned int morvel_pkg_read_chunk_data(morvel_pkg_parser_state_t *pstate, uint8_t *dest,
                                        uint32_t max_length, int fake, int calc_crc, int copy);
/** The enumerator name of a result code ("MORVEL_PACKAGE_ERROR_CHECKSUM");
 * "MORVEL_PACKAGE_ERROR_UNKNOWN" for any other value.
 * @return static text.
 * @anythread */
const char *morvel_pkg_error_name(int result);

/* ---- Value record parsers, called by the reader. ---- */

/** @name Value record parsers
 * @{ */
/** A value record parser, which morvel_pkg_parse_chunk calls for the tags of its kind: checks the
 * value, or the piece just read, against its record's rules and fills the record area. With
 * `collect_log` nonzero (where a parser takes it) or for the print_ and board calls, it prints
 * what it read on standard output.
 * @return 0 or the negative code of the tag it refused.
 * @threads Touches `pstate` only. */
int morvel_pkg_parse_stored_params(morvel_pkg_parser_state_t *pstate, int collect_log);
int morvel_pkg_parse_partially_stored_params(morvel_pkg_parser_state_t *pstate, int collect_log);
int morvel_pkg_parse_posterior_params(morvel_pkg_parser_state_t *pstate, int collect_log);
int morvel_pkg_parse_nn_metadata(morvel_pkg_parser_state_t *pstate);
int morvel_pkg_parse_dsp_fe_config(morvel_pkg_parser_state_t *pstate);
int morvel_pkg_parse_dsp_flow_collection(morvel_pkg_parser_state_t *pstate);
int morvel_pkg_parse_mcu_orchestrator(morvel_pkg_parser_state_t *pstate);
int morvel_pkg_print_stored_params(morvel_pkg_parser_state_t *pstate);
int morvel_pkg_parse_board_params_v3_v4(morvel_pkg_parser_state_t *pstate);
/** @} */

#ifdef __cplusplus
}
#endif

#endif
