// info: what the chip holds, one fact a line.
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "host_commands.h"
#include "host_mailbox_wait.h"
#include "morvel_devlib/morvel_zelp7x.h"

namespace {

// Room for the whole host configuration area, whichever text fills it.
constexpr unsigned text_capacity = 3072;
constexpr uint32_t boot_rom_address = 0;
// A running firmware answers a request within a few polls; this is ample over any bridge.
constexpr std::chrono::milliseconds firmware_answer_bound{250};

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

// The text up to its first NUL, within what was read of it.
void print_text(const char *name, const char *text, unsigned stored) {
    if (stored == 0) return;
    const size_t read = stored < text_capacity ? stored : text_capacity;
    std::printf("%s: %.*s\n", name, static_cast<int>(strnlen(text, read)), text);
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
int firmware_running(morvel_zelp_device_s *zelp, bool &running) {
    const morvel_zelp7x_device_s &z = zelp->d.zelp7x;
    running = false;
    if (!z.fw_loaded && z.fw_state_addr == 0) return MORVEL_ZELP_ERROR_NONE;
    return probe_firmware(zelp, firmware_answer_bound, running);
}

} // namespace

int run_info(host_session &session, const command_args &) {
    morvel_zelp_device_s *zelp = session.zelp();
    chip_texts texts;
    morvel_zelp_config_s c = texts.request();
    bool secured = false;
    bool running = false;
    int s = chip_is_secured(zelp, secured);
    if (s == 0) s = morvel_zelp_get_config(zelp, &c);
    if (s == 0) s = firmware_running(zelp, running);
    if (s != 0) return s;
    std::printf("device type: 0x%02x\n", zelp->device_type);
    std::printf("secured: %s\n", secured ? "yes" : "no");
    std::printf("firmware: %s\n", running ? "running" : "not loaded");
    print_text("firmware version", c.firmware_version, c.firmware_version_len);
    print_text("parameters version", c.parameters_version, c.parameters_version_len);
    print_text("package version", c.pkg_version, c.pkg_version_len);
    if (c.labels_len != 0) std::printf("labels: %u bytes\n", c.labels_len);
    return MORVEL_ZELP_ERROR_NONE;
}
