// serial i2c|spi0..spi3 ADDR [-w HEX] [-r N]: one transfer with a device behind the chip, the
// -w bytes out first, then N bytes in, printed as hex.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "host_commands.h"
#include "number_arg.h"

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Two hex digits a byte, nothing between them.
std::optional<std::vector<uint8_t>> bytes_of_hex(const std::string &hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = hex_digit(hex[i]), low = hex_digit(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return bytes;
}

std::vector<uint8_t> output_bytes(const command_args &args) {
    const auto it = args.texts.find('w');
    return it == args.texts.end() ? std::vector<uint8_t>{} : *bytes_of_hex(it->second);
}

} // namespace

bool check_serial(command_args &args, bool &usage) {
    uint32_t address = 0;
    unsigned int interface = 0;
    if (morvel_zelp7x_host_serial_interface_named(args.operands[0].c_str(), &interface) != 0)
        return refuse_argument("unknown serial interface", args.operands[0], usage);
    if (get_int0(args.operands[1].c_str(), "", &address, 0) != 0)
        return refuse_argument("invalid address", args.operands[1], usage);
    const auto it = args.texts.find('w');
    if (it != args.texts.end() && !bytes_of_hex(it->second))
        return refuse_argument("invalid hex bytes", it->second, usage);
    return true;
}

int run_serial(morvel_zelp7x_host_s *host, const command_args &args) {
    uint32_t address = 0;
    unsigned int interface = 0;
    get_int0(args.operands[1].c_str(), "", &address, 0);
    morvel_zelp7x_host_serial_interface_named(args.operands[0].c_str(), &interface);
    const std::vector<uint8_t> out = output_bytes(args);
    std::vector<uint8_t> in(args.number('r', 0));
    const int s = morvel_zelp7x_host_serial(host, interface, address, out.data(),
                                            static_cast<uint32_t>(out.size()), in.data(),
                                            static_cast<uint32_t>(in.size()));
    if (s != 0) return s;
    for (size_t i = 0; i < in.size(); ++i)
        std::printf(i + 1 < in.size() ? "%02x " : "%02x\n", in[i]);
    return MORVEL_ZELP_ERROR_NONE;
}
