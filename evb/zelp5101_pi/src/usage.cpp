#include "usage.h"

#include <cstdio>

namespace {

// puts() adds the final newline after "write file".
constexpr const char *usage_text = R"(
usage: zelp7x_flash [options]

general:
 -3                 use 3 byte encoding
 -a <address>       flash address -- default 0
 -A                 write an Atmel dongle file -- default 0
 -b <value>         SPI read delay bytes -- default 1
 -B default[:mcuread[:samplewrite]] SPI speeds -- default 1000000:1000000:1000000 bits/s
 -c <count>         flash byte count -- default 16
 -d                 print device ID information
 -e                 erase 'count' bytes from 'address' (expanded 4K sector boundaries)
 -E                 erase the entire flash chip
 -F <freq>          input clock frequency -- default SPI: 16000000, USB: 32768
 -h                 this help message
 -q                 quiet -- only summary printouts
 -Q                 use accelerated r/w operations via firmware
 -r file            read file, '-' -> stdout
 -R                 read and checksum flash
 -s <dev name>      device file -- default first supported USB COM
 -t <type>          device type -- default read from chip
 -U                 enable split spi messages -- default 0
 -v file            verify file
 -w file            write file)";

constexpr const char *extensions_text = R"(extensions:
 --skip-unchanged   with -w, read the flash first and erase and program only the
                    sectors and pages that differ (-e: erase only what is not blank)
 --help             this help message and the long options
 --version          print the version
 --list             list the attached supported bridges
 -s serial=<S>      the supported bridge with USB serial number S
 -s rfc2217://<host>:<port>
                    a bridge that ser2net serves on another machine (telnet, RFC 2217))";

} // namespace

void usage_cmd_line() {
    std::puts(usage_text);
}

void usage_with_extensions() {
    usage_cmd_line();
    std::puts(extensions_text);
}

void print_version() {
    std::puts("zelp7x_flash " ZELP_VERSION);
}
