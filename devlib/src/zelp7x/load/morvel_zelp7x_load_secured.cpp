// Loading firmware into a chip that booted secured: the host cannot write the firmware RAM, so
// the package goes, still enciphered, through the boot loader's 1024-byte open-RAM window. The
// host reads only the tag and length words on the way, to keep the firmware version text and to
// stop right after the checksum record.
#include <algorithm>
#include <array>
#include <span>

#include "morvel_devlib/morvel_zelp7x_mailbox.h"
#include "morvel_devlib/morvel_zelp7x_package_parser.h"
#include "zelp7x/config/zelp7x_config_bus.h"
#include "zelp7x/zelp7x_internal.h"
#include "zelp7x/zelp7x_registers.h"

using namespace zelp7x;

namespace {

constexpr uint32_t LENGTH_UNREAD = 0xFFFFFFFF;
constexpr uint32_t WORD = 4;
constexpr unsigned FW_VERSION_CAPACITY = sizeof(morvel_zelp7x_device_s::secured_fw_ver);

uint32_t round_up_to_word(uint32_t n) {
    return (n + WORD - 1) & ~(WORD - 1);
}

// The version text's length was checked against the buffer when it was read; the copy stays
// inside the buffer whatever state an abandoned load left behind.
void keep_version_bytes(morvel_zelp7x_device_s &z, std::span<const uint8_t> bytes) {
    if (z.tlv_parsed >= FW_VERSION_CAPACITY) return;
    const size_t room = FW_VERSION_CAPACITY - z.tlv_parsed;
    std::ranges::copy(bytes.first(std::min(bytes.size(), room)), z.secured_fw_ver + z.tlv_parsed);
}

// Walks the piece's words with the scanner state kept in the record, so a record may be cut
// anywhere between pieces. Sets `cut` to the bytes to send: all of them, or those up to the end
// of the checksum record.
int scan(morvel_zelp7x_device_s &z, std::span<const uint8_t> piece, size_t &cut) {
    cut = piece.size();
    size_t p = 0;
    while (p < piece.size()) {
        if (z.tlv_len == z.tlv_parsed) {
            z.tlv_tag = load_le32(&piece[p]);
            z.tlv_len = LENGTH_UNREAD;
            z.tlv_parsed = 0;
            p += WORD;
        } else if (z.tlv_len == LENGTH_UNREAD) {
            z.tlv_len = load_le32(&piece[p]);
            p += WORD;
            if (z.tlv_tag == TAG_FIRMWARE_VERSION_STRING_V1 && z.tlv_len > FW_VERSION_CAPACITY) {
                z.tlv_len = z.tlv_parsed = 0; // forget the refused record
                return MORVEL_ZELP_ERROR_PACKAGE;
            }
        } else {
            const uint32_t remaining = z.tlv_len - z.tlv_parsed;
            const auto available = static_cast<uint32_t>(piece.size() - p);
            if (z.tlv_tag == TAG_FIRMWARE_VERSION_STRING_V1)
                keep_version_bytes(z, piece.subspan(p, std::min(remaining, available)));
            if (remaining > available) {
                z.tlv_parsed += available;
                return MORVEL_ZELP_ERROR_NONE;
            }
            p += round_up_to_word(remaining);
            z.tlv_parsed = z.tlv_len;
            if (z.tlv_tag == TAG_CHECKSUM) {
                cut = p;
                return MORVEL_ZELP_ERROR_NONE;
            }
            if (z.tlv_tag == TAG_FIRMWARE_VERSION_STRING_V1) z.secured_fw_ver_len = z.tlv_len;
        }
    }
    return MORVEL_ZELP_ERROR_NONE;
}

// Fills the open-RAM window and hands each fill to the boot loader, for as long as it asks for
// more. Answers the last burst's result, or MORE when there was nothing to send.
int send(morvel_zelp_device_s *zelp, std::span<const uint8_t> bytes) {
    morvel_zelp7x_device_s &z = record(zelp);
    // Only a load begun with a start call has a fill position of its own.
    uint32_t fill = z.load_offset < ZELP7X_OPEN_RAM_SIZE ? z.load_offset : 0;
    int s = MORVEL_ZELP_ERROR_MORE;
    while (!bytes.empty() && s == MORVEL_ZELP_ERROR_MORE) {
        const size_t n = std::min<size_t>(bytes.size(), ZELP7X_OPEN_RAM_SIZE - fill);
        if (const int w = write_bytes(zelp, ZELP7X_OPEN_RAM_BASE + fill, bytes.first(n)); w != 0)
            return w;
        bytes = bytes.subspan(n);
        fill += static_cast<uint32_t>(n);
        if (fill == ZELP7X_OPEN_RAM_SIZE || bytes.empty()) {
            fill = 0;
            s = morvel_zelp7x_boot_burst(zelp);
        }
    }
    z.load_offset = fill;
    return s;
}

// The mailbox-in interrupt was masked for the boot loader's exchange; a load that ends, well or
// not, unmasks it. A failure to do so replaces the result.
int end_boot(morvel_zelp_device_s *zelp, int result) {
    const int s = write_spi(zelp, ZELP7X_SPI_INTCTL, static_cast<uint8_t>(record(zelp).intctl));
    return s != 0 ? s : result;
}

// The boot loader has taken the whole image: it hands the mailbox over to the new firmware.
int leave_boot_loader(morvel_zelp_device_s *zelp) {
    uint8_t last = 0;
    // Whatever the boot loader last posted is of no further use; only the hand-over matters.
    (void)morvel_zelp7x_wait_mb(zelp, ZELP7X_SPI_MBOUT, 0, &last);
    return write_spi(zelp, ZELP7X_SPI_MBIN, 0);
}

struct WindowRegister {
    uint32_t address;
    uint32_t *(*field)(morvel_zelp7x_device_s &);
};

constexpr std::array<WindowRegister, 4> WINDOW_REGISTERS{{
    {ZELP7X_MCU_ADDRPROTLO0, [](morvel_zelp7x_device_s &z) { return &z.addrprotlo[0]; }},
    {ZELP7X_MCU_ADDRPROTHI0, [](morvel_zelp7x_device_s &z) { return &z.addrprothi[0]; }},
    {ZELP7X_MCU_ADDRPROTLO1, [](morvel_zelp7x_device_s &z) { return &z.addrprotlo[1]; }},
    {ZELP7X_MCU_ADDRPROTHI1, [](morvel_zelp7x_device_s &z) { return &z.addrprothi[1]; }},
}};

// The windows the secure boot opened; kept only once all four are known, so a failed read
// leaves the record's windows consistent.
int read_open_windows(morvel_zelp_device_s *zelp) {
    std::array<uint32_t, WINDOW_REGISTERS.size()> bounds{};
    for (size_t i = 0; i < bounds.size(); ++i)
        if (const int s = read_word(zelp, WINDOW_REGISTERS[i].address, bounds[i]); s != 0) return s;
    for (size_t i = 0; i < bounds.size(); ++i) *WINDOW_REGISTERS[i].field(record(zelp)) = bounds[i];
    return MORVEL_ZELP_ERROR_NONE;
}

int adopt_new_firmware(morvel_zelp_device_s *zelp) {
    morvel_zelp7x_device_s &z = record(zelp);
    int s = morvel_zelp7x_do_mailbox_req_no_sync(zelp, MORVEL_ZELP7X_MB_REQUEST_MIADDR);
    if (s != 0 && s != MORVEL_ZELP_ERROR_FAIL) return s;
    z.fw_loaded = 1;
    s = read_open_windows(zelp);
    if (s == 0) s = morvel_zelp7x_load_fw_pointers(zelp);
    if (s == 0) s = write_word(zelp, ZELP7X_MCU_TANKADDR, z.tank_address);
    if (s == 0) s = write_word(zelp, ZELP7X_MCU_HOST_CONFIG_INPUT_CLOCK, z.input_clock_rate);
    if (s == 0) s = write_word(zelp, ZELP7X_MCU_HOST_CONFIG_VALID, 0);
    if (s != 0) return s;
    return morvel_zelp7x_pkg_parse_store_version(zelp, TAG_FIRMWARE_VERSION_STRING_V1,
                                                 z.secured_fw_ver, z.secured_fw_ver_len);
}

int start_secured_load(morvel_zelp_device_s *zelp) {
    morvel_zelp7x_device_s &z = record(zelp);
    if (z.fw_loaded) return MORVEL_ZELP_ERROR_FAIL;
    z.tlv_len = z.tlv_parsed = z.load_offset = z.secured_fw_ver_len = 0;
    uint8_t intctl = 0;
    int s = read_spi(zelp, ZELP7X_SPI_INTCTL, &intctl);
    if (s != 0) return s;
    z.intctl = intctl;
    // The boot loader's answers must not be taken for firmware mailbox traffic.
    s = write_spi(zelp, ZELP7X_SPI_INTCTL,
                  static_cast<uint8_t>(intctl & ~ZELP7X_INTSTS_MAILBOX_IN));
    if (s != 0) return s;
    s = morvel_zelp7x_boot_start(zelp);
    return s != 0 ? end_boot(zelp, s) : MORVEL_ZELP_ERROR_MORE;
}

int load_secured_piece(morvel_zelp_device_s *zelp, std::span<const uint8_t> piece) {
    size_t cut = 0;
    int s = scan(record(zelp), piece, cut);
    if (s == 0) s = send(zelp, piece.first(cut));
    if (s == MORVEL_ZELP_ERROR_MORE) return s;
    if (s == 0) s = leave_boot_loader(zelp);
    s = end_boot(zelp, s);
    return s != 0 ? s : adopt_new_firmware(zelp);
}

} // namespace

extern "C" int morvel_zelp7x_load_secured_firmware(morvel_zelp_device_s *zelp, void *chunk,
                                                   unsigned int len) {
    if (zelp == nullptr) return MORVEL_ZELP_ERROR_ARG;
    if (len == 0) return start_secured_load(zelp);
    if (chunk == nullptr || len % WORD != 0) return MORVEL_ZELP_ERROR_ARG;
    return load_secured_piece(zelp, std::span(static_cast<const uint8_t *>(chunk), len));
}
