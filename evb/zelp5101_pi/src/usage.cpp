#include "usage.h"

#include <array>
#include <cstdio>

#include "tool_options.h"

namespace {

// A line each, printed with puts; the first is empty.
constexpr std::array usage_lines{
    "",
    "usage: zelp7x_flash [options]",
    "",
    "general:",
    " -3                 use 3 byte encoding",
    " -a <address>       flash address -- default 0",
    " -A                 write an Atmel dongle file -- default 0",
    " -b <value>         SPI read delay bytes -- default 1",
    " -B default[:mcuread[:samplewrite]] SPI speeds -- default 1000000:1000000:1000000 bits/s",
    " -c <count>         flash byte count -- default 16",
    " -d                 print device ID information",
    " -e                 erase 'count' bytes from 'address' (expanded 4K sector boundaries)",
    " -E                 erase the entire flash chip",
    usage_clock,
    " -h                 this help message",
    " -q                 quiet -- only summary printouts",
    " -Q                 use accelerated r/w operations via firmware",
    " -r file            read file, '-' -> stdout",
    " -R                 read and checksum flash",
    usage_port,
    usage_type,
    " -U                 enable split spi messages -- default 0",
    " -v file            verify file",
    " -w file            write file",
};

constexpr std::array extension_lines{
    "extensions:",
    " --skip-unchanged   with -w, read the flash first and erase and program only the",
    "                    sectors and pages that differ (-e: erase only what is not blank)",
    " --help             this help message and the long options",
    usage_version,
    usage_list,
    usage_serial,
    usage_rfc2217,
    usage_rfc2217_what,
};

void print_lines(const auto &lines) {
    for (const char *line : lines) std::puts(line);
}

} // namespace

void usage_cmd_line() {
    print_lines(usage_lines);
}

void usage_with_extensions() {
    usage_cmd_line();
    print_lines(extension_lines);
}
