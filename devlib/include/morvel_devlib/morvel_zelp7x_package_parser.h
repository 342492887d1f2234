/* The zelp7x package tag handlers: what each tag of a package does to the chip during an
 * ordinary load. The loader calls morvel_zelp7x_parse_tag_values after every reader step that
 * announces a value, delivers a piece or item of one, or completes one; all run inside the host
 * lock the load holds. */
#ifndef MORVEL_ZELP7X_PACKAGE_PARSER_H
#define MORVEL_ZELP7X_PACKAGE_PARSER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct morvel_zelp_device_s morvel_zelp_device_s;
typedef struct morvel_zelp7x_config_s morvel_zelp7x_config_s;

/* Hands the reader's state to the handler of the current tag; tags without one succeed. */
int morvel_zelp7x_parse_tag_values(morvel_zelp_device_s *zelp);

/* Keeps a version text (tag 2 firmware, 5 parameters, 19 package) in the host configuration
 * area; at most 128 bytes. */
int morvel_zelp7x_pkg_parse_store_version(morvel_zelp_device_s *zelp, unsigned int tag,
                                          uint8_t *ver, unsigned int len);

int morvel_zelp7x_pkg_parse_version_string_v1_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_nn_labels_v1_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_firmware_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_nn_params_v3_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_nn_params_encrypted_v1_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_hw_config_v2_tlv(morvel_zelp_device_s *zelp);
/* aligned_value 0: network configuration layout 2, 1: layout 3. */
int morvel_zelp7x_pkg_parse_b0_nn_config_v2_v3_tlv(morvel_zelp_device_s *zelp, int aligned_value);
/* padded 0: the packed version 1 layout, 1: the layout of versions 2 to 4. */
int morvel_zelp7x_pkg_parse_board_calibration_params_v1_v2_tlv(morvel_zelp_device_s *zelp,
                                                               int padded);
int morvel_zelp7x_pkg_parse_board_calibration_params_v3_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_board_calibration_params_v4_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_ph_params_v4_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_ph_params_v5_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_ph_params_v6_tlv(morvel_zelp_device_s *zelp);

/* Fill a configuration record from a complete board calibration value: all versions, and
 * versions 3 and 4 with their gain control fields. */
int morvel_zelp7x_pkg_core_parse_board_calibration_params_tlv(morvel_zelp_device_s *zelp,
                                                              morvel_zelp7x_config_s *zelp7x_config,
                                                              int padded);
int morvel_zelp7x_core_pkg_parse_board_calibration_params_tlv(
    morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *zelp7x_config);

#ifdef __cplusplus
}
#endif

#endif
