/* Generic device API: the device handle, the host's integration interfaces and dispatch. */
#ifndef MORVEL_ZELP_H
#define MORVEL_ZELP_H

#include <stdint.h>

#include "morvel_devlib/morvel_zelp7x.h"
#include "morvel_devlib/morvel_zelp_driver.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "morvel_packager/morvel_package.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque host handle, passed back to every host callback but malloc and free. */
typedef void *morvel_zelp_handle_t;

typedef void *(*morvel_zelp_malloc_f)(int size);
typedef void (*morvel_zelp_free_f)(void *p);
typedef int (*morvel_zelp_mbwait_f)(morvel_zelp_handle_t d);
typedef int (*morvel_zelp_get_device_type_f)(morvel_zelp_handle_t d, unsigned int *type);
typedef int (*morvel_zelp_sync_f)(morvel_zelp_handle_t d);
typedef int (*morvel_zelp_unsync_f)(morvel_zelp_handle_t d);
typedef int (*morvel_zelp_transfer_f)(morvel_zelp_handle_t d, int mcu, uint32_t address, void *out,
                                      void *in, unsigned int count);

typedef struct morvel_zelp_integration_interfaces_s {
    morvel_zelp_handle_t d;
    morvel_zelp_malloc_f malloc;
    morvel_zelp_free_f free;
    morvel_zelp_mbwait_f mbwait;
    morvel_zelp_get_device_type_f get_type;
    morvel_zelp_sync_f sync;
    morvel_zelp_unsync_f unsync;
    morvel_zelp_transfer_f transfer;
} morvel_zelp_integration_interfaces_s;

typedef enum morvel_zelp_device_type_e {
    MORVEL_ZELP_INV_DEV_ID = -1,
    MORVEL_ZELP_7X = 0,
    MORVEL_ZELP_80 = 1
} morvel_zelp_device_type_e;
typedef morvel_zelp_device_type_e morvel_zelp_device_type_t;

/* State of the second chip family; declared for layout, not used by this library. */
typedef struct morvel_zelp80_device_s {
    uint32_t reserved[64];
} morvel_zelp80_device_s;

struct morvel_zelp_device_s {
    morvel_zelp_integration_interfaces_s iif;
    morvel_zelp_driver_s *driver;
    unsigned int device_type;
    uint8_t init;
    morvel_pkg_parser_state_t pstate;
    union {
        morvel_zelp7x_device_s zelp7x;
        morvel_zelp80_device_s zelp80;
    } d;
};

/* Generic configuration report. */
struct morvel_zelp_config_s {
    unsigned int device_id;
    const char *device_type;
    unsigned int classes;
    char *firmware_version;
    unsigned int firmware_version_len;
    char *parameters_version;
    unsigned int parameters_version_len;
    char *labels;
    unsigned int labels_len;
    char *pkg_version;
    unsigned int pkg_version_len;
    char *dsp_firmware_version;
    unsigned int dsp_firmware_version_len;
};

/* What send_data delivers: a stream through the sample input port, or static features. */
typedef enum morvel_zelp_send_data_type_e {
    MORVEL_ZELP_SEND_DATA_TYPE_STREAMING = 0,
    MORVEL_ZELP_SEND_DATA_TYPE_FEATURE_STATIC = 1
} morvel_zelp_send_data_type_e;

/* What extract_data takes out of the chip. Types 2 and 4 are refused. */
typedef enum morvel_zelp_extract_type_e {
    MORVEL_ZELP_EXTRACT_TYPE_INPUT = 0, /* tank audio */
    MORVEL_ZELP_EXTRACT_TYPE_FEATURES = 1,
    MORVEL_ZELP_EXTRACT_TYPE_FEATURE_STATIC = 3,
    MORVEL_ZELP_EXTRACT_TYPE_INPUT_ANNOTATED = 4,
    MORVEL_ZELP_EXTRACT_TYPE_RAW_ACCEL = 5, /* sensor samples */
    MORVEL_ZELP_EXTRACT_TYPE_LAST = 5
} morvel_zelp_extract_type_e;

/* Where an extraction from a ring starts. */
typedef enum morvel_zelp_extract_from_e {
    MORVEL_ZELP_EXTRACT_FROM_MATCH = 0,  /* the bytes that end at the last match */
    MORVEL_ZELP_EXTRACT_FROM_UNREAD = 1, /* where the previous extraction stopped */
    MORVEL_ZELP_EXTRACT_FROM_OLDEST = 2, /* the oldest byte still in the ring */
    MORVEL_ZELP_EXTRACT_FROM_NEWEST = 3  /* the bytes that end at the newest one */
} morvel_zelp_extract_from_e;

typedef enum morvel_zelp_strength_type_e {
    MORVEL_ZELP_STRENGTH_RAW = 0,
    MORVEL_ZELP_STRENGTH_SOFTMAX = 1
} morvel_zelp_strength_type_e;

char *morvel_zelp_devlib_version(void);
morvel_zelp_device_type_t morvel_zelp_get_device_family(unsigned int device_id);
morvel_zelp_driver_s *morvel_zelp_get_driver(unsigned int device_type);

int morvel_zelp_init(morvel_zelp_device_s **zelpp, morvel_zelp_integration_interfaces_s *iif,
                     morvel_zelp_init_mode_e init_mode);
int morvel_zelp_uninit(morvel_zelp_device_s *zelp, int free, morvel_zelp_init_mode_e init_mode);

int morvel_zelp_op_size(morvel_zelp_device_s *zelp, int mcu, unsigned int *size);
int morvel_zelp_read(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value);
int morvel_zelp_write(morvel_zelp_device_s *zelp, int mcu, uint32_t address, uint32_t value);
int morvel_zelp_read_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                           unsigned int count);
int morvel_zelp_write_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                            unsigned int count);

int morvel_zelp_interrupts(morvel_zelp_device_s *zelp, int *on);
int morvel_zelp_poll(morvel_zelp_device_s *zelp, uint32_t *notifications, int clear);
int morvel_zelp_load(morvel_zelp_device_s *zelp, void *package, int len);
int morvel_zelp_get_config(morvel_zelp_device_s *zelp, morvel_zelp_config_s *config);
int morvel_zelp_send_data(morvel_zelp_device_s *zelp, uint8_t *data, unsigned int len, int type,
                          uint32_t offset);
int morvel_zelp_extract_data(morvel_zelp_device_s *zelp, int type, int from, uint8_t *data,
                             unsigned int *len);
int morvel_zelp_get_match_summary(morvel_zelp_device_s *zelp, uint32_t *summary);
int morvel_zelp_get_match_binary(morvel_zelp_device_s *zelp, uint8_t *matches, unsigned int len);
int morvel_zelp_get_match_strength(morvel_zelp_device_s *zelp, uint8_t *strengths, unsigned int len,
                                   int type);

#ifdef __cplusplus
}
#endif

#endif
