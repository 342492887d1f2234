// Bringing a zelp7x chip under the driver: init and uninit in their modes, the reset sequence,
// adopting a chip whose firmware already runs (restart), and the firmware pointer table.
#include <array>
#include <cstring>
#include <type_traits>

#include "morvel-firmware/zelp7x_firmware.h"
#include "morvel_devlib/morvel_zelp7x_config.h"
#include "zelp7x/zelp7x_internal.h"
#include "zelp7x/zelp7x_registers.h"

namespace {

using namespace zelp7x;

constexpr uint32_t default_tank_max_size = 0x10000;
constexpr unsigned int default_tank_size = 2048;

struct SpiWrite {
    uint32_t address;
    uint8_t value;
};

struct McuWrite {
    uint32_t address;
    uint32_t value;
};

// Hold the chip, silence interrupts and both host-written mailbox bytes, clear pending causes.
constexpr std::array<SpiWrite, 6> reset_hold = {{
    {ZELP7X_SPI_CTL, ZELP7X_CTL_RESET_HOLD},
    {ZELP7X_SPI_INTCTL, 0x00},
    {ZELP7X_SPI_MBIN, 0x00},
    {ZELP7X_SPI_MBOUT_RESP, 0x00},
    {ZELP7X_SPI_INTSTS, ZELP7X_INTSTS_CLEAR_ALL},
    {ZELP7X_SPI_INTSTS, 0x00},
}};

constexpr std::array<SpiWrite, 2> reset_release = {{
    {ZELP7X_SPI_CTL, ZELP7X_CTL_RESET_RUN},
    {ZELP7X_SPI_CTL2, ZELP7X_CTL2_RESET},
}};

// A chip that booted open: stop the network and invalidate the host configuration area.
constexpr std::array<McuWrite, 4> reset_open_chip = {{
    {ZELP7X_MCU_RUN_CTL, 0},
    {ZELP7X_MCU_TANK, ZELP7X_TANK_RESET},
    {ZELP7X_MCU_DNNCTL0, ZELP7X_DNNCTL0_RESET},
    {ZELP7X_MCU_HOST_CONFIG_VALID, 0},
}};

template <std::size_t N>
int write_all(morvel_zelp_device_s *zelp, const std::array<SpiWrite, N> &writes) {
    for (const SpiWrite &w : writes)
        if (const int s = write_spi(zelp, w.address, w.value); s != 0) return s;
    return MORVEL_ZELP_ERROR_NONE;
}

template <std::size_t N>
int write_all(morvel_zelp_device_s *zelp, const std::array<McuWrite, N> &writes) {
    for (const McuWrite &w : writes)
        if (const int s = write_mcu(zelp, w.address, w.value); s != 0) return s;
    return MORVEL_ZELP_ERROR_NONE;
}

void clear_record(morvel_zelp7x_device_s &z) {
    std::memset(&z, 0, sizeof z);
    z.tank_max_size = default_tank_max_size;
    z.tank_size = default_tank_size;
    z.tank_address = ZELP7X_MCU_TANK_DEFAULT;
}

int reset_open(morvel_zelp_device_s *zelp) {
    return morvel_zelp7x_reset(zelp, 0);
}

int reset_secured(morvel_zelp_device_s *zelp) {
    return morvel_zelp7x_reset(zelp, 1);
}

int leave_untouched(morvel_zelp_device_s *) {
    return MORVEL_ZELP_ERROR_NONE;
}

// Indexed by morvel_zelp_init_mode_e.
constexpr std::array<int (*)(morvel_zelp_device_s *), 4> init_by_mode = {
    reset_open,            // RESET
    morvel_zelp7x_restart, // RESTART
    leave_untouched,       // NO_TOUCH
    reset_secured,         // RESET_SECURED
};

// C callers may pass any int as the mode. Read its bits without loading the enum, which would be
// undefined for a value outside the enumeration.
long long mode_value(const morvel_zelp_init_mode_e &mode) {
    std::underlying_type_t<morvel_zelp_init_mode_e> raw{};
    static_assert(sizeof raw == sizeof mode);
    std::memcpy(&raw, &mode, sizeof raw);
    return raw;
}

// Restart: the input clock the host recorded in the chip, and the input settings the chip's
// registers hold, become the driver's view again.
int adopt_configuration(morvel_zelp_device_s *zelp) {
    morvel_zelp7x_device_s &z = record(zelp);
    morvel_zelp7x_config_state_s st{};
    int s = morvel_zelp7x_config_read_state(zelp, &st);
    if (s != 0) return s;
    uint32_t rate = 0;
    s = read_mcu(zelp, ZELP7X_MCU_HOST_CONFIG_INPUT_CLOCK, &rate);
    if (s != 0) return s;
    st.input_clock_rate = rate;
    z.input_clock_rate = rate;
    morvel_zelp7x_config_s config{};
    morvel_zelp7x_config_get_input(&st, &config, &z);
    return MORVEL_ZELP_ERROR_NONE;
}

// The mailbox continues from the owner bits the firmware last saw. A firmware request that no
// host has answered yet (its owner bit differs from the host's) stays new, so the next servicing
// answers it: the firmware waits for that answer before it reports anything more, and a host
// that took the request as seen would never hear from it again.
int adopt_mailbox(morvel_zelp_device_s *zelp) {
    morvel_zelp7x_device_s &z = record(zelp);
    int s = read_spi(zelp, ZELP7X_SPI_MBIN, &z.mbin);
    if (s != 0) return s;
    s = read_spi(zelp, ZELP7X_SPI_MBIN_RESP, &z.mbin_resp);
    if (s != 0) return s;
    constexpr uint8_t m2h_owner = MORVEL_ZELP7X_MB_MCU_TO_HOST_OWNER;
    z.mbin_resp = static_cast<uint8_t>((z.mbin_resp & ~m2h_owner) | (z.mbin & m2h_owner));
    return MORVEL_ZELP_ERROR_NONE;
}

// Matches made before the restart are not reported.
int adopt_match_ring(morvel_zelp_device_s *zelp) {
    morvel_zelp7x_device_s &z = record(zelp);
    const int s =
        read_mcu(zelp, z.fw_state_addr + ZELP7X_FW_STATE_MATCH_PRODUCER, &z.match_producer);
    if (s != 0) return s;
    z.match_consumer = z.match_producer;
    return MORVEL_ZELP_ERROR_NONE;
}

} // namespace

