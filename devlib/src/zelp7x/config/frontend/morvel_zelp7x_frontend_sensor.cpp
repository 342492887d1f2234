// Sensors the firmware drives: GPIO roles, and per sensor its kind, serial address, interrupt
// line, axes and parameters, all kept in the firmware's state block.
#include <algorithm>
#include <array>
#include <cstring>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_config.h"
#include "zelp7x/config/zelp7x_config_bus.h"
#include "zelp7x/config/zelp7x_config_fields.h"

using namespace zelp7x;

namespace {

using Config = morvel_zelp7x_config_s;

constexpr unsigned GPIOS = MORVEL_ZELP7X_CONFIG_SENSOR_GPIOS;
constexpr unsigned SENSORS = MORVEL_ZELP7X_CONFIG_SENSOR_SENSORS;
constexpr unsigned AXES = MORVEL_ZELP7X_CONFIG_SENSOR_AXES;
constexpr unsigned PARAMETERS = MORVEL_ZELP7X_CONFIG_SENSOR_PARAMETERS;
constexpr unsigned MAX_INT_GPIO = 7;
constexpr unsigned MAX_SELECT_GPIO = 7;
constexpr unsigned MAX_I2C_ADDRESS = 0x7F;

constexpr uint8_t ADDRESS_I2C = 0x80;
constexpr Field I2C_ADDRESS{0, 7};
constexpr Field SPI_MODE{5, 2};
constexpr Field SPI_SELECT{0, 5};

using SensorBlock = std::array<uint8_t, SENSORS * fw::SENSOR_RECORD_SIZE>;

uint32_t axis_mask(const uint8_t (&axes)[AXES]) {
    uint32_t m = 0;
    for (unsigned n = 0; n < AXES; ++n)
        if (axes[n] != 0) m |= 1u << n;
    return m;
}

void axes_from_mask(uint32_t m, uint8_t (&axes)[AXES]) {
    for (unsigned n = 0; n < AXES; ++n) axes[n] = (m >> n) & 1u;
}

int encode_sensor(const Config &c, unsigned s, uint8_t *record) {
    if (c.sensor_id[s] > MORVEL_ZELP7X_CONFIG_SENSOR_ID_MAX) return MORVEL_ZELP_ERROR_ARG;
    uint8_t address = 0;
    int e = morvel_zelp7x_serial_address(c.sensor_interface[s], c.sensor_interface_address[s],
                                         &address);
    if (e != 0) return e;
    uint32_t int_field = 0;
    if (c.sensor_int[s] != 0) {
        if (c.sensor_int_gpio[s] > MAX_INT_GPIO) return MORVEL_ZELP_ERROR_ARG;
        int_field = c.sensor_int_gpio[s] + 1u; // 0 means no interrupt line
    }
    if (!fw::sensor_control::AXES.fits(c.sensor_axes[s])) return MORVEL_ZELP_ERROR_ARG;

    uint32_t control = fw::sensor_control::ID.put(0, c.sensor_id[s]);
    control = fw::sensor_control::ADDRESS.put(control, address);
    control = fw::sensor_control::INT_GPIO.put(control, int_field);
    control = fw::sensor_control::AXES.put(control, c.sensor_axes[s]);
    const uint32_t enable = axis_mask(c.sensor_axis_tank[s]) << fw::SENSOR_TANK_SHIFT |
                            axis_mask(c.sensor_axis_input[s]) << fw::SENSOR_INPUT_SHIFT;
    store_le32(record, control);
    store_le32(record + 4, enable);
    std::copy_n(c.sensor_parameter[s], PARAMETERS, record + 8);
    return MORVEL_ZELP_ERROR_NONE;
}

void decode_address(uint8_t address, uint8_t &interface, uint8_t &interface_address) {
    if ((address & ADDRESS_I2C) != 0) {
        interface = MORVEL_ZELP7X_SERIAL_INTERFACE_I2C;
        interface_address = static_cast<uint8_t>(I2C_ADDRESS.get(address));
    } else {
        interface =
            static_cast<uint8_t>(MORVEL_ZELP7X_SERIAL_INTERFACE_SPI0 + SPI_MODE.get(address));
        interface_address = static_cast<uint8_t>(SPI_SELECT.get(address));
    }
}

void decode_sensor(const uint8_t *record, unsigned s, Config &c) {
    const uint32_t control = load_le32(record);
    const uint32_t enable = load_le32(record + 4);
    c.sensor_id[s] = static_cast<uint8_t>(fw::sensor_control::ID.get(control));
    decode_address(static_cast<uint8_t>(fw::sensor_control::ADDRESS.get(control)),
                   c.sensor_interface[s], c.sensor_interface_address[s]);
    const uint32_t int_field = fw::sensor_control::INT_GPIO.get(control);
    c.sensor_int[s] = int_field != 0;
    c.sensor_int_gpio[s] = static_cast<uint8_t>(int_field != 0 ? int_field - 1 : 0);
    c.sensor_axes[s] = static_cast<uint8_t>(fw::sensor_control::AXES.get(control));
    axes_from_mask(enable >> fw::SENSOR_TANK_SHIFT, c.sensor_axis_tank[s]);
    axes_from_mask(enable >> fw::SENSOR_INPUT_SHIFT, c.sensor_axis_input[s]);
    std::copy_n(record + 8, PARAMETERS, c.sensor_parameter[s]);
}

void clear_sensor_report(Config &c) {
    const auto zero = [](auto &field) { std::memset(&field, 0, sizeof field); };
    zero(c.gpio_role);
    zero(c.sensor_id);
    zero(c.sensor_interface);
    zero(c.sensor_interface_address);
    zero(c.sensor_int);
    zero(c.sensor_int_gpio);
    zero(c.sensor_axes);
    zero(c.sensor_axis_tank);
    zero(c.sensor_axis_input);
    zero(c.sensor_parameter);
}

} // namespace

