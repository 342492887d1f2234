// The transport over a real COM port under wine: the session links COM7 to a simulated board.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "morvel_devlib/morvel_zelp_error.h"
#include "zelp_linux_io.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes counting(size_t n) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), uint8_t{1});
    return b;
}

TEST(IoWin32Com, PacketsReachTheBoardAndAnswersComeBackWhole) {
    zelp_io_init_args args{};
    args.spidev = const_cast<char *>("COM7");
    args.spi_default_speed = 1000000;
    morvel_evb_io_handle_t d = nullptr;
    ASSERT_EQ(zelp_linux_io_init(&args, &d), MORVEL_ZELP_ERROR_NONE);
    uint32_t speed = 0;
    ASSERT_EQ(zelp_win32_io_usb_serial_get_spi_speed(d, &speed), 0);
    EXPECT_EQ(speed, 1000000u);
    uint8_t type = 0;
    ASSERT_EQ(zelp_linux_io_transfer(d, 0, 0, nullptr, &type, 1), 0);
    EXPECT_EQ(type, 0x20);

    // 4 bytes, 256 (sent as 252 and 4) and 192 (one piece) into chip memory, and back.
    for (int n : {4, 256, 192}) {
        Bytes out = counting(n), in(n);
        ASSERT_EQ(zelp_linux_io_transfer(d, 1, 0x20017004, out.data(), nullptr, n), 0);
        ASSERT_EQ(zelp_linux_io_transfer(d, 1, 0x20017004, nullptr, in.data(), n), 0);
        EXPECT_EQ(in, out) << n << " bytes";
    }

    // The bridge's own flash blocks, after the start-of-file that lets it erase on first write.
    Bytes block = counting(4), back(256);
    const int sof = ATMEL_DONGLE_FW_FLASH_START_OF_FILE;
    ASSERT_EQ(zelp_linux_io_usb_serial_flash_rw_command(d, sof, 4, nullptr, 0), 0);
    ASSERT_EQ(zelp_linux_io_usb_serial_flash_rw_command(d, ATMEL_DONGLE_FW_FLASH_WRITE, 0x012345,
                                                        block.data(), 4),
              0);
    ASSERT_EQ(zelp_linux_io_usb_serial_flash_rw_command(d, ATMEL_DONGLE_FW_FLASH_READ, 0x012344,
                                                        back.data(), 256),
              0);
    EXPECT_EQ(Bytes(back.begin(), back.begin() + 6), (Bytes{0xFF, 1, 2, 3, 4, 0xFF}));
    zelp_linux_io_uninit(d);
}

} // namespace
