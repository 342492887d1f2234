#include "support/board/board_host.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "morvel_devlib/morvel_zelp7x.h"
#include "morvel_devlib/morvel_zelp7x_mailbox.h"

namespace ztest {

zsim::BoardOptions board_options(const std::string &port) {
    zsim::BoardOptions options;
    std::string error;
    EXPECT_TRUE(zsim::parse_board_port_name(port, options, error)) << error;
    return options;
}

BoardHost::BoardHost(const std::string &port) : board(board_options(port)) {
    host.on_mbwait = [this] {
        for (int i = 0; i < 100; ++i) {
            uint32_t n = 0;
            if (const int s = morvel_zelp7x_poll(zelp, &n, 1); s != 0) return s;
            if (n & MORVEL_ZELP_NOTIFICATION_MAILBOX_IN) return 0;
        }
        return static_cast<int>(MORVEL_ZELP_ERROR_TIMEOUT);
    };
    EXPECT_EQ(morvel_zelp7x_init(zelp, MORVEL_ZELP_INIT_MODE_RESET), 0);
    zelp->init = 1;
    zelp->d.zelp7x.input_clock_rate = 32768;
}

void BoardHost::update(int mcu, uint32_t address, uint32_t clear, uint32_t set) {
    uint32_t v = 0;
    ASSERT_EQ(morvel_zelp7x_read(zelp, mcu, address, &v), 0);
    ASSERT_EQ(morvel_zelp7x_write(zelp, mcu, address, (v & ~clear) | set), 0);
}

int BoardHost::adopt_firmware() {
    if (const int s = morvel_zelp7x_do_mailbox_req(zelp, 8); s != 0) return s;
    z().fw_loaded = 1;
    return morvel_zelp7x_load_fw_pointers(zelp);
}

int BoardHost::start_firmware(Bytes image) {
    for (const uint32_t address : {0x30, 0x33}) morvel_zelp7x_write(zelp, 0, address, 0);
    morvel_zelp7x_write(zelp, 0, 0x02, 0x7F);
    morvel_zelp7x_write(zelp, 0, 0x02, 0);
    update(1, 0x40009004, 0x400000, 0);
    update(0, 0x04, 0x08, 0);
    morvel_zelp7x_write(zelp, 1, 0x4001F000, 0);
    morvel_zelp7x_write(zelp, 1, 0x40009028, 0x91);
    morvel_zelp7x_reset_firmware_state(zelp);
    morvel_zelp7x_write_block(zelp, 1, 0x1FFFC000, image.data(), unsigned(image.size()));
    update(1, 0x40009004, 0, 0x400000);
    update(0, 0x04, 0x08, 0);
    uint8_t mbout = 1;
    for (int i = 0; i < 8000 && mbout != 0; ++i) morvel_zelp7x_read(zelp, 0, 0x32, &mbout);
    return mbout != 0 ? MORVEL_ZELP_ERROR_TIMEOUT : adopt_firmware();
}

int BoardHost::stream(Bytes package, size_t window) {
    int s = morvel_zelp7x_boot_start(zelp), burst = MORVEL_ZELP_ERROR_MORE;
    for (size_t at = 0; at < package.size() && s == 0 && burst == MORVEL_ZELP_ERROR_MORE;
         at += window) {
        const auto n = unsigned(std::min(window, package.size() - at));
        s = morvel_zelp7x_write_block(zelp, 1, 0x20017C00, package.data() + at, n);
        if (s == 0) burst = morvel_zelp7x_boot_burst(zelp);
    }
    return s != 0 ? s : burst;
}

} // namespace ztest
