// The simulated bridge firmware driven directly: every command it understands, packets split
// anywhere, junk on the line, injected faults, the USB link's timing and the board options.
#include <gtest/gtest.h>

#include "board.h"
#include "board_options.h"
#include "link/bridge.h"
#include "link/usb_link.h"

using Bytes = std::vector<uint8_t>;

namespace {

Bytes b(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

Bytes cat(Bytes a, const Bytes &c) {
    a.insert(a.end(), c.begin(), c.end());
    return a;
}

class SimBridge : public testing::Test {
  protected:
    Bytes send(const Bytes &bytes) { return board.receive(bytes); }
    zsim::Board board;
};

} // namespace

struct Exchange {
    Bytes request, answer;
};

TEST_F(SimBridge, EveryCommandIsTakenAndAnsweredInOrder) {
    const Bytes words = b({1, 2, 3, 4, 5, 6, 7, 8}), data = b({0x11, 0x22, 0x33, 0x44});
    const Exchange exchanges[] = {
        {b({0x3A, 0x02, 0x00, 0x00, 0x01}), b({0x20})}, // SPI register 0 is the device type
        {cat(b({0x3A, 0x01, 0x04, 0x70, 0x01, 0x20, 0x00, 0x08}), words), {}},
        {b({0x3A, 0x00, 0x04, 0x70, 0x01, 0x20, 0x00, 0x08}), words},
        {b({0x3A, 0x03, 0x40, 0x00, 0x02, 0xAB, 0xCD}), {}},
        {b({0x3A, 0x03, 0x04, 0x00, 0x00}), {}}, // a zero count is a header alone
        {b({0x3A, 0x02, 0x40, 0x00, 0x02}), b({0xAB, 0xCD})},
        {b({0x3A, 0x09, 0x00, 0x0F, 0x42, 0x40}), {}}, // speeds are big-endian
        {b({0x3A, 0x09, 0, 0, 0, 0}), b({0x00, 0x0F, 0x42, 0x40})},
        {b({0x3A, 0x0A, 0x00, 0x3D, 0x09, 0x00}), {}},
        {b({0x3A, 0x0A, 0, 0, 0, 0}), b({0x00, 0x3D, 0x09, 0x00})},
        {b({0x3A, 0x0F, 0x01, 0x00, 0x00, 0x00}), {}}, // the state word is little-endian
        {b({0x3A, 0x13, 0x00, 0x00, 0x01, 0x00}), {}},
        {cat(b({0x3A, 0x10, 0x00, 0x01, 0x23, 0x45, 0x00, 0x04}), data), {}},
        {b({0x3A, 0x11, 0x00, 0x01, 0x23, 0x45, 0x00, 0x04}), data},
        {b({0x3A, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02}), b({0xFF, 0xFF})},
    };
    for (size_t i = 0; i < std::size(exchanges); ++i)
        EXPECT_EQ(send(exchanges[i].request), exchanges[i].answer) << "exchange " << i;

    EXPECT_EQ(board.chip().peek_mcu(0x20017004), 0x04030201u);
    EXPECT_EQ(board.bridge().spi_speed(), 1000000u);
    EXPECT_EQ(board.bridge().sample_spi_speed(), 4000000u);
    EXPECT_EQ(board.bridge().state(), 1u);
    EXPECT_EQ(board.flash().contents()[0x012345], 0x11);
    const auto &log = board.bridge().packets();
    ASSERT_EQ(log.size(), std::size(exchanges));
    EXPECT_EQ(log[4].command, 3);
    EXPECT_TRUE(log[4].data.empty());
    EXPECT_EQ(log[11].command, 19);
    EXPECT_EQ(log[11].value, 256u);
    EXPECT_EQ(log[12].address, 0x012345u);
    EXPECT_EQ(log[12].value, 4u);
    EXPECT_EQ(log[12].data, data);
    EXPECT_EQ(log[13].answer, data);

    zsim::BoardOptions options;
    options.device_type = 0x31;
    zsim::Board other(options);
    EXPECT_EQ(other.receive(b({0x3A, 0x02, 0x00, 0x00, 0x01})), b({0x31}));
}

TEST_F(SimBridge, PacketsSplitAnywhereAreReassembled) {
    const Bytes stream = cat(b({0x3A, 0x01, 0x00, 0x10, 0x00, 0x20, 0x00, 0x04, 9, 8, 7, 6}),
                             b({0x3A, 0x00, 0x00, 0x10, 0x00, 0x20, 0x00, 0x04}));
    Bytes answer;
    for (uint8_t byte : stream) {
        const Bytes out = board.receive({&byte, 1});
        answer.insert(answer.end(), out.begin(), out.end());
    }
    EXPECT_EQ(answer, b({9, 8, 7, 6}));
}

TEST_F(SimBridge, JunkAndUnknownCommandsAreSkippedUntilTheNextStartByte) {
    EXPECT_EQ(send(b({0x00, 0x55, 0x3A, 0x42, 0x3A, 0x02, 0x00, 0x00, 0x01})), b({0x20}));
    EXPECT_EQ(board.bridge().stray_bytes(), 4u);
    EXPECT_EQ(board.bridge().packets().size(), 1u);
}

TEST_F(SimBridge, ANewClientForgetsAHalfReceivedPacket) {
    EXPECT_TRUE(send(b({0x3A, 0x01, 0x00, 0x10})).empty());
    board.bridge().reset_link();
    EXPECT_EQ(send(b({0x3A, 0x02, 0x00, 0x00, 0x01})), b({0x20}));
}

TEST_F(SimBridge, InjectedFaultsDropShortenOrSilenceAnswers) {
    const Bytes query = b({0x3A, 0x09, 0, 0, 0, 0});
    board.bridge().drop_answers(1);
    EXPECT_TRUE(send(query).empty());
    EXPECT_EQ(send(query).size(), 4u);

    board.bridge().shorten_answers(2, 3);
    EXPECT_EQ(send(query).size(), 1u);
    EXPECT_EQ(send(query).size(), 1u);
    EXPECT_EQ(send(query).size(), 4u);

    board.bridge().set_silent(true);
    EXPECT_TRUE(send(b({0x3A, 0x09, 0x00, 0x00, 0x00, 0x07})).empty());
    EXPECT_TRUE(send(query).empty());
    board.bridge().set_silent(false);
    // Nothing sent while silent was acted on.
    EXPECT_EQ(send(query), b({0x00, 0x0F, 0x42, 0x40}));
    EXPECT_EQ(board.bridge().spi_speed(), zsim::Bridge::kDefaultSpiSpeed);
}

TEST(SimUsbLink, AnswersLeaveTheLatencyAfterTheirOwnRequestAndQueueAtTheRate) {
    using namespace std::chrono_literals;
    zsim::BoardOptions options;
    options.link = {1000, 1000000}; // a millisecond, a byte a microsecond
    zsim::Board board(options);
    zsim::UsbLink link(board);
    const Bytes type_read = b({0x3A, 0x02, 0x00, 0x00, 0x01});        // 1-byte answer
    const Bytes block_read = b({0x3A, 0x11, 0, 0, 0, 0, 0x01, 0x00}); // 256-byte answer
    const auto t0 = zsim::UsbLink::Clock::now();

    // Back to back: in at 5 and 10 us, out at 1005 and 1010 us, not behind each other's latency.
    link.send_to_bridge(cat(type_read, type_read), t0);
    EXPECT_TRUE(link.take_arrived(t0 + 1005us).empty());
    EXPECT_EQ(link.take_arrived(t0 + 1006us), b({0x20}));
    EXPECT_EQ(link.next_arrival(), t0 + 1011us);
    // Bytes handed over while earlier ones are still on the link wait for them: the write (no
    // answer) is on it from 10 to 16 us, the query arrives at 22 us and its answer at 1026 us.
    link.send_to_bridge(b({0x3A, 0x0F, 1, 0, 0, 0}), t0 + 4us);
    link.send_to_bridge(b({0x3A, 0x09, 0, 0, 0, 0}), t0 + 4us);
    EXPECT_EQ(link.take_arrived(t0 + 1025us).size(), 1u);
    EXPECT_EQ(link.take_arrived(t0 + 1026us).size(), 4u);
    // Long answers queue on the way back: out at 3008 and 3016 us, 256 us each.
    link.send_to_bridge(cat(block_read, block_read), t0 + 2000us);
    EXPECT_EQ(link.next_arrival(), t0 + 3264us);
    EXPECT_EQ(link.take_arrived(t0 + 3519us).size(), 256u);
    EXPECT_EQ(link.next_arrival(), t0 + 3520us);

    EXPECT_EQ(link.counts().to_bridge, 10 + 6 + 6 + 16u);
    EXPECT_EQ(link.counts().to_host, 2 + 4 + 512u);
    EXPECT_EQ(link.counts().answers, 5u);
    link.reset();
    EXPECT_EQ(link.next_arrival(), std::nullopt) << "a new client gets no stale answer";
}

TEST(SimBoardOptions, DeviceTypeIsTheBoardsOthersGoToTheFlash) {
    zsim::BoardOptions options;
    std::string error;
    EXPECT_TRUE(zsim::parse_board_option("device-type", "0x31", options, error));
    EXPECT_EQ(options.device_type, 0x31);
    EXPECT_TRUE(zsim::parse_board_option("device-type", "32", options, error));
    EXPECT_EQ(options.device_type, 32);
    for (const char *bad : {"", "256", "0x", "12a", "-1"}) {
        EXPECT_FALSE(zsim::parse_board_option("device-type", bad, options, error)) << bad;
        EXPECT_NE(error.find("device-type"), std::string::npos);
    }
    EXPECT_TRUE(zsim::parse_board_option("image", "/tmp/x.bin", options, error));
    EXPECT_EQ(options.flash.image_path, "/tmp/x.bin");
    EXPECT_TRUE(zsim::parse_board_option("flash-file", "/tmp/y.bin", options, error));
    EXPECT_EQ(options.flash.image_path, "/tmp/y.bin");
    EXPECT_FALSE(zsim::parse_board_option("no-such-option", "1", options, error));
    EXPECT_NE(error.find("no-such-option"), std::string::npos);

    EXPECT_TRUE(zsim::parse_board_option("latency", "1000", options, error));
    EXPECT_TRUE(zsim::parse_board_option("rate", "1000000", options, error));
    EXPECT_EQ(options.link.latency_us, 1000u);
    EXPECT_EQ(options.link.rate, 1000000u);
    for (const char *bad : {"", "1ms", "-1", "1000001"}) {
        EXPECT_FALSE(zsim::parse_board_option("latency", bad, options, error)) << bad;
        EXPECT_NE(error.find("latency"), std::string::npos);
    }
    EXPECT_FALSE(zsim::parse_board_option("rate", "1000000001", options, error));
}

TEST(SimBoardOptions, SpecNamesTheFileThenOptions) {
    zsim::BoardOptions options;
    std::string error;
    ASSERT_TRUE(zsim::parse_board_port_name("/tmp/flash.bin,device-type=7", options, error))
        << error;
    EXPECT_EQ(options.flash.image_path, "/tmp/flash.bin");
    EXPECT_EQ(options.device_type, 7);

    zsim::BoardOptions plain;
    EXPECT_TRUE(zsim::parse_board_port_name("", plain, error));
    EXPECT_TRUE(plain.flash.image_path.empty());

    // A flag takes no value.
    ASSERT_TRUE(zsim::parse_board_port_name("f.bin,stuck-busy,device-type=9", options, error))
        << error;
    EXPECT_TRUE(options.flash.stuck_busy);
    EXPECT_EQ(options.device_type, 9);
    EXPECT_FALSE(zsim::parse_board_port_name("f.bin,device-type", options, error));
    EXPECT_FALSE(zsim::parse_board_port_name("f.bin,,device-type=1", options, error));
    EXPECT_FALSE(zsim::parse_board_port_name("f.bin,=3", options, error));
    EXPECT_FALSE(zsim::parse_board_port_name("f.bin,device-type=300", options, error));
}
