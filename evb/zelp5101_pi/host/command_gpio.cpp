// gpio [-e MASK=VALUES] [-v MASK=VALUES] [-i 0|1]: output enables and pin values of the pins in
// MASK, and the input enable, set; then the state of all eight pins.
#include <cstdio>
#include <string>

#include "gpio_pins.h"
#include "host_commands.h"
#include "number_arg.h"

namespace {

constexpr uint32_t pins_mask = 0xFF;

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

std::optional<pin_setting> option_setting(const command_args &args, char letter) {
    const auto it = args.texts.find(letter);
    return it == args.texts.end() ? std::nullopt : setting_of(it->second);
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

int run_gpio(host_session &session, const command_args &args) {
    const std::optional<uint32_t> input_enable =
        args.has('i') ? std::optional<uint32_t>(args.number('i', 0)) : std::nullopt;
    int s = set_pins(session.zelp(), option_setting(args, 'e'), option_setting(args, 'v'),
                     input_enable);
    if (s != 0) return s;
    pin_state pins{};
    s = read_pins(session.zelp(), pins);
    if (s != 0) return s;
    std::printf("outputs 0x%02x, values 0x%02x, input enable %u\n", pins.outs, pins.values,
                pins.input_enable);
    return MORVEL_ZELP_ERROR_NONE;
}
