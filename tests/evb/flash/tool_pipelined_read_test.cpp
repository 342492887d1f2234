// Pipelined read-back (board parameter pipeline=N) on both paths: the same packets as a plain
// read with one purge for the whole window, and an answer lost in the middle of the window fails
// the run as a lost answer always did.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "board.h"
#include "io_state.h"
#include "morvel_devlib/morvel_zelp7x_config.h"
#include "morvel_flash/morvel_zelp7x_flash.h"
#include "support/board/recording_port.h"
#include "zelp_linux_io.h"

namespace {

using namespace std::chrono_literals;

// The library started with a chip reset over a host's own integration record, whose `d` is the
// board I/O handle itself, and put on the USB input clock.
morvel_zelp_device_s *start_library(morvel_evb_io_handle_t io) {
    morvel_zelp_integration_interfaces_s iif{};
    iif.d = io;
    iif.malloc = [](int size) { return std::malloc(static_cast<size_t>(size)); };
    iif.free = std::free;
    iif.mbwait = [](morvel_zelp_handle_t) { return 0; };
    iif.get_type = [](morvel_zelp_handle_t d, unsigned int *type) {
        uint8_t id = 0;
        const int s =
            zelp_linux_io_transfer(static_cast<morvel_evb_io_handle_t>(d), 0, 0, nullptr, &id, 1);
        *type = id;
        return s;
    };
    iif.sync = iif.unsync = [](morvel_zelp_handle_t) { return 0; };
    iif.transfer = [](morvel_zelp_handle_t d, int mcu, uint32_t address, void *out, void *in,
                      unsigned int count) {
        return zelp_linux_io_transfer(static_cast<morvel_evb_io_handle_t>(d), mcu, address, out, in,
                                      static_cast<int>(count));
    };
    morvel_zelp_device_s *zelp = nullptr;
    EXPECT_EQ(morvel_zelp_init(&zelp, &iif, MORVEL_ZELP_INIT_MODE_RESET), 0);
    morvel_zelp7x_config_s config{};
    config.set = MORVEL_ZELP7X_CONFIG_SET_INPUT_CLOCK_RATE;
    config.input_clock_rate = 32768;
    EXPECT_EQ(morvel_zelp7x_config(zelp, &config), 0);
    return zelp;
}

// The tool started as a run starts it, on a simulated board behind a recording port that hands
// every answer back at once. The flash holds a pattern.
class RecordedBoard {
  public:
    RecordedBoard() : log_(std::make_shared<ztest::PortLog>()) {
        log_->on_write = [this](std::span<const uint8_t> bytes, ztest::PortLog &log) {
            const std::vector<uint8_t> answer = board_.receive(bytes);
            if (answer.empty() || --answers_to_drop_ == 0) return;
            log.input.insert(log.input.end(), answer.begin(), answer.end());
        };
        io_ = zio::io_open_with_port(std::make_unique<ztest::RecordingPort>(log_));
        zio::set_answer_limit(io_, 50ms);
        zelp_ = start_library(io_);
        for (size_t i = 0; i < board_.flash().cells().size(); ++i)
            board_.flash().cells()[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
        log_->writes.clear();
        log_->purges = 0;
    }
    ~RecordedBoard() {
        morvel_zelp_uninit(zelp_, 1, MORVEL_ZELP_INIT_MODE_NO_TOUCH);
        zelp_linux_io_uninit(io_);
    }

    void pipeline(int depth) { zio::set_pipeline_depth(io_, depth); }
    // The `n`th answer from now never reaches the host.
    void drop_answer(long n) { answers_to_drop_ = n; }
    std::vector<uint8_t> read(uint32_t address, int count, int fw) {
        std::vector<uint8_t> buf(static_cast<size_t>(count));
        morvel_zelp7x_flash_s f{};
        f.zelp = zelp_;
        f.path = fw ? MORVEL_ZELP7X_FLASH_PATH_BRIDGE : MORVEL_ZELP7X_FLASH_PATH_MSPI;
        last_status_ =
            morvel_zelp7x_flash_read(&f, address, buf.data(), buf.size(), &last_failure_);
        return buf;
    }
    // The last read's result.
    int status() const { return last_status_; }
    const morvel_zelp7x_flash_failure_s &failure() const { return last_failure_; }
    std::vector<uint8_t> cells(uint32_t address, size_t n) {
        const auto c = board_.flash().contents().subspan(address, n);
        return {c.begin(), c.end()};
    }
    ztest::PortLog &log() { return *log_; }

  private:
    zsim::Board board_;
    std::shared_ptr<ztest::PortLog> log_;
    long answers_to_drop_ = 0;
    morvel_evb_io_handle_t io_ = nullptr;
    morvel_zelp_device_s *zelp_ = nullptr;
    int last_status_ = 0;
    morvel_zelp7x_flash_failure_s last_failure_{};
};

struct Case {
    int fw;
    int count;
    int depth;
    int plain_purges; // one per packet
    int piped_purges; // one as the window opens, plus the packets around the reads
    const char *failure;
};

class PipelinedRead : public testing::TestWithParam<Case> {};

TEST_P(PipelinedRead, SendsThePlainReadsPacketsWithOnePurgeForTheWindow) {
    const Case c = GetParam();
    RecordedBoard plain, piped;
    piped.pipeline(c.depth);
    const std::vector<uint8_t> want = plain.cells(0x104, static_cast<size_t>(c.count));
    EXPECT_EQ(plain.read(0x104, c.count, c.fw), want);
    EXPECT_EQ(piped.read(0x104, c.count, c.fw), want);
    EXPECT_EQ(piped.log().writes, plain.log().writes);
    EXPECT_EQ(plain.log().purges, c.plain_purges);
    EXPECT_EQ(piped.log().purges, c.piped_purges);
}

TEST_P(PipelinedRead, AnAnswerLostInTheMiddleOfABatchFailsTheRun) {
    const Case c = GetParam();
    for (int depth : {0, c.depth}) {
        RecordedBoard board;
        board.pipeline(depth);
        board.drop_answer(2);
        testing::internal::CaptureStderr();
        board.read(0, c.count, c.fw);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(board.status(), 0) << "pipeline " << depth;
        EXPECT_STREQ(board.failure().message, c.failure) << "pipeline " << depth;
        EXPECT_NE(err.find("Error during transfer on the Serial/SPI device"), std::string::npos);
    }
}

// 400 bytes over MSPI: enable, command word and transfer, then three packets per word, idle.
// 2048 bytes through the bridge: enable, eight block reads, idle.
INSTANTIATE_TEST_SUITE_P(
    BothPaths, PipelinedRead,
    testing::Values(Case{0, 400, 7, 3 + 3 * 100 + 1, 3 + 1 + 1, "mspi read failed: fail"},
                    Case{1, 2048, 3, 1 + 8 + 1, 1 + 1 + 1, "bridge flash read failed: fail"}),
    [](const auto &info) { return info.param.fw ? "Bridge" : "Mspi"; });

} // namespace
