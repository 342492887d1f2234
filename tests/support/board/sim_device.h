// A device handle whose register accesses land straight on a simulated chip with its MSPI port
// and SPI flash, and whose bridge flash commands land on the same flash: the flash library and the
// tool's steps run against it without a serial link.
#pragma once

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <span>
#include <string>
#include <vector>

#include "chip/chip.h"
#include "chip/mspi.h"
#include "devices/spi_flash.h"
#include "morvel_devlib/morvel_zelp.h"
#include "morvel_evb_io.h"
#include "morvel_flash/morvel_zelp7x_flash.h"
#include "run.h"
#include "run_failure.h"

namespace ztest {

struct BridgeCommand {
    int command;
    uint32_t address;
    uint16_t len;
};

// One register access the device library passed to the driver, in the order it was made.
struct RegisterAccess {
    bool write;
    int mcu;
    uint32_t address;
    uint32_t value; // the word written, or the word that came back (least significant byte first)
};

class SimDevice {
  public:
    explicit SimDevice(zsim::FlashConfig config = {});
    ~SimDevice();
    SimDevice(const SimDevice &) = delete;
    SimDevice &operator=(const SimDevice &) = delete;

    morvel_zelp_device_s *zelp() { return &device_; }
    zsim::SpiFlash &flash() { return flash_; }
    zsim::Mspi &mspi() { return mspi_; }
    // The board calls of the bridge path, landing on this device's flash.
    const morvel_zelp7x_flash_board_calls_s *board_calls() const { return &calls_; }
    // A flash library session over this device, without progress.
    morvel_zelp7x_flash_s session(morvel_zelp7x_flash_path_e path = MORVEL_ZELP7X_FLASH_PATH_MSPI);

    // Register accesses made so far, and the number after which every access fails (-1: never).
    unsigned accesses = 0;
    long fail_after = -1;
    // Runs before each register read takes its value, e.g. to make an answer slow.
    std::function<void()> before_read;
    std::vector<RegisterAccess> register_log;
    // Bridge flash commands seen, and the result each one returns.
    std::vector<BridgeCommand> bridge_commands;
    int bridge_result = 0;

  private:
    static SimDevice *self(morvel_zelp_device_s *zelp);
    static int op_size(morvel_zelp_device_s *zelp, int mcu, unsigned int *size);
    static int read_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                          unsigned int count);
    static int write_block(morvel_zelp_device_s *zelp, int mcu, uint32_t address, void *value,
                           unsigned int count);
    static int bridge(morvel_evb_io_handle_t d, int command, uint32_t addr, uint8_t *data,
                      uint16_t len);
    bool access_fails();
    void log(bool write, int mcu, uint32_t address, const uint8_t *bytes, unsigned int count);

    zsim::SpiFlash flash_;
    zsim::Mspi mspi_{flash_};
    zsim::Chip chip_;
    morvel_zelp_driver_s driver_{};
    morvel_zelp_device_s device_{};
    morvel_zelp7x_flash_board_calls_s calls_{};
};

// The tool's flash front-end over a SimDevice, as a run with -q (`quiet`) and -Q (`bridge`) would
// make it. Failures throw run_failure, as in a run.
class ToolFlash {
  public:
    explicit ToolFlash(SimDevice &dev, bool quiet = false, bool bridge = false);
    run_options &run() { return run_; }
    run_flash &flash() { return flash_; }
    void erase(uint32_t address, uint32_t count);
    void erase_chip() { erase_chip_step(flash_); }
    void program(uint32_t address, std::span<const uint8_t> data);
    void read(uint32_t address, std::span<uint8_t> buf);

  private:
    static run_options options(bool quiet, bool bridge);
    run_options run_;
    run_flash flash_;
};

// The write and read steps of `run` on `dev`, over a flash front-end made for that run.
int write_step(SimDevice &dev, run_options &run);
int read_step(SimDevice &dev, run_options &run);

// The failure that `f` ends its run with; none is a test failure.
template <class F>
run_failure failure_of(F &&f) {
    try {
        f();
    } catch (const run_failure &r) {
        return r;
    }
    ADD_FAILURE() << "no failure";
    return {};
}

// What `f` prints on standard output; the tool's steps report there.
template <class F>
std::string stdout_of(F &&f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

// What `f` prints on standard error.
template <class F>
std::string stderr_of(F &&f) {
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}

} // namespace ztest