extern "C" {

int morvel_zelp7x_init(morvel_zelp_device_s *zelp, morvel_zelp_init_mode_e init_mode) {
    clear_record(record(zelp));
    const long long mode = mode_value(init_mode);
    const bool known = mode >= 0 && mode < static_cast<long long>(init_by_mode.size());
    const int s = known ? init_by_mode[static_cast<size_t>(mode)](zelp) : MORVEL_ZELP_ERROR_ARG;
    // The generic layer marks the handle usable only once init has returned success.
    zelp->init = 0;
    return s;
}

int morvel_zelp7x_uninit(morvel_zelp_device_s *zelp, morvel_zelp_init_mode_e init_mode) {
    if (mode_value(init_mode) == MORVEL_ZELP_INIT_MODE_RESET) return morvel_zelp7x_reset(zelp, 0);
    return MORVEL_ZELP_ERROR_NONE;
}

void morvel_zelp7x_reset_firmware_state(morvel_zelp_device_s *zelp) {
    morvel_zelp7x_device_s &z = record(zelp);
    std::memset(z.mb, 0, sizeof z.mb);
    z.mbin = 0;
    z.mbin_resp = 0;
    for (int i = 0; i < 2; ++i) {
        z.addrprotlo[i] = ZELP7X_OPEN_RAM_BASE;
        z.addrprothi[i] = ZELP7X_MCU_OPEN_RAM_END;
    }
    z.fw_pointers_addr = 0;
    z.fw_state_addr = 0;
    z.fw_loaded = 0;
    z.match_producer = 0;
    z.match_consumer = 0;
    z.matches = z.prev_matches;
}

int morvel_zelp7x_reset(morvel_zelp_device_s *zelp, int secured) {
    morvel_zelp7x_device_s &z = record(zelp);
    int s = write_all(zelp, reset_hold);
    if (s != 0) return s;
    morvel_zelp7x_reset_firmware_state(zelp);
    z.input_clock_rate = 0;
    z.secured = 0;
    s = write_all(zelp, reset_release);
    if (s != 0) return s;
    if (secured) {
        s = write_mcu(zelp, ZELP7X_MCU_SECURE_BOOT, ZELP7X_SECURE_BOOT_VALUE);
        if (s != 0) return s;
    }
    // A secured chip hides its boot ROM: the first word reads 0.
    uint32_t boot_word = 0;
    s = read_mcu(zelp, ZELP7X_MCU_BOOT_ROM, &boot_word);
    if (s != 0) return s;
    z.secured = boot_word == 0;
    if (z.secured) return MORVEL_ZELP_ERROR_NONE;
    return write_all(zelp, reset_open_chip);
}

int morvel_zelp7x_restore_config(morvel_zelp_device_s *zelp) {
    morvel_zelp7x_device_s &z = record(zelp);
    morvel_zelp_config_s config{};
    unsigned int classes = 0;
    const int s = morvel_zelp7x_access_config(zelp, &config, &classes);
    if (s != 0) return s;
    if (config.labels_len != 0) {
        z.labels_len = config.labels_len;
        z.classes = classes;
    }
    if (config.firmware_version_len != 0) z.fwver_len = config.firmware_version_len;
    if (config.parameters_version_len != 0) z.paramver_len = config.parameters_version_len;
    if (config.pkg_version_len != 0) z.pkgver_len = config.pkg_version_len;
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_load_fw_pointers(morvel_zelp_device_s *zelp) {
    morvel_zelp7x_device_s &z = record(zelp);
    z.fw_agc_addr = 0;
    z.fw_posterior_state_addr = 0;
    z.fw_posterior_parameters_addr = 0;
    z.tank_address = 0;
    z.tank_max_size = 0;
    z.match_ring_size = 0;
    z.fw_state_addr = 0;
    if (z.fw_pointers_addr == 0) return MORVEL_ZELP_ERROR_NONE;

    std::array<uint8_t, sizeof(zelp7x_fw_state_pointers_s)> table{};
    int s = morvel_zelp7x_read_block(zelp, MCU, z.fw_pointers_addr, table.data(), table.size());
    if (s != 0) return s;
    const auto word = [&table](int index) { return load_le32(table.data() + 4 * index); };
    const uint32_t state = word(ZELP7X_FW_STATE_ADDRESS_INDEX_FW_STATE);
    z.fw_state_addr = state;
    if (state == 0) return MORVEL_ZELP_ERROR_NONE;

    z.fw_agc_addr = state + ZELP7X_FW_STATE_AGC;
    z.fw_posterior_state_addr = state + ZELP7X_FW_STATE_POSTERIOR_STATE;
    z.fw_posterior_parameters_addr = state + ZELP7X_FW_STATE_POSTERIOR_PARAMETERS;
    const uint32_t tank_start = word(ZELP7X_FW_STATE_ADDRESS_INDEX_TANK_START);
    const uint32_t tank_end = word(ZELP7X_FW_STATE_ADDRESS_INDEX_TANK_END);
    z.tank_address = tank_start;
    // A table with its tank end before its start describes no tank, not a 4 GiB one.
    z.tank_max_size = tank_end > tank_start ? tank_end - tank_start : 0;
    return read_mcu(zelp, state + ZELP7X_FW_STATE_MATCH_RING_SIZE, &z.match_ring_size);
}

int morvel_zelp7x_restart(morvel_zelp_device_s *zelp) {
    morvel_zelp7x_device_s &z = record(zelp);
    int s = adopt_configuration(zelp);
    if (s == 0) s = adopt_mailbox(zelp);
    if (s != 0) return s;
    s = morvel_zelp7x_restore_config(zelp);
    // No valid host configuration area: nothing was ever loaded, so there is nothing to adopt.
    if (s == MORVEL_ZELP_ERROR_PACKAGE) return MORVEL_ZELP_ERROR_NONE;
    if (s != 0) return s;
    uint8_t ctl = 0;
    s = read_spi(zelp, ZELP7X_SPI_CTL, &ctl);
    if (s != 0) return s;
    if (ctl & ZELP7X_CTL_NO_FW) return MORVEL_ZELP_ERROR_NONE;

    // Take in whatever the firmware signalled meanwhile, acknowledging it.
    zelp->init = 1;
    uint32_t notifications = 0;
    s = morvel_zelp7x_poll(zelp, &notifications, 1);
    if (s != 0) return s;
    z.fw_pointers_addr = MORVEL_ZELP7X_FW_POINTERS_ADDRESS;
    s = morvel_zelp7x_load_fw_pointers(zelp);
    if (s != 0) return s;
    return adopt_match_ring(zelp);
}

} // extern "C"
