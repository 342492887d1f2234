// One simulated evaluation board: the chip, the SPI NOR flash on its MSPI port, the chip's
// peripheral models, the I2C device on the chip's serial bus and the USB bridge in front of them.
//
// The board keeps the time (SimClock). What the chip produces by itself (tank samples, matches,
// sensor samples, features) is brought up to the present at the start of each host access, in
// time order: the tank is filled up to each match that fell due, so the match records the tank
// position of its moment.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "board_options.h"
#include "chip/boot_loader.h"
#include "chip/chip.h"
#include "chip/clock_unit.h"
#include "chip/gpio.h"
#include "chip/mcu_core.h"
#include "chip/mspi.h"
#include "devices/i2c_register_device.h"
#include "devices/spi_flash.h"
#include "firmware/firmware.h"
#include "firmware/match_source.h"
#include "firmware/streams/features.h"
#include "firmware/streams/sensor_ring.h"
#include "firmware/streams/tank.h"
#include "link/bridge.h"
#include "sim_clock.h"

namespace zsim {

class Board {
  public:
    explicit Board(const BoardOptions &options = {});
    Board(const Board &) = delete;
    Board &operator=(const Board &) = delete;

    // The host's bytes in, the bridge's answer out.
    std::vector<uint8_t> receive(std::span<const uint8_t> bytes) { return bridge_.receive(bytes); }

    // Writes the flash contents to its file, when it has one.
    void save_flash() const { flash_.save(); }
    // The host closed the board's link: the flash's contents go to its file, and time passes
    // before the next host comes (SpiFlash::host_left).
    void host_left() {
        flash_.save();
        flash_.host_left();
    }

    Chip &chip() { return chip_; }
    SpiFlash &flash() { return flash_; }
    Bridge &bridge() { return bridge_; }
    Firmware &firmware() { return firmware_; }
    BootLoader &boot_loader() { return boot_loader_; }
    McuCore &core() { return core_; }
    SimClock &time() { return time_; }
    Gpio &gpio() { return gpio_; }
    I2cRegisterDevice &i2c_device() { return i2c_device_; }
    const BoardOptions &options() const { return options_; }

    // Brings the chip's own production up to the present, as any host access does first.
    void catch_up();
    // Board time left until the next match falls due; none when no matches are scheduled.
    std::optional<SimClock::Duration> until_next_match() const;

  private:
    // Every peripheral model of the chip is attached here, one line each; the board owns them
    // (members below), the chip only refers to them.
    void attach_peripherals();
    // The firmware started: its producers start again from the last catch-up.
    void restart_producers();

    BoardOptions options_;
    Chip chip_;
    SpiFlash flash_;
    Mspi mspi_{flash_};
    ClockUnit clock_{chip_};
    Firmware firmware_{chip_};
    BootLoader boot_loader_{chip_, Firmware::ram_size};
    McuCore core_{chip_, boot_loader_, firmware_};
    SimClock time_;
    SimClock::Duration now_{};
    Tank tank_{chip_, firmware_};
    MatchSource matches_{chip_, firmware_};
    SensorRing sensor_ring_{chip_, firmware_};
    Features features_;
    Gpio gpio_{chip_};
    I2cRegisterDevice i2c_device_;
    Bridge bridge_;
};

} // namespace zsim
