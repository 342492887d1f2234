#include "chip_info.h"

#include <array>
#include <cstring>

#include "morvel_devlib/morvel_zelp7x.h"

namespace {

// Room for the whole host configuration area, whichever text fills it.
constexpr unsigned text_capacity = 3072;
constexpr uint32_t boot_rom_address = 0;
// A running firmware answers a request within a few polls; this is ample over any bridge.
constexpr unsigned int firmware_answer_ms = 250;

struct chip_texts {
    std::array<char, text_capacity> firmware{}, parameters{}, labels{}, package{};

    morvel_zelp_config_s request() {
        morvel_zelp_config_s c{};
        c.firmware_version = firmware.data();
        c.firmware_version_len = text_capacity;
        c.parameters_version = parameters.data();
        c.parameters_version_len = text_capacity;
        c.labels = labels.data();
        c.labels_len = text_capacity;
        c.pkg_version = package.data();
        c.pkg_version_len = text_capacity;
        return c;
    }
};

unsigned read_part(unsigned stored) {
    return stored < text_capacity ? stored : text_capacity;
}

// The text up to its first NUL, within what was read of it.
std::optional<std::string> text_of(const char *text, unsigned stored) {
    if (stored == 0) return std::nullopt;
    return std::string(text, strnlen(text, read_part(stored)));
}

// Only a reset finds out whether the chip boots secured; a secured chip reads 0 in its first
// boot ROM word, so an adopted chip is asked the same way.
int chip_is_secured(morvel_zelp_device_s *zelp, bool &secured) {
    secured = zelp->d.zelp7x.secured != 0;
    if (secured) return MORVEL_ZELP_ERROR_NONE;
    uint32_t word = 0;
    const int s = morvel_zelp_read(zelp, 1, boot_rom_address, &word);
    secured = s == 0 && word == 0;
    return s;
}

// The pointer table the library read may be the stale one of a firmware a reset has stopped (the
// RAM keeps the image), so only a firmware that answers counts as running.
int firmware_running(morvel_zelp7x_board_s *board, bool &running) {
    const morvel_zelp7x_device_s &z = morvel_zelp7x_board_device(board)->d.zelp7x;
    running = false;
    if (!z.fw_loaded && z.fw_state_addr == 0) return MORVEL_ZELP_ERROR_NONE;
    int answers = 0;
    const int s = morvel_zelp7x_board_probe_firmware(board, firmware_answer_ms, &answers);
    running = answers != 0;
    return s;
}

} // namespace

int read_chip_info(morvel_zelp7x_board_s *board, chip_info &info) {
    morvel_zelp_device_s *zelp = morvel_zelp7x_board_device(board);
    chip_texts texts;
    morvel_zelp_config_s c = texts.request();
    int s = chip_is_secured(zelp, info.secured);
    if (s == 0) s = morvel_zelp_get_config(zelp, &c);
    if (s == 0) s = firmware_running(board, info.firmware_running);
    if (s != 0) return s;
    info.device_type = zelp->device_type;
    info.firmware_version = text_of(c.firmware_version, c.firmware_version_len);
    info.parameters_version = text_of(c.parameters_version, c.parameters_version_len);
    info.package_version = text_of(c.pkg_version, c.pkg_version_len);
    info.labels_len = c.labels_len;
    const auto *labels = reinterpret_cast<const uint8_t *>(c.labels);
    info.labels.assign(labels, labels + read_part(c.labels_len));
    return MORVEL_ZELP_ERROR_NONE;
}
