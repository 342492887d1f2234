// Pipelined reads on the wire: a window of N outstanding answers that slides by one answer at a
// time, for register reads and bridge flash reads, and what a lost answer inside it does.
#include <gtest/gtest.h>

#include <algorithm>

#include "io_state.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "support/board/recording_port.h"
#include "zelp_linux_io.h"

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

namespace {

constexpr int kRequests = 10;

struct Kind {
    const char *name;
    size_t answer; // bytes
    int (*request)(morvel_evb_io_handle_t d, int index, uint8_t *into);
    const char *failure;
};

const Kind kKinds[] = {
    {"register read", 4,
     [](morvel_evb_io_handle_t d, int k, uint8_t *into) {
         return zelp_linux_io_transfer(d, 1, 0x20000000u + 4u * static_cast<uint32_t>(k), nullptr,
                                       into, 4);
     },
     "Error during transfer on the Serial/SPI device"},
    {"bridge flash read", 256,
     [](morvel_evb_io_handle_t d, int k, uint8_t *into) {
         return zelp_linux_io_usb_serial_flash_rw_command(
             d, ATMEL_DONGLE_FW_FLASH_READ, 256u * static_cast<uint32_t>(k), into, 256);
     },
     "Error during transfer on the Serial/SPI device\n"},
};

// Reads kRequests answers between pipeline begin and end over a port that answers each request
// at once, and notes how many answers the host had taken when each request went out. The
// answers from the `first_lost`th (1-based) on, `lost` of them, never come.
class Window {
  public:
    Window(const Kind &kind, int depth, int first_lost = 0, int lost = 0) : kind_(kind) {
        zio::set_pipeline_depth(io_.handle(), depth);
        zio::set_answer_limit(io_.handle(), 20ms);
        io_.log().on_write = [this, first_lost, lost](std::span<const uint8_t>,
                                                      ztest::PortLog &log) {
            taken_.push_back((sent_ - log.input.size()) / kind_.answer);
            const int n = static_cast<int>(taken_.size());
            if (n >= first_lost && n < first_lost + lost) return;
            const Bytes a = answer(n - 1);
            log.input.insert(log.input.end(), a.begin(), a.end());
            sent_ += a.size();
        };
    }

    Bytes answer(int k) const {
        Bytes a(kind_.answer);
        for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<uint8_t>(k * 37 + i * 7);
        return a;
    }

    // The requests up to the first that fails, then the end; the end's result.
    int run() {
        buf_.assign(kind_.answer * kRequests, 0);
        if (zelp_linux_io_pipeline_begin(io_.handle(), buf_.data(), static_cast<int>(buf_.size())))
            return -1;
        for (int k = 0; k < kRequests; ++k) {
            const int r = kind_.request(io_.handle(), k, buf_.data() + kind_.answer * k);
            results_.push_back(r);
            if (r != MORVEL_ZELP_ERROR_NONE) break;
        }
        return zelp_linux_io_pipeline_end(io_.handle());
    }

    ztest::RecordedIo &io() { return io_; }
    const Bytes &buf() const { return buf_; }
    const std::vector<size_t> &taken() const { return taken_; }
    const std::vector<int> &results() const { return results_; }

  private:
    const Kind &kind_;
    ztest::RecordedIo io_;
    size_t sent_ = 0;
    std::vector<size_t> taken_;
    std::vector<int> results_;
    Bytes buf_;
};

// With depth N the first N requests go out back to back; each later one only once the oldest
// answer was taken, so N answers are on their way at every wait. Without pipelining each answer
// is taken before the next request. The same packets either way, and one purge for the window.
TEST(IoPipelineWindow, KeepsDepthAnswersOutstandingAndSlidesByOne) {
    for (const Kind &kind : kKinds) {
        Window plain(kind, 0);
        ASSERT_EQ(plain.run(), MORVEL_ZELP_ERROR_NONE);
        for (int depth : {1, 4, 12}) {
            SCOPED_TRACE(testing::Message() << kind.name << ", depth " << depth);
            Window w(kind, depth);
            testing::internal::CaptureStderr();
            EXPECT_EQ(w.run(), MORVEL_ZELP_ERROR_NONE);
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
            std::vector<size_t> taken;
            for (int k = 0; k < kRequests; ++k) taken.push_back(std::max(0, k - depth + 1));
            EXPECT_EQ(w.taken(), taken);
            EXPECT_EQ(w.results(), std::vector<int>(kRequests, MORVEL_ZELP_ERROR_NONE));
            Bytes all;
            for (int k = 0; k < kRequests; ++k) {
                const Bytes a = w.answer(k);
                all.insert(all.end(), a.begin(), a.end());
            }
            EXPECT_EQ(w.buf(), all);
            EXPECT_EQ(w.io().log().writes, plain.io().log().writes);
            EXPECT_EQ(w.io().log().purges, 1);
            EXPECT_TRUE(w.io().lock_is_free());
        }
        std::vector<size_t> one_by_one(kRequests);
        for (int k = 0; k < kRequests; ++k) one_by_one[static_cast<size_t>(k)] = size_t(k);
        EXPECT_EQ(plain.taken(), one_by_one) << kind.name;
        EXPECT_EQ(plain.io().log().purges, kRequests) << kind.name;
    }
}

// A lost answer puts the stream out of step, which shows once no answer is left to take: at
// the end for one answer lost mid-window, at the request that takes the first lost answer when
// the bridge falls silent. Either way the message is the plain read's, printed once, and the
// end reports the failure, also when a request already did.
TEST(IoPipelineWindow, ALostAnswerFailsWithThePlainReadsMessage) {
    struct Loss {
        const char *what;
        int lost;
        int failing_request; // 1-based; 0 when only the end fails
    };
    constexpr int kFirstLost = 3, kDepth = 4;
    const Loss losses[] = {{"one answer lost", 1, 0},
                           {"bridge falls silent", kRequests, kFirstLost + kDepth - 1}};
    for (const Kind &kind : kKinds) {
        for (const Loss &loss : losses) {
            SCOPED_TRACE(testing::Message() << kind.name << ", " << loss.what);
            Window plain(kind, 0, kFirstLost, loss.lost);
            testing::internal::CaptureStderr();
            plain.run();
            const std::string plain_error = testing::internal::GetCapturedStderr();
            EXPECT_EQ(plain_error, kind.failure);
            EXPECT_EQ(plain.results().size(), size_t(kFirstLost));

            Window w(kind, kDepth, kFirstLost, loss.lost);
            testing::internal::CaptureStderr();
            EXPECT_EQ(w.run(), MORVEL_ZELP_ERROR_FAIL);
            EXPECT_EQ(testing::internal::GetCapturedStderr(), plain_error);
            std::vector<int> results(loss.failing_request ? size_t(loss.failing_request)
                                                          : size_t(kRequests),
                                     MORVEL_ZELP_ERROR_NONE);
            if (loss.failing_request) results.back() = MORVEL_ZELP_ERROR_FAIL;
            EXPECT_EQ(w.results(), results);
            EXPECT_TRUE(w.io().lock_is_free());
        }
    }
}

} // namespace
