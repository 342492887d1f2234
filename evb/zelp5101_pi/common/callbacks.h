// The tool's side of the device library's integration interfaces.
#pragma once

#include <cstdint>

#include "morvel_devlib/morvel_zelp.h"
#include "zelp_linux_io.h"

// The -t device type; 0 means read it from the chip's SPI register 0.
extern int device_type;

void *zelp7x_flash_malloc(int size);
void zelp7x_flash_free(void *p);
int zelp7x_flash_mbwait(morvel_zelp_handle_t d);
int zelp7x_flash_get_type(morvel_zelp_handle_t d, unsigned int *type);
int zelp7x_flash_sync(morvel_zelp_handle_t d);
int zelp7x_flash_unsync(morvel_zelp_handle_t d);
// The board I/O layer's transfer behind the library's callback type (unsigned count).
int zelp7x_flash_transfer(morvel_zelp_handle_t d, int mcu, uint32_t address, void *out, void *in,
                          unsigned int count);

// The record the library is started with, over the opened board `io`.
morvel_zelp_integration_interfaces_s zelp7x_flash_interfaces(morvel_evb_io_handle_t io);
