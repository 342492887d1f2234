// The firmware image of an ordinary load: the running firmware is stopped when the image is
// announced, the image is written piece by piece into the firmware RAM, and the new firmware is
// started and asked for its pointer table once the last piece is in.
#include <array>

#include "morvel_devlib/morvel_zelp7x_mailbox.h"
#include "zelp7x/load/zelp7x_package_handlers.h"
#include "zelp7x/zelp7x_registers.h"

using namespace zelp7x;
using namespace zelp7x::pkg;

namespace {

constexpr uint32_t TANK_ENABLE = 0x1;
// Held clear while the image is written; setting it lets the MCU run the new image.
constexpr uint32_t CLKCTL0_MCU_RUN = 0x400000;
// The firmware clears mbout once it runs; it does so within a few SPI reads.
constexpr int START_POLLS = 8000;

struct SpiWrite {
    uint32_t address;
    uint8_t value;
};

// Both host-written mailbox bytes back to their idle value, every pending cause cleared.
constexpr std::array<SpiWrite, 4> QUIET_MAILBOXES{{
    {ZELP7X_SPI_MBIN, 0x00},
    {ZELP7X_SPI_MBOUT_RESP, 0x00},
    {ZELP7X_SPI_INTSTS, ZELP7X_INTSTS_CLEAR_ALL},
    {ZELP7X_SPI_INTSTS, 0x00},
}};

uint8_t without_no_fw(uint8_t ctl) {
    return static_cast<uint8_t>(ctl & ~ZELP7X_CTL_NO_FW);
}

int stop_firmware(morvel_zelp_device_s *zelp) {
    morvel_zelp7x_device_s &z = record(zelp);
    // The tank stays off while the MCU is stopped; its setting comes back with the new firmware.
    int s = read_word(zelp, ZELP7X_MCU_TANK, z.tank);
    if (s == 0 && (z.tank & TANK_ENABLE))
        s = write_word(zelp, ZELP7X_MCU_TANK, z.tank & ~TANK_ENABLE);
    for (const SpiWrite &w : QUIET_MAILBOXES)
        if (s == 0) s = write_spi(zelp, w.address, w.value);
    if (s == 0)
        s = modify_word(zelp, ZELP7X_MCU_CLKCTL0, [](uint32_t v) { return v & ~CLKCTL0_MCU_RUN; });
    if (s == 0) s = modify_spi(zelp, ZELP7X_SPI_CTL, without_no_fw);
    if (s == 0) s = write_word(zelp, ZELP7X_MCU_RUN_CTL, 0);
    if (s == 0) s = write_word(zelp, ZELP7X_MCU_FWLOAD_PREP, ZELP7X_FWLOAD_PREP_VALUE);
    if (s == 0) morvel_zelp7x_reset_firmware_state(zelp);
    return s;
}

int wait_for_firmware(morvel_zelp_device_s *zelp) {
    for (int i = 0; i < START_POLLS; ++i) {
        uint8_t mbout = 0;
        if (const int s = read_spi(zelp, ZELP7X_SPI_MBOUT, &mbout); s != 0) return s;
        if (mbout == 0) return MORVEL_ZELP_ERROR_NONE;
    }
    return MORVEL_ZELP_ERROR_TIMEOUT;
}

int start_firmware(morvel_zelp_device_s *zelp) {
    morvel_zelp7x_device_s &z = record(zelp);
    int s = modify_word(zelp, ZELP7X_MCU_CLKCTL0, [](uint32_t v) { return v | CLKCTL0_MCU_RUN; });
    if (s == 0) s = modify_spi(zelp, ZELP7X_SPI_CTL, without_no_fw);
    if (s == 0) s = wait_for_firmware(zelp);
    if (s != 0) return s;
    // A firmware without a pointer table refuses the request; it still runs.
    s = morvel_zelp7x_do_mailbox_req_no_sync(zelp, MORVEL_ZELP7X_MB_REQUEST_MIADDR);
    if (s != 0 && s != MORVEL_ZELP_ERROR_FAIL) return s;
    z.fw_loaded = 1;
    s = morvel_zelp7x_load_fw_pointers(zelp);
    if (s == 0) s = write_word(zelp, ZELP7X_MCU_TANKADDR, z.tank_address);
    if (s == 0) s = write_word(zelp, ZELP7X_MCU_TANK, z.tank);
    return s;
}

} // namespace

extern "C" int morvel_zelp7x_pkg_parse_firmware_tlv(morvel_zelp_device_s *zelp) {
    const Reader &p = reader(zelp);
    int s = MORVEL_ZELP_ERROR_NONE;
    if (announced(p)) {
        s = stop_firmware(zelp);
    } else if (piece_ready(p)) {
        const Piece piece = piece_of(p);
        s = write_padded(zelp, ZELP7X_MCU_FW_RAM + piece.offset, piece.bytes);
    }
    // Checked as "complete" rather than by length alone, so an empty image starts only once.
    if (s == 0 && complete(p)) s = start_firmware(zelp);
    return s;
}
