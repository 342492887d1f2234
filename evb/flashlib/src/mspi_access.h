// The chip's master-SPI port as the tool drives it: each step one 32-bit register access through
// the device library. A register access that fails throws flash_failure naming the access.
#pragma once

#include <cstdint>

#include "morvel_devlib/morvel_zelp.h"

namespace zflash {

constexpr uint32_t MSPI_CONTROL_ADDRESS = 0x40009014;
constexpr uint32_t MSPI_TRANSMIT_ADDRESS = 0x40009018;
constexpr uint32_t MSPI_RECEIVE_ADDRESS = 0x4000901C;

// The control word for `mode` and a transfer of `bytes` (1 to 4); bit 8 is always set.
constexpr uint32_t mspi_control_word(int mode, int bytes) {
    return static_cast<uint32_t>(mode) | static_cast<uint32_t>(bytes - 1) << 2 | 0x100u;
}

void mspi_ctl(morvel_zelp_device_s *zelp, int mode, int bytes);
void mspi_mode(morvel_zelp_device_s *zelp, int mode);
// First transfer of an open transaction: load the transmit word, shift its low `bytes` out.
void mspi_write(morvel_zelp_device_s *zelp, uint32_t v, int bytes);
// A following transfer that sends data.
void mspi_write_next(morvel_zelp_device_s *zelp, uint32_t v, int bytes);
// A following transfer that fetches data: the first byte clocked in is bits 7:0 of *v.
void mspi_read(morvel_zelp_device_s *zelp, uint32_t *v, int bytes);
// The same with the receive word's four bytes stored at `out` as they came off the bus, straight
// from the register read, so a pipelined read can fill them in later.
void mspi_read_bytes(morvel_zelp_device_s *zelp, uint8_t *out, int bytes);
// One whole short transaction; `r`, when given, receives what was clocked in.
void mspi_rw(morvel_zelp_device_s *zelp, uint32_t w, uint32_t *r, int bytes);

} // namespace zflash
