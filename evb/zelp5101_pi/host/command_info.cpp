// info: what the chip holds, one fact a line.
#include <cstdio>

#include "chip_info.h"
#include "host_commands.h"

namespace {

void print_text(const char *name, const std::optional<std::string> &text) {
    if (text) std::printf("%s: %.*s\n", name, static_cast<int>(text->size()), text->data());
}

} // namespace

int run_info(host_session &session, const command_args &) {
    chip_info info;
    if (const int s = read_chip_info(session.board(), info); s != 0) return s;
    std::printf("device type: 0x%02x\n", info.device_type);
    std::printf("secured: %s\n", info.secured ? "yes" : "no");
    std::printf("firmware: %s\n", info.firmware_running ? "running" : "not loaded");
    print_text("firmware version", info.firmware_version);
    print_text("parameters version", info.parameters_version);
    print_text("package version", info.package_version);
    if (info.labels_len != 0) std::printf("labels: %u bytes\n", info.labels_len);
    return MORVEL_ZELP_ERROR_NONE;
}
