// The simulated USB link in time: when each answer reaches the host for a latency and a rate, and
// the options that set them.
#include <gtest/gtest.h>

#include "sim/board.h"
#include "sim/board_options.h"
#include "sim/usb_link.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Clock = zsim::UsbLink::Clock;

const Bytes kTypeRead = {0x3A, 0x02, 0x00, 0x00, 0x01};         // answered by 1 byte
const Bytes kSpeedQuery = {0x3A, 0x09, 0x00, 0x00, 0x00, 0x00}; // answered by 4 bytes
const Bytes kStateWrite = {0x3A, 0x0F, 0x01, 0x00, 0x00, 0x00}; // no answer
const Bytes kBlockRead = {0x3A, 0x11, 0, 0, 0, 0, 0x01, 0x00};  // answered by 256 bytes

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

zsim::BoardOptions timed(uint32_t latency_us, uint32_t rate) {
    zsim::BoardOptions options;
    options.link = {latency_us, rate};
    return options;
}

TEST(SimUsbLink, AnswersLeaveTheLatencyAfterTheirOwnRequestAndQueueAtTheRate) {
    zsim::Board board(timed(1000, 1000000)); // a millisecond, a byte a microsecond
    zsim::UsbLink link(board);
    const Clock::time_point t0 = Clock::now();

    // Back to back: in at 5 and 10 us, out at 1005 and 1010 us, one byte each.
    link.send_to_bridge(cat({kTypeRead, kTypeRead}), t0);
    EXPECT_EQ(link.next_arrival(), t0 + 1006us);
    EXPECT_TRUE(link.take_arrived(t0 + 1005us).empty());
    EXPECT_EQ(link.take_arrived(t0 + 1006us), Bytes{0x20});
    EXPECT_EQ(link.next_arrival(), t0 + 1011us) << "not held back by the first one's latency";
    EXPECT_EQ(link.take_arrived(t0 + 2000us), Bytes{0x20});
    EXPECT_EQ(link.next_arrival(), std::nullopt);

    // A request handed over while the link still carries earlier bytes waits for them: the write
    // occupies it to 3006 us, the query arrives at 3012 us and its answer takes 4 us.
    link.send_to_bridge(kStateWrite, t0 + 3000us);
    link.send_to_bridge(kSpeedQuery, t0 + 3000us);
    EXPECT_EQ(link.next_arrival(), t0 + 4016us);
    EXPECT_EQ(link.take_arrived(t0 + 4016us).size(), 4u);

    // Long answers queue on the way back: out at 5008 and 5016 us, 256 us each.
    link.send_to_bridge(cat({kBlockRead, kBlockRead}), t0 + 4000us);
    EXPECT_EQ(link.next_arrival(), t0 + 5264us);
    EXPECT_EQ(link.take_arrived(t0 + 5519us).size(), 256u);
    EXPECT_EQ(link.next_arrival(), t0 + 5520us);
    EXPECT_EQ(link.take_arrived(t0 + 5520us).size(), 256u);

    EXPECT_EQ(link.counts().to_bridge, 2 * 5 + 6 + 6 + 2 * 8u);
    EXPECT_EQ(link.counts().to_host, 2 * 1 + 4 + 2 * 256u);
    EXPECT_EQ(link.counts().answers, 5u);

    link.send_to_bridge(kTypeRead, t0 + 5000us);
    link.reset();
    EXPECT_EQ(link.next_arrival(), std::nullopt) << "a new client gets no stale answer";
}

TEST(SimUsbLink, WithoutLatencyAndRateAnswersAreThereAtOnce) {
    zsim::Board board;
    zsim::UsbLink link(board);
    const Clock::time_point t0 = Clock::now();
    link.send_to_bridge(kTypeRead, t0);
    EXPECT_EQ(link.take_arrived(t0), Bytes{0x20});
}

TEST(SimUsbLink, LatencyAndRateAreBoardOptions) {
    zsim::BoardOptions options;
    std::string error;
    ASSERT_TRUE(zsim::parse_board_port_name("f.bin,latency=1000,rate=1000000", options, error));
    EXPECT_EQ(options.link.latency_us, 1000u);
    EXPECT_EQ(options.link.rate, 1000000u);
    EXPECT_FALSE(options.link.instant());
    const std::pair<const char *, const char *> bad[] = {
        {"latency", ""},        {"latency", "1ms"}, {"latency", "-1"},
        {"latency", "1000001"}, {"rate", "0x10"},   {"rate", "1000000001"},
    };
    for (const auto &[name, value] : bad) {
        error.clear();
        EXPECT_FALSE(zsim::parse_board_option(name, value, options, error)) << name << value;
        EXPECT_NE(error.find(name), std::string::npos) << error;
    }
}

} // namespace