extern "C" {

int morvel_zelp7x_serial_address(unsigned int interface, unsigned int interface_address,
                                 uint8_t *addressp) {
    if (interface == MORVEL_ZELP7X_SERIAL_INTERFACE_I2C && interface_address <= MAX_I2C_ADDRESS) {
        *addressp = static_cast<uint8_t>(interface_address | ADDRESS_I2C);
        return MORVEL_ZELP_ERROR_NONE;
    }
    if (interface >= MORVEL_ZELP7X_SERIAL_INTERFACE_SPI0 &&
        interface <= MORVEL_ZELP7X_SERIAL_INTERFACE_SPI3 && interface_address <= MAX_SELECT_GPIO) {
        *addressp = static_cast<uint8_t>(interface_address |
                                         (interface - MORVEL_ZELP7X_SERIAL_INTERFACE_SPI0) << 5);
        return MORVEL_ZELP_ERROR_NONE;
    }
    return MORVEL_ZELP_ERROR_ARG;
}

int morvel_zelp7x_config_set_sensor(morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *c) {
    if ((c->set1 & MORVEL_ZELP7X_CONFIG_SET1_SENSOR) == 0) return MORVEL_ZELP_ERROR_NONE;
    const uint32_t base = record(zelp).fw_state_addr;
    if (base == 0) return MORVEL_ZELP_ERROR_UNINIT;
    std::array<uint8_t, GPIOS> roles{};
    for (unsigned i = 0; i < GPIOS; ++i) {
        if (c->gpio_role[i] > MORVEL_ZELP7X_CONFIG_GPIO_ROLE_MAX) return MORVEL_ZELP_ERROR_ARG;
        roles[i] = c->gpio_role[i];
    }
    SensorBlock block{};
    for (unsigned s = 0; s < SENSORS; ++s) {
        const int e = encode_sensor(*c, s, &block[s * fw::SENSOR_RECORD_SIZE]);
        if (e != 0) return e;
    }
    const int e = write_bytes(zelp, base + fw::GPIO_ROLE, roles);
    return e != 0 ? e : write_bytes(zelp, base + fw::SENSOR, block);
}

int morvel_zelp7x_config_get_sensor(morvel_zelp_device_s *zelp, morvel_zelp7x_config_s *c) {
    const uint32_t base = record(zelp).fw_state_addr;
    if (base == 0) {
        clear_sensor_report(*c);
        return MORVEL_ZELP_ERROR_NONE;
    }
    std::array<uint8_t, GPIOS> roles{};
    SensorBlock block{};
    int e = read_bytes(zelp, base + fw::GPIO_ROLE, roles);
    if (e == 0) e = read_bytes(zelp, base + fw::SENSOR, block);
    if (e != 0) return e;
    for (unsigned i = 0; i < GPIOS; ++i)
        c->gpio_role[i] = roles[i] <= MORVEL_ZELP7X_CONFIG_GPIO_ROLE_MAX ? roles[i] : uint8_t{0};
    for (unsigned s = 0; s < SENSORS; ++s) decode_sensor(&block[s * fw::SENSOR_RECORD_SIZE], s, *c);
    return MORVEL_ZELP_ERROR_NONE;
}

} // extern "C"
