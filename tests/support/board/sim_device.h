// A device handle whose register accesses land straight on a simulated chip with its MSPI port
// and SPI flash, and whose bridge flash commands land on the same flash: the tool's flash
// operations run against it without a serial link.
#pragma once

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_evb_io.h"
#include "chip/chip.h"
#include "chip/mspi.h"
#include "devices/spi_flash.h"

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

    // Register accesses made so far, and the number after which every access fails (-1: never).
    unsigned accesses = 0;
    long fail_after = -1;
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
};

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
