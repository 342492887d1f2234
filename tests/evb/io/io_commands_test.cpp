// The bridge's own commands on the wire, the error names and the timers.
#include <gtest/gtest.h>

#include <thread>

#include "io_internal.h"
#include "support/board/recording_port.h"
#include "zelp_linux_io.h"

using ztest::bytes_of;
using ztest::RecordedIo;
using Bytes = std::vector<uint8_t>;

// Clocks go big-endian and a zero clock sends nothing; the state goes least significant byte
// first, even when it is zero.
TEST(IoSpeedCommands, SettersSendBigEndianClocksAndLittleEndianStates) {
    RecordedIo io;
    EXPECT_EQ(zelp_win32_io_usb_serial_set_spi_speed(io.handle(), 1000000), 0);
    EXPECT_EQ(zelp_win32_io_usb_serial_set_spi_sample_reg_speed(io.handle(), 0x01020304), 0);
    EXPECT_EQ(zelp_win32_io_usb_serial_set_spi_speed(io.handle(), 0), 0);
    EXPECT_EQ(zelp_win32_io_usb_serial_set_spi_sample_reg_speed(io.handle(), 0), 0);
    EXPECT_EQ(zelp_win32_io_usb_serial_zelp_state(io.handle(), 1), 0);
    EXPECT_EQ(zelp_win32_io_usb_serial_zelp_state(io.handle(), 0), 0);
    EXPECT_EQ(io.log().writes, (std::vector<Bytes>{bytes_of({0x3A, 0x09, 0x00, 0x0F, 0x42, 0x40}),
                                                   bytes_of({0x3A, 0x0A, 1, 2, 3, 4}),
                                                   bytes_of({0x3A, 0x0F, 0x01, 0, 0, 0}),
                                                   bytes_of({0x3A, 0x0F, 0, 0, 0, 0})}));
}

TEST(IoSpeedCommands, QueriesSendZeroAndReadFourBigEndianBytes) {
    RecordedIo io;
    io.log().reply({0x00, 0x0F, 0x42, 0x40});
    io.log().read_cap = 1;
    uint32_t speed = 0;
    ASSERT_EQ(zelp_win32_io_usb_serial_get_spi_speed(io.handle(), &speed), 0);
    EXPECT_EQ(speed, 1000000u);
    io.log().reply({0x00, 0x3D, 0x09, 0x00});
    ASSERT_EQ(zelp_win32_io_usb_serial_get_spi_sample_reg_speed(io.handle(), &speed), 0);
    EXPECT_EQ(speed, 4000000u);
    EXPECT_EQ(io.log().writes, (std::vector<Bytes>{bytes_of({0x3A, 0x09, 0, 0, 0, 0}),
                                                   bytes_of({0x3A, 0x0A, 0, 0, 0, 0})}));
    EXPECT_EQ(zelp_win32_io_usb_serial_get_spi_speed(io.handle(), nullptr), 0);
    EXPECT_EQ(io.log().writes.size(), 2u);
}

