// The rules each value record is read by, one row per tag: the whole values and their accepted
// lengths, the values read in pieces and their limits, and the layouts of the posterior
// parameters. The reader takes the parser of each tag from these rows, so a tag has its rule and
// its parser in one place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "morvel_packager/morvel_package.h"

namespace morvel_pkg {

// ---- Whole values. ----

struct stored_rule {
    uint32_t tag;
    uint32_t size_a;      // the largest length, or one accepted length
    uint32_t size_b;      // a second accepted length, 0 when the rule is "at most size_a"
    bool exact;           // lengths must be size_a or size_b
    uint32_t record_size; // bytes the record spans; a shorter value leaves the rest zero
    int error;
};

// Tag 58's text has the same 128-byte field as the other version texts; a longer value is refused
// with the package version error rather than read past that field.
inline constexpr stored_rule stored_rules[] = {
    {TAG_FIRMWARE_VERSION_STRING_V1, VERSION_MAX_SIZE, 0, false, 0,
     MORVEL_PACKAGE_ERROR_FIRMWARE_VERSION_STRING_V2},
    {TAG_DSP_FIRMWARE_VERSION_STRING_V1, VERSION_MAX_SIZE, 0, false, 0,
     MORVEL_PACKAGE_ERROR_FIRMWARE_VERSION_STRING_V2},
    {TAG_NN_VERSION_STRING_V1, VERSION_MAX_SIZE, 0, false, 0,
     MORVEL_PACKAGE_ERROR_NN_VERSION_STRING_V2},
    {TAG_PACKAGE_VERSION_STRING, VERSION_MAX_SIZE, 0, false, 0,
     MORVEL_PACKAGE_ERROR_PACKAGE_VERSION_STRING},
    {TAG_PACKAGERLIB_VERSION_STRING, VERSION_MAX_SIZE, 0, false, 0,
     MORVEL_PACKAGE_ERROR_PACKAGE_VERSION_STRING},
    {TAG_ZELP7X_HW_CONFIG_V2, HW_PARAMS_V2_SIZE, HW_PARAMS_V2_SIZE, true, HW_PARAMS_V2_SIZE,
     MORVEL_PACKAGE_ERROR_ZELP7X_HW_CONFIG_V2},
    {TAG_BOARD_CALIBRATION_PARAMS_V1, BOARD_PARAMS_V1_SIZE, BOARD_PARAMS_V1_SIZE, true,
     BOARD_PARAMS_V1_SIZE, MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V1},
    {TAG_ZELP7X_B0_NN_CONFIG_V2, FC_CONFIG_PARAMS_V2_SIZE, FC_CONFIG_PARAMS_V2_SIZE, true,
     FC_CONFIG_PARAMS_V2_SIZE, MORVEL_PACKAGE_ERROR_ZELP7X_B0_NN_CONFIG_V2},
    {TAG_ZELP7X_B0_NN_CONFIG_V3, FC_CONFIG_PARAMS_V3_SIZE, FC_CONFIG_PARAMS_V3_SIZE, true,
     FC_CONFIG_PARAMS_V3_SIZE, MORVEL_PACKAGE_ERROR_ZELP7X_B0_NN_CONFIG_V3},
    {TAG_BOARD_CALIBRATION_PARAMS_V2, BOARD_PARAMS_V2_SIZE, BOARD_PARAMS_V2_SIZE, true,
     BOARD_PARAMS_V2_SIZE, MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V2},
    {TAG_BOARD_CALIBRATION_PARAMS_V3, BOARD_PARAMS_V3_SIZE, BOARD_PARAMS_V2_SIZE, true,
     BOARD_PARAMS_V3_SIZE, MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V3},
    {TAG_BOARD_CALIBRATION_PARAMS_V4, BOARD_PARAMS_V4_SIZE, BOARD_PARAMS_V4_SIZE, true,
     BOARD_PARAMS_V4_SIZE, MORVEL_PACKAGE_ERROR_BOARD_CALIBRATION_PARAMS_V4},
};

// ---- Values in pieces. ----

enum class piece_kind { firmware, labels, packed_params };

struct piece_rule {
    uint32_t tag;
    piece_kind kind;
    uint32_t limit;
    int error;
};

inline constexpr uint32_t nn_zelp7x_encrypted_max =
    NN_ZELP7X_MAX_SIZE + NN_PARAMS_ENCRYPTED_METADATA_V1_SIZE;

inline constexpr piece_rule piece_rules[] = {
    {TAG_FIRMWARE, piece_kind::firmware, FW_MAX_SIZE, MORVEL_PACKAGE_ERROR_FIRMWARE},
    {TAG_ZELP80_B0_FIRMWARE_V1, piece_kind::firmware, FW_MAX_SIZE, MORVEL_PACKAGE_ERROR_FIRMWARE},
    {TAG_ZELP80_B0_DSP_FIRMWARE_V1, piece_kind::firmware, FW_MAX_SIZE,
     MORVEL_PACKAGE_ERROR_FIRMWARE},
    {TAG_ZELP80_B0_NN_PARAMETERS_V1, piece_kind::firmware, NN_MAX_SIZE,
     MORVEL_PACKAGE_ERROR_FIRMWARE},
    {TAG_ZELP7X_B0_NN_PARAMETERS_ENCRYPTED_V1, piece_kind::firmware, nn_zelp7x_encrypted_max,
     MORVEL_PACKAGE_ERROR_FIRMWARE},
    {TAG_NN_LABELS_V1, piece_kind::labels, LABELS_MAX_SIZE, MORVEL_PACKAGE_ERROR_NN_LABELS_V1},
    {TAG_NN_LABELS_V3, piece_kind::labels, LABELS_MAX_SIZE, MORVEL_PACKAGE_ERROR_NN_LABELS_V1},
    {TAG_ZELP7X_NN_PARAMETERS_V3, piece_kind::packed_params, 0,
     MORVEL_PACKAGE_ERROR_ZELP7X_NN_PARAMETERS_V3},
};

// ---- Posterior parameters, versions 4 to 6. ----

// Word indices into the posterior metadata, so one walker serves the three layouts.
struct posterior_layout {
    uint32_t tag;
    int version;
    uint32_t head_size;
    uint32_t class_size;
    uint32_t state_size;
    size_t num_states;
    size_t num_classes;
    size_t timeout;
    size_t cur_state;
    size_t cur_class;
    int error;
};

#define PH_WORD(type, field) (offsetof(type, field) / sizeof(uint32_t))

inline constexpr posterior_layout posterior_layouts[] = {
    {TAG_NN_PH_PARAMETERS_V4, 4, 12, PH_PARAMS_SIZE, 4,
     PH_WORD(morvel_ph_params_metadata_v1_t, num_states),
     PH_WORD(morvel_ph_params_metadata_v1_t, num_classes),
     PH_WORD(morvel_ph_params_metadata_v1_t, timeout),
     PH_WORD(morvel_ph_params_metadata_v1_t, cur_state),
     PH_WORD(morvel_ph_params_metadata_v1_t, cur_class), MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V4},
    {TAG_NN_PH_PARAMETERS_V5, 5, 24, PH_PARAMS_SIZE, 12,
     PH_WORD(morvel_ph_params_metadata_v2_t, num_states),
     PH_WORD(morvel_ph_params_metadata_v2_t, num_classes),
     PH_WORD(morvel_ph_params_metadata_v2_t, timeout),
     PH_WORD(morvel_ph_params_metadata_v2_t, cur_state),
     PH_WORD(morvel_ph_params_metadata_v2_t, cur_class), MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V5},
    {TAG_NN_PH_PARAMETERS_V6, 6, 36, PH_PARAMS_SIZE_V2, 12,
     PH_WORD(morvel_ph_params_metadata_v3_t, num_states),
     PH_WORD(morvel_ph_params_metadata_v3_t, num_classes),
     PH_WORD(morvel_ph_params_metadata_v3_t, timeout),
     PH_WORD(morvel_ph_params_metadata_v3_t, cur_state),
     PH_WORD(morvel_ph_params_metadata_v3_t, cur_class), MORVEL_PACKAGE_ERROR_NN_PH_PARAMETERS_V6},
};

#undef PH_WORD

} // namespace morvel_pkg
