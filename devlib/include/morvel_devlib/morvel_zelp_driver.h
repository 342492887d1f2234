/** @file
 * The driver record: one per chip family, a table of operations the generic API dispatches to,
 * and the init modes. Hosts use the generic API (morvel_devlib/morvel_zelp.h) rather than these
 * operations. */
#ifndef MORVEL_ZELP_DRIVER_H
#define MORVEL_ZELP_DRIVER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/// @cond
typedef struct morvel_zelp_device_s morvel_zelp_device_s;
typedef struct morvel_zelp_config_s morvel_zelp_config_s;
/// @endcond

/** How init treats the chip (and uninit, for RESET: it resets the chip again). */
typedef enum morvel_zelp_init_mode_e {
    MORVEL_ZELP_INIT_MODE_RESET = 0,        /**< reset the chip; a secured chip is detected */
    MORVEL_ZELP_INIT_MODE_RESTART = 1,      /**< adopt the chip as it runs, firmware included */
    MORVEL_ZELP_INIT_MODE_NO_TOUCH = 2,     /**< send nothing */
    MORVEL_ZELP_INIT_MODE_RESET_SECURED = 3 /**< reset and ask for a secured boot */
} morvel_zelp_init_mode_e;

/** One chip family's operations. Static data; every field is filled, and the generic API calls
 * them without checking. Each runs under the host lock the generic call holds and gets the
 * generic call's arguments unchanged. */
typedef struct morvel_zelp_driver_s {
    const unsigned int *device_types; /* ended by 0 */
    int (*init)(morvel_zelp_device_s *zelp, morvel_zelp_init_mode_e init_mode);
    int (*uninit)(morvel_zelp_device_s *zelp, morvel_zelp_init_mode_e init_mode);
    int (*op_size)(morvel_zelp_device_s *zelp, int mcu, unsigned int *size);
    int (*interrupts)(morvel_zelp_device_s *zelp, int *causes);
    int (*poll)(morvel_zelp_device_s *zelp, uint32_t *notifications, int clear);
    int (*load)(morvel_zelp_device_s *zelp, void *chunk, int len);
    int (*get_config)(morvel_zelp_device_s *zelp, morvel_zelp_config_s *config);
    int (*send_data)(morvel_zelp_device_s *zelp, uint8_t *data, unsigned int len, int type,
                     uint32_t offset);
    int (*extract_data)(morvel_zelp_device_s *zelp, int type, int from, uint8_t *data,
                        unsigned int *lenp);
    int (*get_match_summary)(morvel_zelp_device_s *zelp, uint32_t *summary);
    int (*get_match_binary)(morvel_zelp_device_s *zelp, uint8_t *matches, unsigned int len);
    int (*get_match_strength)(morvel_zelp_device_s *zelp, uint8_t *strengths, unsigned int len,
                              int type);
    int (*read_block)(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                      unsigned int count);
    int (*write_block)(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                       unsigned int count);
} morvel_zelp_driver_s;

#ifdef __cplusplus
}
#endif

#endif
