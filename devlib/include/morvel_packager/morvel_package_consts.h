/** @file
 * Sizes of the package fields and value records. */
#ifndef MORVEL_PACKAGE_CONSTS_H
#define MORVEL_PACKAGE_CONSTS_H

#ifdef __cplusplus
extern "C" {
#endif

/** Sizes in bytes: of the tag, length and checksum fields, the reader's scratch area, the
 * longest values of each kind and the value records. */
typedef enum morvel_package_constants_e {
    TAG_SIZE = 4,
    LENGTH_SIZE = 4,
    CRC_SIZE = 4,
    INPUT_CLK_RATE_SIZE = 4,
    PARSER_SCRATCH_SIZE = 2048,
    VERSION_MAX_SIZE = 128,
    LABELS_MAX_SIZE = 2048,
    FW_MAX_SIZE = 262144,
    NN_ZELP7X_MAX_SIZE = 294912,
    NN_MAX_SIZE = 786432,
    BOARD_PARAMS_V1_SIZE = 72,
    BOARD_PARAMS_V2_SIZE = 72,
    BOARD_PARAMS_V3_SIZE = 84,
    BOARD_PARAMS_V4_SIZE = 92,
    FC_CONFIG_PARAMS_V2_SIZE = 28,
    FC_CONFIG_PARAMS_V3_SIZE = 28,
    FC_PARAMS_METADATA_SIZE = 20,
    PH_PARAMS_SIZE = 24,
    PH_PARAMS_SIZE_V2 = 28,
    PH_PARAMS_METADATA_v1_SIZE = 20,
    PH_PARAMS_METADATA_v2_SIZE = 32,
    PH_PARAMS_METADATA_v3_SIZE = 44,
    HW_PARAMS_V2_SIZE = 192,
    PH_COLLECTION_PARAMS_SIZE = 80,
    NN_METADATA_V1_SIZE = 80,
    DSP_FLOW_COLLECTION_V1_SIZE = 8,
    MCU_ORCHESTRATOR_V1_SIZE = 16,
    NN_PARAMS_ENCRYPTED_METADATA_V1_SIZE = 32
} morvel_package_constants_e;

#ifdef __cplusplus
}
#endif

#endif
