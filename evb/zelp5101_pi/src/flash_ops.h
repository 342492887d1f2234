// The tool's flash operations: MSPI primitives, SPI NOR flash commands, bulk read, program and
// verify, and the write and read steps of a run.
#pragma once

#include <cstdint>

#include "morvel_devlib/morvel_zelp.h"

struct run_options;

int flash_read_id(morvel_zelp_device_s *zelp, uint8_t *mfg, uint16_t *id);
int flash_erase(morvel_zelp_device_s *zelp, uint32_t address, uint32_t count, int quiet);
int flash_chip_erase(morvel_zelp_device_s *zelp, int quiet);

// Step 14 of a run: encode the image, program it and print the write summary line.
// Step 15: read back, decode, checksum, verify, dump or save, and print the read summary.
// Both return the process exit status they call for (0 to go on, 1 to stop).
int run_write_step(morvel_zelp_device_s *zelp, run_options &run);
int run_read_step(morvel_zelp_device_s *zelp, run_options &run);
