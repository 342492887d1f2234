// General-purpose I/O pins of the chip: output enables, pin values and the input enable. Each
// access goes through the generic API on its own, so it takes the host's lock by itself.
#include "zelp7x/zelp7x_internal.h"
#include "zelp7x/zelp7x_registers.h"

namespace {

using namespace zelp7x;

constexpr unsigned int pin_mask = 0xFF;

// Enables where `outs` has a 1 and disables where it has a 0, only for the pins in the mask.
int set_outputs(morvel_zelp_device_s *zelp, unsigned int mask, unsigned int outs) {
    const int s = generic_write_mcu(zelp, ZELP7X_MCU_GPIO_OUT_ENABLE, outs & mask);
    if (s != 0) return s;
    return generic_write_mcu(zelp, ZELP7X_MCU_GPIO_OUT_ENABLE_CLEAR, ~outs & mask);
}

// The masked data window changes only the pins its address selects.
int set_values(morvel_zelp_device_s *zelp, unsigned int mask, unsigned int values) {
    return generic_write_mcu(zelp, ZELP7X_MCU_GPIO_MASKED + (mask << 2), values);
}

int input_enable(morvel_zelp_device_s *zelp, morvel_zelp7x_gpio_s &gpio) {
    uint32_t ctl = 0;
    int s = generic_read_mcu(zelp, ZELP7X_MCU_CHIPCTL, &ctl);
    if (s != 0) return s;
    if (gpio.flags & MORVEL_ZELP7X_GPIO_FLAGS_SET_INPUT_ENABLE) {
        ctl &= ~ZELP7X_CHIPCTL_GPIO_INPUT_ENABLE;
        if (gpio.input_enable != 0) ctl |= ZELP7X_CHIPCTL_GPIO_INPUT_ENABLE;
        s = generic_write_mcu(zelp, ZELP7X_MCU_CHIPCTL, ctl);
        if (s != 0) return s;
    }
    if (gpio.flags & MORVEL_ZELP7X_GPIO_FLAGS_GET_INPUT_ENABLE)
        gpio.input_enable = (ctl & ZELP7X_CHIPCTL_GPIO_INPUT_ENABLE) != 0;
    return MORVEL_ZELP_ERROR_NONE;
}

int read_into(morvel_zelp_device_s *zelp, uint32_t address, unsigned int &field) {
    uint32_t v = 0;
    const int s = generic_read_mcu(zelp, address, &v);
    if (s == 0) field = v;
    return s;
}

} // namespace

extern "C" {

int morvel_zelp7x_gpio(morvel_zelp_device_s *zelp, morvel_zelp7x_gpio_s *gpio) {
    if (gpio == nullptr || gpio->flags > MORVEL_ZELP7X_GPIO_FLAGS_ALL ||
        gpio->set_outs_mask > pin_mask || gpio->set_values_mask > pin_mask)
        return MORVEL_ZELP_ERROR_ARG;
    morvel_zelp7x_gpio_s &g = *gpio;
    int s = MORVEL_ZELP_ERROR_NONE;
    if (g.set_outs_mask != 0) s = set_outputs(zelp, g.set_outs_mask, g.outs);
    if (s == 0 && (g.flags & MORVEL_ZELP7X_GPIO_FLAGS_GET_OUTS))
        s = read_into(zelp, ZELP7X_MCU_GPIO_OUT_ENABLE, g.outs);
    if (s == 0 && g.set_values_mask != 0) s = set_values(zelp, g.set_values_mask, g.values);
    if (s == 0 && (g.flags & MORVEL_ZELP7X_GPIO_FLAGS_GET_VALUES))
        s = read_into(zelp, ZELP7X_MCU_GPIO_VALUES, g.values);
    if (s == 0 && (g.flags & (MORVEL_ZELP7X_GPIO_FLAGS_SET_INPUT_ENABLE |
                              MORVEL_ZELP7X_GPIO_FLAGS_GET_INPUT_ENABLE)))
        s = input_enable(zelp, g);
    return s;
}

} // extern "C"
