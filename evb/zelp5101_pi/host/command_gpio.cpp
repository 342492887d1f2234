// gpio [-e MASK=VALUES] [-v MASK=VALUES] [-i 0|1]: output enables and pin values of the pins in
// MASK, and the input enable, set; then the state of all eight pins.
#include <cstdio>
#include <string>

#include "host_commands.h"
#include "morvel_devlib/morvel_zelp7x.h"
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

std::optional<pin_setting> option_setting(const command_args &args, char letter) {
    const auto it = args.texts.find(letter);
    return it == args.texts.end() ? std::nullopt : setting_of(it->second);
}

// The pins are read back in a call of their own: a call reads the pin values before it sets the
// input enable, so the one that sets it would still show the pins as they were.
int apply_settings(morvel_zelp_device_s *zelp, const command_args &args) {
    morvel_zelp7x_gpio_s g{};
    if (const auto outs = option_setting(args, 'e')) {
        g.set_outs_mask = outs->mask;
        g.outs = outs->values;
    }
    if (const auto values = option_setting(args, 'v')) {
        g.set_values_mask = values->mask;
        g.values = values->values;
    }
    if (args.has('i')) {
        g.flags = MORVEL_ZELP7X_GPIO_FLAGS_SET_INPUT_ENABLE;
        g.input_enable = args.number('i', 0);
    }
    if (g.flags == 0 && g.set_outs_mask == 0 && g.set_values_mask == 0) return 0;
    return morvel_zelp7x_gpio(zelp, &g);
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
    int s = apply_settings(session.zelp(), args);
    if (s != 0) return s;
    morvel_zelp7x_gpio_s g{};
    g.flags = MORVEL_ZELP7X_GPIO_FLAGS_GET_OUTS | MORVEL_ZELP7X_GPIO_FLAGS_GET_VALUES |
              MORVEL_ZELP7X_GPIO_FLAGS_GET_INPUT_ENABLE;
    s = morvel_zelp7x_gpio(session.zelp(), &g);
    if (s != 0) return s;
    std::printf("outputs 0x%02x, values 0x%02x, input enable %u\n", g.outs & pins_mask,
                g.values & pins_mask, g.input_enable);
    return MORVEL_ZELP_ERROR_NONE;
}
