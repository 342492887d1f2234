#include "mspi_access.h"

#include "flash_constants.h"
#include "flash_session.h"

namespace zflash {

namespace {

constexpr int mcu_space = 1;

void write_register(morvel_zelp_device_s *zelp, uint32_t address, uint32_t v, const char *what) {
    check_call(what, morvel_zelp_write(zelp, mcu_space, address, v));
}

void read_receive_bytes(morvel_zelp_device_s *zelp, uint8_t *out, const char *what) {
    check_call(what, morvel_zelp_read(zelp, mcu_space, MSPI_RECEIVE_ADDRESS, out));
}

// The receive word arrives as four little-endian bytes whatever the host's byte order.
uint32_t word_of(const uint8_t (&b)[4]) {
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

} // namespace

void mspi_ctl(morvel_zelp_device_s *zelp, int mode, int bytes) {
    write_register(zelp, MSPI_CONTROL_ADDRESS, mspi_control_word(mode, bytes), "mspi ctl write");
}

void mspi_mode(morvel_zelp_device_s *zelp, int mode) {
    mspi_ctl(zelp, mode, 1);
}

void mspi_write(morvel_zelp_device_s *zelp, uint32_t v, int bytes) {
    write_register(zelp, MSPI_TRANSMIT_ADDRESS, v, "mspi spitx write");
    mspi_ctl(zelp, MSPI_TRANSFER, bytes);
}

void mspi_write_next(morvel_zelp_device_s *zelp, uint32_t v, int bytes) {
    mspi_mode(zelp, MSPI_UPDATE);
    mspi_write(zelp, v, bytes);
}

void mspi_read(morvel_zelp_device_s *zelp, uint32_t *v, int bytes) {
    uint8_t b[4] = {};
    mspi_read_bytes(zelp, b, bytes);
    *v = word_of(b);
}

void mspi_read_bytes(morvel_zelp_device_s *zelp, uint8_t *out, int bytes) {
    mspi_mode(zelp, MSPI_UPDATE);
    mspi_ctl(zelp, MSPI_TRANSFER, bytes);
    read_receive_bytes(zelp, out, "mspi read");
}

void mspi_rw(morvel_zelp_device_s *zelp, uint32_t w, uint32_t *r, int bytes) {
    mspi_mode(zelp, MSPI_ENABLE);
    mspi_write(zelp, w, bytes);
    mspi_mode(zelp, MSPI_IDLE);
    if (r == nullptr) return;
    uint8_t b[4] = {};
    read_receive_bytes(zelp, b, "mspi rw read");
    *r = word_of(b);
}

} // namespace zflash
