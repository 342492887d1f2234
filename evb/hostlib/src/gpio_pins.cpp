// The chip's eight GPIO pins as a host sets and shows them.
#include "host_record.h"

namespace {

constexpr uint32_t pins_mask = 0xFF;

bool within_pins(const morvel_zelp7x_host_pins_s &p) {
    return ((p.outputs_mask | p.outputs | p.values_mask | p.values) & ~pins_mask) == 0 &&
           p.input_enable <= 1;
}

// Output enables, pin values and the input enable, each only when given; nothing touches the
// chip when none is.
int set_pins(morvel_zelp_device_s *zelp, const morvel_zelp7x_host_pins_s &p) {
    morvel_zelp7x_gpio_s g{};
    g.set_outs_mask = p.outputs_mask;
    g.outs = p.outputs;
    g.set_values_mask = p.values_mask;
    g.values = p.values;
    if (p.set_input_enable) {
        g.flags = MORVEL_ZELP7X_GPIO_FLAGS_SET_INPUT_ENABLE;
        g.input_enable = p.input_enable;
    }
    if (g.flags == 0 && g.set_outs_mask == 0 && g.set_values_mask == 0) return 0;
    return morvel_zelp7x_gpio(zelp, &g);
}

// The pins are read back in a call of their own: a call reads the pin values before it sets the
// input enable, so the one that sets it would still show the pins as they were.
int read_pins(morvel_zelp_device_s *zelp, morvel_zelp7x_host_pin_state_s &state) {
    morvel_zelp7x_gpio_s g{};
    g.flags = MORVEL_ZELP7X_GPIO_FLAGS_GET_OUTS | MORVEL_ZELP7X_GPIO_FLAGS_GET_VALUES |
              MORVEL_ZELP7X_GPIO_FLAGS_GET_INPUT_ENABLE;
    const int s = morvel_zelp7x_gpio(zelp, &g);
    if (s != 0) return s;
    state = {g.outs & pins_mask, g.values & pins_mask, g.input_enable};
    return 0;
}

} // namespace

extern "C" int morvel_zelp7x_host_gpio(morvel_zelp7x_host_s *host,
                                       const morvel_zelp7x_host_pins_s *changes,
                                       morvel_zelp7x_host_pin_state_s *state) {
    return zhost::in_call(host, [&](morvel_zelp_device_s *zelp) -> int {
        const morvel_zelp7x_host_pins_s none{};
        const morvel_zelp7x_host_pins_s &p = changes != nullptr ? *changes : none;
        if (state == nullptr || !within_pins(p)) return MORVEL_ZELP_ERROR_ARG;
        const int s = set_pins(zelp, p);
        return s == 0 ? read_pins(zelp, *state) : s;
    });
}
