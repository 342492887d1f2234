// A whole simulated board whose chip the device library drives directly, reset, with a host that
// polls until each mailbox answer is in; and the steps a firmware loader takes, so a test can start
// the firmware the way the library does.
#pragma once

#include <cstdint>
#include <string>

#include "morvel_devlib/morvel_zelp.h"
#include "board.h"
#include "support/chip/chip_host.h"
#include "support/package_builder.h"

namespace ztest {

// Board options from the text after "sim:" in a port name.
zsim::BoardOptions board_options(const std::string &port);

struct BoardHost {
    explicit BoardHost(const std::string &port = "");
    morvel_zelp7x_device_s &z() { return zelp->d.zelp7x; }
    uint8_t spi(uint8_t address) { return board.chip().peek_spi(address); }
    // Read-modify-write of one register: the bits of `clear` off, those of `set` on.
    void update(int mcu, uint32_t address, uint32_t clear, uint32_t set);
    // After the image is in: the pointer table's address, the pointers, as the loaders do.
    int adopt_firmware();
    // The firmware value's announce and start sequences around the image.
    int start_firmware(Bytes image);
    // The package through the boot loader, `window` bytes per burst; the last burst's answer.
    int stream(Bytes package, size_t window);

    zsim::Board board;
    ChipHost host{board.chip()};
    morvel_zelp_device_s *zelp = host.device();
};

} // namespace ztest
