// What the chip holds: its type, whether it boots secured, whether firmware runs, and the texts
// the loaded packages left in the host configuration area.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "host_record.h"

namespace {

constexpr unsigned text_capacity = MORVEL_ZELP7X_HOST_TEXT_SIZE;
constexpr uint32_t boot_rom_address = 0;
// A running firmware answers a request within a few polls; this is ample over any bridge.
constexpr unsigned int firmware_answer_ms = 250;

unsigned read_part(unsigned stored) {
    return std::min(stored, text_capacity);
}

// The text up to its first NUL, within what was read of it.
template <size_t N>
void copy_text(char (&to)[N], const char *text, unsigned stored) {
    const size_t n = strnlen(text, read_part(stored));
    std::memcpy(to, text, n);
    to[n] = '\0';
}

// Only a reset finds out whether the chip boots secured; a secured chip reads 0 in its first
// boot ROM word, so an adopted chip is asked the same way.
int chip_is_secured(morvel_zelp_device_s *zelp, int &secured) {
    secured = zelp->d.zelp7x.secured != 0;
    if (secured) return MORVEL_ZELP_ERROR_NONE;
    uint32_t word = 0;
    const int s = morvel_zelp_read(zelp, 1, boot_rom_address, &word);
    secured = s == 0 && word == 0;
    return s;
}

// The pointer table the library read may be the stale one of a firmware a reset has stopped (the
// RAM keeps the image), so only a firmware that answers counts as running.
int firmware_running(morvel_zelp7x_board_s *board, int &running) {
    const morvel_zelp7x_device_s &z = morvel_zelp7x_board_device(board)->d.zelp7x;
    running = 0;
    if (!z.fw_loaded && z.fw_state_addr == 0) return MORVEL_ZELP_ERROR_NONE;
    return morvel_zelp7x_board_probe_firmware(board, firmware_answer_ms, &running);
}

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

} // namespace

extern "C" {

int morvel_zelp7x_host_info(morvel_zelp7x_host_s *host, morvel_zelp7x_host_info_s *info) {
    return zhost::in_call(host, [&](morvel_zelp_device_s *zelp) -> int {
        if (info == nullptr) return MORVEL_ZELP_ERROR_ARG;
        *info = {};
        auto texts = std::make_unique<chip_texts>(); // 12 KiB: not on the caller's stack
        morvel_zelp_config_s c = texts->request();
        int s = chip_is_secured(zelp, info->secured);
        if (s == 0) s = morvel_zelp_get_config(zelp, &c);
        if (s == 0) s = firmware_running(host->board, info->firmware_running);
        if (s != 0) return s;
        info->device_type = zelp->device_type;
        copy_text(info->firmware_version, c.firmware_version, c.firmware_version_len);
        info->firmware_version_len = c.firmware_version_len;
        copy_text(info->parameters_version, c.parameters_version, c.parameters_version_len);
        info->parameters_version_len = c.parameters_version_len;
        copy_text(info->package_version, c.pkg_version, c.pkg_version_len);
        info->package_version_len = c.pkg_version_len;
        info->labels_len = c.labels_len;
        info->labels_read = read_part(c.labels_len);
        std::memcpy(info->labels, c.labels, info->labels_read);
        return MORVEL_ZELP_ERROR_NONE;
    });
}

int morvel_zelp7x_host_labels(morvel_zelp7x_host_s *host, uint8_t *labels, unsigned int room,
                              unsigned int *stored) {
    return zhost::in_call(host, [&](morvel_zelp_device_s *zelp) -> int {
        if ((labels == nullptr && room != 0) || stored == nullptr) return MORVEL_ZELP_ERROR_ARG;
        morvel_zelp_config_s c{};
        c.labels = reinterpret_cast<char *>(labels);
        c.labels_len = room;
        const int s = morvel_zelp_get_config(zelp, &c);
        *stored = s == 0 ? c.labels_len : 0;
        return s;
    });
}

} // extern "C"