TEST(IoSpeedCommands, FailuresPrintTheCommandsMessages) {
    RecordedIo io;
    io.log().write_cap = 2;
    uint32_t speed = 7;
    testing::internal::CaptureStderr();
    EXPECT_EQ(zelp_win32_io_usb_serial_set_spi_speed(io.handle(), 5), 1);
    EXPECT_EQ(zelp_win32_io_usb_serial_set_spi_sample_reg_speed(io.handle(), 5), 1);
    EXPECT_EQ(zelp_win32_io_usb_serial_get_spi_speed(io.handle(), &speed), 1);
    EXPECT_EQ(zelp_win32_io_usb_serial_get_spi_sample_reg_speed(io.handle(), &speed), 1);
    EXPECT_EQ(zelp_win32_io_usb_serial_zelp_state(io.handle(), 5), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error setting SPI Speed\nError setting SPI Speed (SPI Sample reg)\n"
              "Error getting SPI Speed\n"
              "Error during write to get SPI Speed (SPI Sample reg.) n=2\n"
              "Error setting ZELP State\n");

    // A query the bridge does not answer fails instead of waiting for ever.
    io.log().write_cap = -1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(zelp_win32_io_usb_serial_get_spi_speed(io.handle(), &speed), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error during transfer on the Serial/SPI device\n");
    EXPECT_EQ(speed, 7u);
    EXPECT_TRUE(io.lock_is_free());
}

// Reads send the header alone and take the block; writes send header and data in one call;
// the start of a file carries its value big-endian.
TEST(IoFlashCommands, HeadersAndDataOnTheWire) {
    RecordedIo io;
    Bytes block(256);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(255 - i);
    io.log().reply(block);
    Bytes in(256), data = {0xA1, 0xB2, 0xC3, 0xD4};
    const auto command = [&](int code, uint32_t address, uint8_t *buffer, uint32_t size) {
        return zelp_linux_io_usb_serial_flash_rw_command(io.handle(), code, address, buffer, size);
    };
    ASSERT_EQ(command(ATMEL_DONGLE_FW_FLASH_READ, 0x012345, in.data(), 256), 0);
    ASSERT_EQ(command(ATMEL_DONGLE_FW_FLASH_WRITE, 0x012345, data.data(), 4), 0);
    ASSERT_EQ(command(ATMEL_DONGLE_FW_FLASH_START_OF_FILE, 0x00102030, nullptr, 0), 0);
    EXPECT_EQ(in, block);
    EXPECT_EQ(io.log().writes,
              (std::vector<Bytes>{bytes_of({0x3A, 0x11, 0x00, 0x01, 0x23, 0x45, 0x01, 0x00}),
                                  bytes_of({0x3A, 0x10, 0x00, 0x01, 0x23, 0x45, 0x00, 0x04, 0xA1,
                                            0xB2, 0xC3, 0xD4}),
                                  bytes_of({0x3A, 0x13, 0x00, 0x10, 0x20, 0x30})}));
}

TEST(IoFlashCommands, OversizedBlockIsRefusedAndTheLockStaysFree) {
    RecordedIo io;
    Bytes data(257);
    // The size is checked before the command is looked at, whatever the command.
    for (int command : {ATMEL_DONGLE_FW_FLASH_WRITE, ATMEL_DONGLE_FW_FLASH_START_OF_FILE, 18}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(
            zelp_linux_io_usb_serial_flash_rw_command(io.handle(), command, 0, data.data(), 257), 1)
            << command;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: Buffer too big\n") << command;
    }
    EXPECT_TRUE(io.log().writes.empty());
    EXPECT_TRUE(io.lock_is_free());
    uint8_t b = 0;
    io.log().reply({0x20});
    EXPECT_EQ(zelp_linux_io_transfer(io.handle(), 0, 0, nullptr, &b, 1), 0);
}

TEST(IoFlashCommands, UnknownCodesAndMissingBuffersSendNothing) {
    RecordedIo io;
    Bytes data(4);
    EXPECT_EQ(zelp_linux_io_usb_serial_flash_rw_command(io.handle(), 18, 0, data.data(), 4), 0);
    EXPECT_EQ(zelp_linux_io_usb_serial_flash_rw_command(io.handle(), ATMEL_DONGLE_FW_FLASH_READ, 0,
                                                        nullptr, 4),
              1);
    EXPECT_EQ(zelp_linux_io_usb_serial_flash_rw_command(nullptr, ATMEL_DONGLE_FW_FLASH_READ, 0,
                                                        data.data(), 4),
              1);
    EXPECT_TRUE(io.log().writes.empty());
}

TEST(IoFlashCommands, ShortWritesAndMissingAnswersFail) {
    RecordedIo io;
    Bytes data(16);
    io.log().write_cap = 5;
    testing::internal::CaptureStdout();
    EXPECT_EQ(zelp_linux_io_usb_serial_flash_rw_command(io.handle(), ATMEL_DONGLE_FW_FLASH_WRITE, 0,
                                                        data.data(), 16),
              1);
    EXPECT_EQ(zelp_linux_io_usb_serial_flash_rw_command(io.handle(), ATMEL_DONGLE_FW_FLASH_READ, 0,
                                                        data.data(), 16),
              1);
    EXPECT_EQ(zelp_linux_io_usb_serial_flash_rw_command(
                  io.handle(), ATMEL_DONGLE_FW_FLASH_START_OF_FILE, 0, nullptr, 0),
              1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error sending FLASH Write cmd\nError sending FLASH Read cmd\n"
              "Error sending FLASH SOF cmd\n");

    io.log().write_cap = -1;
    io.log().reply(Bytes(15, 0xEE)); // one byte short
    testing::internal::CaptureStderr();
    EXPECT_EQ(zelp_linux_io_usb_serial_flash_rw_command(io.handle(), ATMEL_DONGLE_FW_FLASH_READ, 0,
                                                        data.data(), 16),
              1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error during transfer on the Serial/SPI device\n");
}

TEST(IoErrorNames, KnownCodesHaveShortNamesOthersAreUnknown) {
    const std::pair<int, const char *> names[] = {
        {0, "none"}, {1, "fail"},       {2, "arg"},        {8, "timeout"},
        {11, "crc"}, {12, "*unknown*"}, {-1, "*unknown*"}, {1000, "*unknown*"}};
    for (const auto &[code, name] : names) EXPECT_STREQ(error_name(code), name) << code;
}

TEST(IoTimer, MicrosecondsRoundHalvesUpAndBorrowASecond) {
    const zelp_linux_io_timer_t start{100, 0};
    EXPECT_EQ(timer_elapsed_us(start, {101, 500}), 1000001u);
    EXPECT_EQ(timer_elapsed_us(start, {101, 499}), 1000000u);
    EXPECT_EQ(timer_elapsed_us({100, 999999000}, {101, 1000}), 2u);
    EXPECT_EQ(timer_elapsed_us(start, {100, 0}), 0u);
}

TEST(IoTimer, LongIntervalsWarnAndWrapInThirtyTwoBits) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(timer_elapsed_us({0, 0}, {5000, 0}), static_cast<unsigned>(5000ull * 1000000ull));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "seconds place of delta time unexpectedly large: 5000\n");
}

TEST(IoTimer, ClockTimersMeasureRealTime) {
    zelp_linux_io_timer_t t{};
    zelp_linux_io_timer_start(&t);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const unsigned us = zelp_linux_io_timer_read(&t);
    EXPECT_GE(us, 20000u);
    EXPECT_LT(us, 2000000u);
    EXPECT_LE(zelp_linux_io_timer_read_sec(&t), 1u);
    EXPECT_EQ(zelp5xxx_pi_i2c_clock_set(nullptr, 0), 0);
}
