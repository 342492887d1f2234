/* The driver record: one per chip family, a table of operations the generic layer dispatches to. */
#ifndef MORVEL_ZELP_DRIVER_H
#define MORVEL_ZELP_DRIVER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct morvel_zelp_device_s morvel_zelp_device_s;
typedef struct morvel_zelp_config_s morvel_zelp_config_s;

typedef enum morvel_zelp_init_mode_e {
    MORVEL_ZELP_INIT_MODE_RESET = 0,
    MORVEL_ZELP_INIT_MODE_RESTART = 1,
    MORVEL_ZELP_INIT_MODE_NO_TOUCH = 2,
    MORVEL_ZELP_INIT_MODE_RESET_SECURED = 3
} morvel_zelp_init_mode_e;

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
