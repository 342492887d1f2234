/* Board I/O over the USB bridge: register transfers, bridge commands and timers. */
#ifndef ZELP_LINUX_IO_H
#define ZELP_LINUX_IO_H

#include <stdint.h>

#include "morvel_evb_io.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum zelp_io_device_type_e {
    ZELP_IO_DEVICE_TYPE_SPI = 0,
    ZELP_IO_DEVICE_TYPE_LINUX_DRIVER = 1,
    ZELP_IO_DEVICE_TYPE_USB = 2
} zelp_io_device_type_e;

typedef struct zelp_io_init_args {
    char *spidev; /* port name; NULL: find the first supported bridge */
    int spi_default_speed;
    int spi_mcu_read_speed;
    int spi_pcm_input_speed;
    int spi_split;
    int spi_read_delay;
    int gpio;
    int usb_int_enable;
    int device_type; /* output */
    int fd;
} zelp_io_init_args;

/* Bridge flash block commands. */
#define ATMEL_DONGLE_FW_FLASH_WRITE 16
#define ATMEL_DONGLE_FW_FLASH_READ 17
#define ATMEL_DONGLE_FW_FLASH_START_OF_FILE 19

extern int zelp_linux_io_transfer_debug;
extern int zelp_usb_debug;

int zelp_linux_io_init(zelp_io_init_args *init_args, morvel_evb_io_handle_t *d);
int zelp_linux_io_transfer(morvel_evb_io_handle_t d, int mcu, uint32_t addr, void *outp, void *inp,
                           int count);
int zelp_linux_io_wait(morvel_evb_io_handle_t d, int timeout, unsigned int device_type);
int zelp_linux_io_uninit(morvel_evb_io_handle_t d);

int zelp_linux_io_usb_serial_flash_rw_command(morvel_evb_io_handle_t d, int command, uint32_t addr,
                                              uint8_t *data, uint16_t len);

#ifdef __cplusplus
}
#endif

#endif
