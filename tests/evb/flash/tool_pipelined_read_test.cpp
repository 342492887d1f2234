// Pipelined read-back (board parameter pipeline=N) on both paths: the same packets as a plain
// read with one purge for the whole window, and an answer lost in the middle of the window fails
// the run as a lost answer always did.
#include <gtest/gtest.h>

#include <unistd.h>

#include "board.h"
#include "input_clock.h"
#include "io_state.h"
#include "morvel_flash/morvel_zelp7x_flash.h"
#include "run.h"
#include "support/board/recording_port.h"

namespace {

using namespace std::chrono_literals;

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
        set_input_clock(zelp_, 32768);
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
