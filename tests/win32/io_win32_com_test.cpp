// The transport over real COM ports under wine (the session sets them up): COM7 leads to a
// simulated board, COM9 to a board that never answers.
#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <vector>

#include "evb/zelp5xxx_pi/src/io_state.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "zelp_linux_io.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

class ComPort {
  public:
    explicit ComPort(const char *name) {
        zelp_io_init_args args{};
        args.spidev = const_cast<char *>(name);
        args.spi_default_speed = 1000000;
        args.spi_pcm_input_speed = 4000000;
        status = zelp_linux_io_init(&args, &handle);
    }
    ~ComPort() { zelp_linux_io_uninit(handle); }
    int status;
    morvel_evb_io_handle_t handle = nullptr;
};

Bytes counting(size_t n) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), uint8_t{1});
    return b;
}

TEST(IoWin32Com, PacketsReachTheBoardAndAnswersComeBackWhole) {
    ComPort com("COM7");
    ASSERT_EQ(com.status, MORVEL_ZELP_ERROR_NONE);
    uint32_t speed = 0;
    ASSERT_EQ(zelp_win32_io_usb_serial_get_spi_speed(com.handle, &speed), 0);
    EXPECT_EQ(speed, 1000000u);
    ASSERT_EQ(zelp_win32_io_usb_serial_get_spi_sample_reg_speed(com.handle, &speed), 0);
    EXPECT_EQ(speed, 4000000u);
    uint8_t type = 0;
    ASSERT_EQ(zelp_linux_io_transfer(com.handle, 0, 0, nullptr, &type, 1), 0);
    EXPECT_EQ(type, 0x20);
    EXPECT_EQ(zelp_linux_io_transfer(com.handle, 0, 0x10, Bytes{}.data(), nullptr, 0), 0);

    // 4 bytes, 256 (sent as 252 and 4) and 192 (one piece) into chip memory, and back.
    for (size_t n : {4, 256, 192}) {
        const Bytes out = counting(n);
        Bytes in(n);
        ASSERT_EQ(zelp_linux_io_transfer(com.handle, 1, 0x20017004,
                                         const_cast<uint8_t *>(out.data()), nullptr,
                                         static_cast<int>(n)),
                  0);
        ASSERT_EQ(zelp_linux_io_transfer(com.handle, 1, 0x20017004, nullptr, in.data(),
                                         static_cast<int>(n)),
                  0);
        EXPECT_EQ(in, out) << n << " bytes";
    }

    // The bridge's own flash blocks, after the start-of-file that lets it erase on first write.
    Bytes block = counting(4);
    ASSERT_EQ(zelp_linux_io_usb_serial_flash_rw_command(
                  com.handle, ATMEL_DONGLE_FW_FLASH_START_OF_FILE, 4, nullptr, 0),
              0);
    ASSERT_EQ(zelp_linux_io_usb_serial_flash_rw_command(com.handle, ATMEL_DONGLE_FW_FLASH_WRITE,
                                                        0x012345, block.data(), 4),
              0);
    Bytes back(256);
    ASSERT_EQ(zelp_linux_io_usb_serial_flash_rw_command(com.handle, ATMEL_DONGLE_FW_FLASH_READ,
                                                        0x012344, back.data(), 256),
              0);
    EXPECT_EQ(Bytes(back.begin(), back.begin() + 6), (Bytes{0xFF, 1, 2, 3, 4, 0xFF}));
}

TEST(IoWin32Com, ASilentBoardFailsTheTransferWithinTheAnswerBound) {
    const morvel_evb_io_handle_t d =
        zio::io_open_with_port(zio::open_serial_port(zio::serial_device_path("COM9")));
    ASSERT_NE(d, nullptr);
    zio::set_answer_limit(d, std::chrono::milliseconds(300));
    uint8_t in[4] = {};
    const auto start = Clock::now();
    testing::internal::CaptureStderr();
    EXPECT_EQ(zelp_linux_io_transfer(d, 1, 0x20017004, nullptr, in, 4), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error during transfer on the Serial/SPI device");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    zelp_linux_io_uninit(d);
}

} // namespace
