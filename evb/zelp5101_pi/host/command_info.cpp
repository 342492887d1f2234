// info: what the chip holds, one fact a line.
#include <cstdio>
#include <memory>

#include "host_commands.h"

namespace {

void print_text(const char *name, const char *text, unsigned int stored) {
    if (stored != 0) std::printf("%s: %s\n", name, text);
}

} // namespace

int run_info(morvel_zelp7x_host_s *host, const command_args &) {
    const auto info = std::make_unique<morvel_zelp7x_host_info_s>();
    if (const int s = morvel_zelp7x_host_info(host, info.get()); s != 0) return s;
    std::printf("device type: 0x%02x\n", info->device_type);
    std::printf("secured: %s\n", info->secured ? "yes" : "no");
    std::printf("firmware: %s\n", info->firmware_running ? "running" : "not loaded");
    print_text("firmware version", info->firmware_version, info->firmware_version_len);
    print_text("parameters version", info->parameters_version, info->parameters_version_len);
    print_text("package version", info->package_version, info->package_version_len);
    if (info->labels_len != 0) std::printf("labels: %u bytes\n", info->labels_len);
    return MORVEL_ZELP_ERROR_NONE;
}
