// A host for the device library whose transfer callback drives a simulated zelp7x chip directly,
// block for block, so the real driver runs against the chip model without a bridge. Every
// transfer is also recorded, as FakeHost records them.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "morvel_devlib/morvel_zelp.h"
#include "chip/chip.h"
#include "support/board/fake_host.h"

namespace ztest {

class ChipHost {
  public:
    explicit ChipHost(zsim::Chip &chip) : chip(chip) {}
    ChipHost(const ChipHost &) = delete;
    ChipHost &operator=(const ChipHost &) = delete;

    morvel_zelp_integration_interfaces_s iif();

    // A device handle wired to this host, zeroed, with the zelp7x driver and device type of the
    // chip, not yet initialised; call morvel_zelp7x_init or morvel_zelp_init on it.
    morvel_zelp_device_s *device();

    zsim::Chip &chip;
    std::vector<Transfer> transfers;
    // Runs while the driver waits for a mailbox answer; the default returns 0 at once.
    std::function<int()> on_mbwait;
    // Transfers that fail with this code once `fail_after` transfers have passed (-1: never).
    long fail_after = -1;
    int fail_code = MORVEL_ZELP_ERROR_TIMEOUT;

  private:
    static ChipHost *self(morvel_zelp_handle_t d) { return static_cast<ChipHost *>(d); }
    static int do_mbwait(morvel_zelp_handle_t d);
    static int do_get_type(morvel_zelp_handle_t d, unsigned int *type);
    static int do_sync(morvel_zelp_handle_t d);
    static int do_transfer(morvel_zelp_handle_t d, int mcu, uint32_t address, void *out, void *in,
                           unsigned int count);

    morvel_zelp_device_s device_{};
};

} // namespace ztest
