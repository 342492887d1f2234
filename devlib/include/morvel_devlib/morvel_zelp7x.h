/* The zelp7x driver: per-device record and public driver functions. */
#ifndef MORVEL_ZELP7X_H
#define MORVEL_ZELP7X_H

#include <stdint.h>

#include "morvel_devlib/morvel_zelp7x_mailbox.h"
#include "morvel_devlib/morvel_zelp_driver.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct morvel_zelp_device_s morvel_zelp_device_s;
typedef struct morvel_zelp_config_s morvel_zelp_config_s;

/* Driver state of one zelp7x chip; lives inside the device handle. */
typedef struct morvel_zelp7x_device_s {
    unsigned int dnn_input;
    unsigned int tank_bits;
    unsigned int tank_input;
    unsigned int tank_size;
    unsigned int audio_frame_size;
    unsigned int audio_frame_step;
    unsigned int freq_frame_size;
    unsigned int dnn_frame_size;
    unsigned int input_clock_rate;
    uint32_t fw_pointers_addr;
    uint32_t fw_state_addr;
    uint32_t fw_agc_addr;
    uint32_t fw_posterior_state_addr;
    uint32_t fw_posterior_parameters_addr;
    uint32_t tank_address;
    uint32_t tank_max_size;
    uint32_t tank;
    unsigned int classes;
    unsigned int fwver_len;
    unsigned int paramver_len;
    unsigned int labels_len;
    unsigned int pkgver_len;
    unsigned int secured;
    unsigned int tlv_tag;
    unsigned int tlv_len;
    unsigned int tlv_parsed;
    unsigned int load_offset;
    unsigned int intctl;
    unsigned int fw_loaded;
    uint32_t addrprotlo[2];
    uint32_t addrprothi[2];
    uint8_t secured_fw_ver[32];
    unsigned int secured_fw_ver_len;
    uint32_t matches;
    uint32_t prev_matches;
    uint32_t tankptr_last;
    uint32_t tankptr_match;
    uint32_t match_ring_size;
    uint32_t match_producer;
    uint32_t match_consumer;
    uint32_t accelptr_last;
    morvel_zelp7x_device_mb_state_s mb[2];
    uint8_t mbin_resp;
    uint8_t mbin;
} morvel_zelp7x_device_s;

/* Driver table entries. */
int morvel_zelp7x_init(morvel_zelp_device_s *zelp, morvel_zelp_init_mode_e init_mode);
int morvel_zelp7x_uninit(morvel_zelp_device_s *zelp, morvel_zelp_init_mode_e init_mode);
int morvel_zelp7x_op_size(morvel_zelp_device_s *zelp, int mcu, unsigned int *size);
int morvel_zelp7x_interrupts(morvel_zelp_device_s *zelp, int *causes);
int morvel_zelp7x_poll(morvel_zelp_device_s *zelp, uint32_t *notifications, int clear);
int morvel_zelp7x_load(morvel_zelp_device_s *zelp, void *chunk, int len);
int morvel_zelp7x_get_config(morvel_zelp_device_s *zelp, morvel_zelp_config_s *config);
int morvel_zelp7x_send_data(morvel_zelp_device_s *zelp, uint8_t *data, unsigned int len, int type,
                            uint32_t offset);
int morvel_zelp7x_extract_data(morvel_zelp_device_s *zelp, int type, int from, uint8_t *data,
                               unsigned int *lenp);
int morvel_zelp7x_get_match_summary(morvel_zelp_device_s *zelp, uint32_t *summary);
int morvel_zelp7x_get_match_binary(morvel_zelp_device_s *zelp, uint8_t *matches, unsigned int len);
int morvel_zelp7x_get_match_strength(morvel_zelp_device_s *zelp, uint8_t *strengths,
                                     unsigned int len, int type);
int morvel_zelp7x_read_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                             unsigned int count);
int morvel_zelp7x_write_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                              unsigned int count);

/* Single-unit access: one byte in SPI space, one little-endian word in MCU space. */
int morvel_zelp7x_read(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value);
int morvel_zelp7x_write(morvel_zelp_device_s *zelp, int mcu, uint32_t address, uint32_t value);


#ifdef __cplusplus
}
#endif

#endif
