// Functions the zelp7x driver's files share but the library does not publish.
//
// The configuration engine (devlib/src/morvel_zelp7x_config*.cpp) defines the three functions of
// the first block; init and restart call them by exactly these signatures. restore_config itself
// lives with restart (morvel_zelp7x_init.cpp).
#pragma once

#include <cstdint>

#include "api/host_lock.h"
#include "morvel_devlib/morvel_zelp.h"

typedef struct morvel_zelp7x_config_s morvel_zelp7x_config_s;
typedef struct morvel_zelp7x_config_state_s morvel_zelp7x_config_state_s;

extern "C" {

// ---- Configuration engine, called by restart ----------------------------------------------

// Reads the chip's configuration registers (and firmware words when firmware runs) into st.
int morvel_zelp7x_config_read_state(morvel_zelp_device_s *zelp, morvel_zelp7x_config_state_s *st);
// Derives the input settings of config from the mirror and caches them in the device record.
void morvel_zelp7x_config_get_input(morvel_zelp7x_config_state_s *st,
                                    morvel_zelp7x_config_s *config, morvel_zelp7x_device_s *zelp7x);
// Reads the host configuration area; counts the labels into *classes when classes is not null.
int morvel_zelp7x_access_config(morvel_zelp_device_s *zelp, morvel_zelp_config_s *config,
                                unsigned int *classes);

// ---- Secured memory path ------------------------------------------------------------------

// 1 when [address, address + count] lies inside an open window (always on a chip not secured).
int morvel_zelp7x_check_open_mcu(morvel_zelp_device_s *zelp, uint32_t address, unsigned int count);
// Runs one secure memory access operation of the firmware on the block's current contents.
int morvel_zelp7x_run_smap_op(morvel_zelp_device_s *zelp, int op, uint32_t address,
                              unsigned int count);
// Moves one piece of at most ZELP7X_FW_SMAP_DATA_SIZE bytes through the block.
int morvel_zelp7x_secured_mcu_transfer(morvel_zelp_device_s *zelp, int read, uint32_t address,
                                       void *value, unsigned int count);

// ---- Mailbox state machines ---------------------------------------------------------------

uint8_t morvel_zelp7x_do_host_to_mcu(morvel_zelp7x_device_s *zelp7x, uint8_t mbin_resp,
                                     uint8_t mbin_next, int *wake);
uint8_t morvel_zelp7x_do_mcu_to_host(morvel_zelp7x_device_s *zelp7x, uint8_t mbin_resp,
                                     uint8_t mbin_next);
void morvel_zelp7x_tx_mb_data(morvel_zelp7x_device_mb_state_s *mb, unsigned int bits,
                              const uint8_t *data);
void morvel_zelp7x_rx_mb_data(morvel_zelp7x_device_mb_state_s *mb, unsigned int bits);
uint8_t morvel_zelp7x_tx_next_mb_data(morvel_zelp7x_device_mb_state_s *mb, int *last);
void morvel_zelp7x_rx_next_mb_data(morvel_zelp7x_device_mb_state_s *mb, uint8_t d, int *last);
void morvel_zelp7x_inc_uint8(uint8_t *p);

} // extern "C"

namespace zelp7x {

inline morvel_zelp7x_device_s &record(morvel_zelp_device_s *zelp) {
    return zelp->d.zelp7x;
}

// One call of the host's transfer callback; the callback's code is passed up unchanged.
inline int bus_transfer(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *out, void *in,
                        unsigned int count) {
    return zelp->iif.transfer(zelp->iif.d, mcu, address, out, in, count);
}

inline constexpr int SPI = 0;
inline constexpr int MCU = 1;

// Little-endian word of four bytes, independent of the host's byte order.
inline constexpr uint32_t load_le32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline constexpr void store_le32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Runs a driver operation for a public entry of its own: a handle not initialised is refused,
// the rest runs under the host's lock.
template <typename Op>
int with_host_lock(morvel_zelp_device_s *zelp, Op &&op) {
    if (zelp == nullptr || zelp->init == 0) return MORVEL_ZELP_ERROR_UNINIT;
    return devlib::with_host_lock(zelp->iif, op);
}

// Single-register helpers with typed results.
int read_spi(morvel_zelp_device_s *zelp, uint32_t address, uint8_t *value);
int write_spi(morvel_zelp_device_s *zelp, uint32_t address, uint8_t value);
int read_mcu(morvel_zelp_device_s *zelp, uint32_t address, uint32_t *value);
int write_mcu(morvel_zelp_device_s *zelp, uint32_t address, uint32_t value);

// The same through the generic API, which checks the handle and takes the host's lock for each
// access: for public functions that run outside the driver table.
int generic_read_mcu(morvel_zelp_device_s *zelp, uint32_t address, uint32_t *value);
int generic_write_mcu(morvel_zelp_device_s *zelp, uint32_t address, uint32_t value);

} // namespace zelp7x
