// The boot loader's mailbox: 7-bit codes with an owner toggle in bit 7. The boot loader asks on
// mbout and the host answers on mbout_resp; the host asks on mbin and the boot loader answers on
// mbin_resp. Each filled open-RAM window is handed over with one burst request.
#include "zelp7x/zelp7x_internal.h"
#include "zelp7x/zelp7x_registers.h"

namespace {

using namespace zelp7x;

// The boot loader answers within a few SPI reads; this bounds a silent one.
constexpr int wait_polls = 8000;

constexpr uint8_t owner = MORVEL_ZELP7X_BOOT_MB_OWNER_MASK;
constexpr uint8_t payload_mask = MORVEL_ZELP7X_BOOT_MB_PAYLOAD_MASK;

int burst_result(uint8_t payload) {
    if (payload == MORVEL_ZELP7X_BOOT_MB_RESPONSE_DONE) return MORVEL_ZELP_ERROR_NONE;
    if (payload == MORVEL_ZELP7X_BOOT_MB_RESPONSE_MORE) return MORVEL_ZELP_ERROR_MORE;
    if ((payload & ~MORVEL_ZELP7X_BOOT_MB_ERROR_MASK) == MORVEL_ZELP7X_BOOT_MB_RESPONSE_ERROR) {
        // Error 0 is the loader's own failure; any other code is a fault in the image.
        return (payload & MORVEL_ZELP7X_BOOT_MB_ERROR_MASK) ==
                       MORVEL_ZELP7X_BOOT_MB_RESPONSE_ERROR_FAIL
                   ? MORVEL_ZELP_ERROR_FAIL
                   : MORVEL_ZELP_ERROR_PACKAGE;
    }
    return MORVEL_ZELP_ERROR_FAIL;
}

// The mailbox raised an interrupt; acknowledge it whatever the wait found.
int acknowledge_interrupt(morvel_zelp_device_s *zelp) {
    uint8_t intsts = 0;
    const int s = read_spi(zelp, ZELP7X_SPI_INTSTS, &intsts);
    if (s != 0) return s;
    return write_spi(zelp, ZELP7X_SPI_INTSTS, intsts);
}

} // namespace

extern "C" {

int morvel_zelp7x_wait_mb(morvel_zelp_device_s *zelp, uint32_t address, uint8_t owner_bit,
                          uint8_t *vp) {
    uint8_t value = 0;
    bool matched = false;
    for (int i = 0; i < wait_polls && !matched; ++i) {
        const int s = read_spi(zelp, address, &value);
        if (s != 0) return s;
        matched = (value & owner) == owner_bit;
    }
    const int s = acknowledge_interrupt(zelp);
    if (s != 0) return s;
    if (!matched) return MORVEL_ZELP_ERROR_TIMEOUT;
    if (vp != nullptr) *vp = value;
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_boot_start(morvel_zelp_device_s *zelp) {
    uint8_t request = 0;
    int s = morvel_zelp7x_wait_mb(zelp, ZELP7X_SPI_MBOUT, owner, &request);
    if (s != 0) return s;
    if ((request & payload_mask) != MORVEL_ZELP7X_BOOT_MB_REQUEST_BOOTING)
        return MORVEL_ZELP_ERROR_FAIL;
    s = write_spi(zelp, ZELP7X_SPI_MBOUT_RESP, owner);
    if (s == 0) s = write_spi(zelp, ZELP7X_SPI_MBIN, owner | MORVEL_ZELP7X_BOOT_MB_REQUEST_LOAD);
    if (s != 0) return s;
    uint8_t answer = 0;
    s = morvel_zelp7x_wait_mb(zelp, ZELP7X_SPI_MBIN_RESP, owner, &answer);
    if (s != 0) return s;
    return (answer & payload_mask) == MORVEL_ZELP7X_BOOT_MB_RESPONSE_MORE ? MORVEL_ZELP_ERROR_NONE
                                                                          : MORVEL_ZELP_ERROR_FAIL;
}

int morvel_zelp7x_boot_burst(morvel_zelp_device_s *zelp) {
    uint8_t mbin = 0;
    int s = read_spi(zelp, ZELP7X_SPI_MBIN, &mbin);
    if (s != 0) return s;
    const uint8_t request =
        static_cast<uint8_t>(((mbin & owner) ^ owner) + MORVEL_ZELP7X_BOOT_MB_REQUEST_BURST);
    s = write_spi(zelp, ZELP7X_SPI_MBIN, request);
    if (s != 0) return s;
    uint8_t answer = 0;
    s = morvel_zelp7x_wait_mb(zelp, ZELP7X_SPI_MBIN_RESP, request & owner, &answer);
    if (s != 0) return s;
    return burst_result(answer & payload_mask);
}

} // extern "C"
