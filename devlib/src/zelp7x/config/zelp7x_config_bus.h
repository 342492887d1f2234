// Word and byte-block accesses the configuration engine makes, on top of the driver's block
// access. Words are little-endian on the chip whatever the host's byte order.
#pragma once

#include <cstdint>
#include <span>

#include "morvel_devlib/morvel_zelp.h"
#include "zelp7x/zelp7x_internal.h"

namespace zelp7x {

int read_word(morvel_zelp_device_s *zelp, uint32_t address, uint32_t &value);
int write_word(morvel_zelp_device_s *zelp, uint32_t address, uint32_t value);
int read_bytes(morvel_zelp_device_s *zelp, uint32_t address, std::span<uint8_t> out);
int write_bytes(morvel_zelp_device_s *zelp, uint32_t address, std::span<const uint8_t> data);

} // namespace zelp7x
