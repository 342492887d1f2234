#include "input_clock.h"

#include "morvel_devlib/morvel_zelp7x_config.h"

int set_input_clock(morvel_zelp_device_s *zelp, int input_freq) {
    // Only the input clock is flagged, so every other setting of the chip stays as it is.
    morvel_zelp7x_config_s config{};
    config.set = MORVEL_ZELP7X_CONFIG_SET_INPUT_CLOCK_RATE;
    config.input_clock_rate = static_cast<unsigned int>(input_freq);
    return morvel_zelp7x_config(zelp, &config);
}
