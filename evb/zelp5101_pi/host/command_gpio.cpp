// gpio [-e MASK=VALUES] [-v MASK=VALUES] [-i 0|1]: output enables and pin values of the pins in
// MASK, and the input enable, set; then the state of all eight pins.
#include <cstdio>
#include <optional>
#include <string>

#include "host_commands.h"
#include "number_arg.h"

namespace {

constexpr uint32_t pins_mask = 0xFF;

struct pin_setting {
    uint32_t mask;
    uint32_t values;
};

bool pin_byte_of(const std::string &text, uint32_t &value) {
    return get_int0(text.c_str(), "", &value, 0) == 0 && value <= pins_mask;
}

// "MASK=VALUES", each a number of eight bits.
std::optional<pin_setting> setting_of(const std::string &text) {
    const size_t eq = text.find('=');
    pin_setting p{};
    if (eq == std::string::npos || !pin_byte_of(text.substr(0, eq), p.mask) ||
        !pin_byte_of(text.substr(eq + 1), p.values))
        return std::nullopt;
    return p;
}

pin_setting option_setting(const command_args &args, char letter) {
    const auto it = args.texts.find(letter);
    return it == args.texts.end() ? pin_setting{} : *setting_of(it->second);
}

} // namespace

bool check_gpio(command_args &args, bool &usage) {
    for (char letter : {'e', 'v'}) {
        const auto it = args.texts.find(letter);
        if (it != args.texts.end() && !setting_of(it->second))
            return refuse_argument("invalid MASK=VALUES", it->second, usage);
    }
    return true;
}

int run_gpio(morvel_zelp7x_host_s *host, const command_args &args) {
    const pin_setting outputs = option_setting(args, 'e'), values = option_setting(args, 'v');
    const morvel_zelp7x_host_pins_s changes{outputs.mask,  outputs.values, values.mask,
                                            values.values, args.has('i'),  args.number('i', 0)};
    morvel_zelp7x_host_pin_state_s pins{};
    const int s = morvel_zelp7x_host_gpio(host, &changes, &pins);
    if (s != 0) return s;
    std::printf("outputs 0x%02x, values 0x%02x, input enable %u\n", pins.outputs, pins.values,
                pins.input_enable);
    return MORVEL_ZELP_ERROR_NONE;
}
