/** @file
 * The zelp7x package tag handlers: what each tag of a package does to the chip during an
 * ordinary load. The loader calls morvel_zelp7x_parse_tag_values after every reader step that
 * announces a value, delivers a piece or item of one, or completes one; all run inside the host
 * lock the load holds. Hosts load packages with morvel_zelp_load. */
#ifndef MORVEL_ZELP7X_PACKAGE_PARSER_H
#define MORVEL_ZELP7X_PACKAGE_PARSER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/// @cond
typedef struct morvel_zelp_device_s morvel_zelp_device_s;
typedef struct morvel_zelp7x_config_s morvel_zelp7x_config_s;
/// @endcond

/** Hands the reader's state (`zelp->pstate`) to the handler of the current tag; a tag without one
 * succeeds.
 * @unlocked
 * @quiet */
int morvel_zelp7x_parse_tag_values(morvel_zelp_device_s *zelp);

/** Keeps a version text (tag 2 firmware, 5 parameters, 19 package) in the chip's host
 * configuration area.
 * @return MORVEL_ZELP_ERROR_ARG for a text longer than 128 bytes or another tag.
 * @unlocked
 * @quiet */
int morvel_zelp7x_pkg_parse_store_version(morvel_zelp_device_s *zelp, unsigned int tag,
                                          uint8_t *ver, unsigned int len);

/** @name Tag handlers
 * @{ */
/** A tag handler: applies the part of the current tag's value the reader has just delivered
 * (version texts, labels, firmware, network configuration and parameters, board calibration,
 * posterior tables) to the chip.
 * @return 0, MORVEL_ZELP_ERROR_PACKAGE for a value the chip cannot take, or the first failing
 *   access.
 * @unlocked
 * @quiet */
int morvel_zelp7x_pkg_parse_version_string_v1_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_nn_labels_v1_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_firmware_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_nn_params_v3_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_nn_params_encrypted_v1_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_hw_config_v2_tlv(morvel_zelp_device_s *zelp);
/* `aligned_value` 0: network configuration layout 2, 1: layout 3. */
int morvel_zelp7x_pkg_parse_b0_nn_config_v2_v3_tlv(morvel_zelp_device_s *zelp, int aligned_value);
/* `padded` 0: the packed version 1 layout, 1: the layout of versions 2 to 4. */
int morvel_zelp7x_pkg_parse_board_calibration_params_v1_v2_tlv(morvel_zelp_device_s *zelp,
                                                               int padded);
int morvel_zelp7x_pkg_parse_board_calibration_params_v3_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_board_calibration_params_v4_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_ph_params_v4_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_ph_params_v5_tlv(morvel_zelp_device_s *zelp);
int morvel_zelp7x_pkg_parse_ph_params_v6_tlv(morvel_zelp_device_s *zelp);
/** @} */

/** @name Board calibration records
 * @{ */
/** Fills a configuration record from the complete board calibration value the reader holds:
 * this one any version (`padded` as for the v1/v2 handler), the next versions 3 and 4 with their
 * gain control fields.
 * @return MORVEL_ZELP_ERROR_PACKAGE for a value outside what the chip takes.
 * @unlocked
 * @quiet */
int morvel_zelp7x_pkg_core_parse_board_calibration_params_tlv(morvel_zelp_device_s *zelp,
                                                              morvel_zelp7x_config_s *zelp7x_config,
                                                              int padded);
int morvel_zelp7x_core_pkg_parse_board_calibration_params_tlv(
    morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *zelp7x_config);
/** @} */

#ifdef __cplusplus
}
#endif

#endif
