#include "gpio_pins.h"

namespace {

constexpr uint32_t pins_mask = 0xFF;

} // namespace

int set_pins(morvel_zelp_device_s *zelp, std::optional<pin_setting> outs,
             std::optional<pin_setting> values, std::optional<uint32_t> input_enable) {
    morvel_zelp7x_gpio_s g{};
    if (outs) {
        g.set_outs_mask = outs->mask;
        g.outs = outs->values;
    }
    if (values) {
        g.set_values_mask = values->mask;
        g.values = values->values;
    }
    if (input_enable) {
        g.flags = MORVEL_ZELP7X_GPIO_FLAGS_SET_INPUT_ENABLE;
        g.input_enable = *input_enable;
    }
    if (g.flags == 0 && g.set_outs_mask == 0 && g.set_values_mask == 0) return 0;
    return morvel_zelp7x_gpio(zelp, &g);
}

// The pins are read back in a call of their own: a call reads the pin values before it sets the
// input enable, so the one that sets it would still show the pins as they were.
int read_pins(morvel_zelp_device_s *zelp, pin_state &state) {
    morvel_zelp7x_gpio_s g{};
    g.flags = MORVEL_ZELP7X_GPIO_FLAGS_GET_OUTS | MORVEL_ZELP7X_GPIO_FLAGS_GET_VALUES |
              MORVEL_ZELP7X_GPIO_FLAGS_GET_INPUT_ENABLE;
    const int s = morvel_zelp7x_gpio(zelp, &g);
    if (s != 0) return s;
    state = {g.outs & pins_mask, g.values & pins_mask, g.input_enable};
    return 0;
}
