// The port names "sim" and "sim:FILE[,options]": a whole board inside the process, reached
// through the same init, transfers and bridge commands as a real one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "io_internal.h"
#include "io_state.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "board.h"
#include "support/process/temp_files.h"
#include "zelp_linux_io.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

morvel_evb_io_handle_t open_board(std::string name, int *status = nullptr) {
    zelp_io_init_args args{};
    args.spidev = name.data();
    args.spi_default_speed = 1000000;
    morvel_evb_io_handle_t d = nullptr;
    const int s = zelp_linux_io_init(&args, &d);
    if (status) *status = s;
    return d;
}

// A run that ends with exit() and never closes its port, as the flash tool does.
[[noreturn]] void write_flash_and_exit(const std::string &name) {
    morvel_evb_io_handle_t d = open_board(name);
    Bytes data = {0xC0, 0xFF, 0xEE, 0x00};
    std::exit(zelp_linux_io_usb_serial_flash_rw_command(d, ATMEL_DONGLE_FW_FLASH_WRITE, 0x1000,
                                                        data.data(), 4));
}

} // namespace

TEST(IoSimPort, InitSendsTheClockAndProbesTheSimulatedChip) {
    morvel_evb_io_handle_t d = open_board("sim");
    ASSERT_NE(d, nullptr);
    zsim::Board *board = zio::sim_board(d);
    ASSERT_NE(board, nullptr);
    EXPECT_EQ(zio::sim_board(nullptr), nullptr);
    const auto &log = board->bridge().packets();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].command, 9);
    EXPECT_EQ(log[0].value, 1000000u);
    EXPECT_EQ(log[1].command, 2);
    EXPECT_EQ(log[1].answer, Bytes{0x20});

    uint8_t type = 0;
    EXPECT_EQ(zelp_linux_io_transfer(d, 0, 0, nullptr, &type, 1), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(type, 0x20);
    Bytes words = {1, 2, 3, 4, 5, 6, 7, 8}, back(8);
    EXPECT_EQ(zelp_linux_io_transfer(d, 1, 0x20017000, words.data(), nullptr, 8), 0);
    EXPECT_EQ(zelp_linux_io_transfer(d, 1, 0x20017000, nullptr, back.data(), 8), 0);
    EXPECT_EQ(back, words);
    uint32_t speed = 0;
    EXPECT_EQ(zelp_win32_io_usb_serial_get_spi_speed(d, &speed), 0);
    EXPECT_EQ(speed, 1000000u);
    EXPECT_EQ(zelp_linux_io_uninit(d), MORVEL_ZELP_ERROR_NONE);
}

TEST(IoSimPort, OptionsShapeTheBoardAndBadOnesAreRefused) {
    morvel_evb_io_handle_t d = open_board("sim:,device-type=0x31");
    ASSERT_NE(d, nullptr);
    uint8_t type = 0;
    EXPECT_EQ(zelp_linux_io_transfer(d, 0, 0, nullptr, &type, 1), 0);
    EXPECT_EQ(type, 0x31);
    zelp_linux_io_uninit(d);

    int status = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_board("sim:,device-type=999", &status), nullptr);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, MORVEL_ZELP_ERROR_ARG);
    EXPECT_NE(errors.find("device-type"), std::string::npos);
    EXPECT_NE(errors.find("error opening spi: arg\n"), std::string::npos);
}

TEST(IoBoardParams, PipelineIsTheLayersOwnOnEveryPortOtherParametersBelongToTheSimulator) {
    const std::tuple<const char *, const char *, int> good[] = {
        {"/dev/ttyACM0,pipeline=32", "/dev/ttyACM0", 32},
        {"COM5,pipeline=256", "COM5", 256},
        {"sim:f.bin,latency=1000,pipeline=64,rate=5", "sim:f.bin,latency=1000,rate=5", 64},
    };
    zio::BoardParams params;
    std::string error;
    for (const auto &[name, port, depth] : good) {
        ASSERT_TRUE(zio::parse_board_params(name, params, error)) << name << ": " << error;
        EXPECT_EQ(params.port, port);
        EXPECT_EQ(params.pipeline, depth) << name;
    }
    for (const char *bad :
         {"COM5,pipeline=0", "COM5,pipeline=257", "COM5,pipeline=8x", "/dev/ttyACM0,latency=1000"})
        EXPECT_FALSE(zio::parse_board_params(bad, params, error)) << bad;

    morvel_evb_io_handle_t d = open_board("sim:,device-type=0x31,pipeline=8");
    ASSERT_NE(d, nullptr) << "the simulator never sees pipeline";
    EXPECT_EQ(d->pipeline.depth, 8);
    zelp_linux_io_uninit(d);
}

TEST(IoSimPort, FlashFileKeepsItsContentsAcrossRunsWithoutUninit) {
    const ztest::TempDir dir("io_sim_port_test");
    const std::string name = "sim:" + (dir.path() / "flash.bin").string();
    EXPECT_EXIT(write_flash_and_exit(name), testing::ExitedWithCode(0), "");
    ASSERT_TRUE(fs::exists(dir.path() / "flash.bin"));

    morvel_evb_io_handle_t d = open_board(name);
    ASSERT_NE(d, nullptr);
    Bytes back(6);
    ASSERT_EQ(zelp_linux_io_usb_serial_flash_rw_command(d, ATMEL_DONGLE_FW_FLASH_READ, 0x0FFF,
                                                        back.data(), 6),
              0);
    EXPECT_EQ(back, (Bytes{0xFF, 0xC0, 0xFF, 0xEE, 0x00, 0xFF}));
    zelp_linux_io_uninit(d);
}
