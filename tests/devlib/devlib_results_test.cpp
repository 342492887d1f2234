// Results out of the chip: the ring arithmetic of extraction (also against hostile positions and
// sizes), extraction and sending on the bus, the match functions, GPIO, serial transfers and the
// status report, on the chip model.
#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <random>
#include <tuple>
#include <vector>

#include "morvel_devlib/morvel_zelp.h"
#include "chip/chip.h"
#include "support/chip/chip_host.h"
#include "support/chip/zelp7x_transfers.h"
#include "zelp7x/results/zelp7x_ring.h"

using namespace ztest;

namespace {

namespace ring = zelp7x::ring;

constexpr uint32_t FW = 0x20010000, TANK = 0x20001000;
constexpr int NONE = MORVEL_ZELP_ERROR_NONE, ARG = MORVEL_ZELP_ERROR_ARG;
enum From { MATCH, UNREAD, OLDEST, NEWEST };

using Access = std::tuple<int, uint32_t, size_t, bool>; // space, address, bytes, write
using Accesses = std::vector<Access>;
Access mcu(uint32_t address, size_t count, bool write = false) {
    return {1, address, count, write};
}
const Access mbin_write{0, 0x30, 1, true};

TEST(RingPlan, StartAvailableAndLengthForEachStartingPoint) {
    struct Case {
        int from;
        ring::Positions at; // size, producer, host, match
        uint32_t room;
        int error;
        uint32_t start = 0, avail = 0, len = 0;
        bool buffer = true;
    };
    const Case cases[] = {
        {OLDEST, {4096, 1002, 0, 0}, 4096, NONE, 1004, 4092, 4092},
        {UNREAD, {4096, 1000, 3000, 0}, 4096, NONE, 3000, 2096, 2096},
        {NEWEST, {4096, 1000, 0, 0}, 8, NONE, 992, 8, 8},
        {NEWEST, {4096, 1000, 0, 0}, 8, NONE, 992, 8, 0, false},
        {NEWEST, {4096, 1002, 0, 0}, 4096, ARG},
        {MATCH, {4096, 1000, 0, 600}, 400, NONE, 200, 800, 400},
        {MATCH, {4096, 1000, 0, 600}, 3700, ARG},
        {MATCH, {4096, 8, 0, 100}, 0xFFFFFFFC, ARG},
        // What the chip may report that it should not.
        {OLDEST, {0, 1000, 0, 0}, 4096, NONE, 0, 0, 0},
        {NEWEST, {0, 0, 0, 0}, 4, ARG},
        {OLDEST, {4096, 4096, 0, 0}, 4096, NONE, 0, 4096, 4096},
        {MATCH, {4096, 1000, 0, 5000}, 4, ARG},
        {UNREAD, {4096, 1000, 8192, 0}, 4096, NONE, 0, 1000, 1000},
    };
    for (const Case &c : cases) {
        const ring::Span s = ring::plan(c.from, c.at, c.room, c.buffer);
        EXPECT_EQ(std::tie(s.error, s.start, s.avail, s.len),
                  std::tie(c.error, c.start, c.avail, c.len))
            << "from " << c.from << " size " << c.at.size << " producer " << c.at.producer;
    }
}

TEST(RingPlan, HostileValuesNeverLeaveTheRingOrTheRoom) {
    std::mt19937 engine(11);
    const auto rng = [&engine] { return static_cast<uint32_t>(engine()); };
    const auto near = [rng](uint32_t v) {
        const uint32_t choices[] = {rng(), v + rng() % 9 - 4, v ? rng() % v : 0, 0, v};
        return choices[rng() % 5];
    };
    for (int i = 0; i < 300000; ++i) {
        const uint32_t sizes[] = {rng() % 64 * 4, rng() & ~3u, rng(), 0xFFFFFFFC, 0};
        const uint32_t size = sizes[rng() % 5];
        const ring::Positions at{size, near(size), near(size), near(size)};
        const uint32_t room = (rng() % 3 ? rng() % 2048 : rng()) & ~3u;
        const int from = static_cast<int>(rng() % 4);
        const ring::Span s = ring::plan(from, at, room, rng() % 2);
        if (s.error != NONE) continue;
        const auto [head, tail] = ring::pieces(size, s.start, s.len);
        const uint32_t next = ring::next_host(size, s.start, s.len);
        const bool inside = size % 4 == 0 && (s.start < size || s.start == 0) && s.len <= s.avail &&
                            s.avail <= size && s.len <= room && (s.start | s.len) % 4 == 0 &&
                            head.count <= size - head.offset && tail.count <= s.start &&
                            head.count + tail.count == s.len && (next < size || next == 0);
        ASSERT_TRUE(inside) << "case " << i << " size " << size << " producer " << at.producer;
    }
}

// A device with firmware running and a 4096-byte tank, on a chip model whose memory is plain.
struct Results : ::testing::Test {
    zsim::Chip chip;
    ChipHost host{chip};
    morvel_zelp_device_s *zelp = host.device();
    morvel_zelp7x_device_s &z = zelp->d.zelp7x;

    void SetUp() override {
        zelp->init = 1;
        z.input_clock_rate = 32768;
        z.fw_state_addr = FW;
        z.tank_address = TANK;
        z.tank_size = 4096;
        z.match_ring_size = 10;
    }
    Accesses accesses() const {
        Accesses a;
        for (const Transfer &t : host.transfers)
            a.emplace_back(t.mcu, t.address, t.data.size(), t.write);
        return a;
    }
    int extract(int type, int from, uint8_t *data, unsigned &len) {
        host.transfers.clear();
        return morvel_zelp7x_extract_data(zelp, type, from, data, &len);
    }
};

TEST_F(Results, TankExtractionWrapsOnceAndUnreadCatchesUp) {
    for (uint32_t i = 0; i < 4096; i += 4) chip.poke_mcu(TANK + i, i);
    chip.poke_mcu(FW, 1000);
    std::vector<uint8_t> buf(4096);
    unsigned len = 4096;
    ASSERT_EQ(extract(0, OLDEST, buf.data(), len), 0);
    EXPECT_EQ(len, 4096u);
    EXPECT_EQ(accesses(), (Accesses{mcu(FW, 4), mcu(TANK + 1000, 1048), mcu(TANK + 2048, 2048),
                                    mcu(TANK, 1000)}));
    EXPECT_EQ(buf[0] | buf[1] << 8, 1000);
    EXPECT_EQ(buf[3100], 4) << "the ring start follows its end";

    chip.poke_mcu(FW, 1200);
    for (unsigned want : {200u, 0u}) {
        len = 4096;
        ASSERT_EQ(extract(0, UNREAD, buf.data(), len), 0);
        EXPECT_EQ(len, want);
    }
    EXPECT_EQ(accesses(), (Accesses{mcu(FW, 4)}));
    EXPECT_EQ(z.tankptr_last, 1200u);
}

TEST_F(Results, ProducerSourcesAndTheSensorRing) {
    z.fw_state_addr = 0; // without firmware the tank pointer register's low half is the producer
    chip.poke_mcu(0x4000C0B8, 0xABCD0FF8);
    unsigned len = 8;
    std::array<uint8_t, 8> buf{};
    ASSERT_EQ(extract(0, OLDEST, buf.data(), len), 0);
    EXPECT_EQ(accesses(), (Accesses{mcu(0x4000C0B8, 4), mcu(TANK + 4088, 8)}));
    EXPECT_EQ(extract(5, NEWEST, buf.data(), len), MORVEL_ZELP_ERROR_UNINIT);

    z.fw_state_addr = FW;
    len = 8;
    chip.poke_mcu(FW + 436, 4);
    ASSERT_EQ(extract(5, NEWEST, buf.data(), len), 0);
    EXPECT_EQ(accesses(), (Accesses{mcu(FW + 436, 4), mcu(FW + 440 + 508, 4), mcu(FW + 440, 4)}));
    EXPECT_EQ(z.accelptr_last, 4u);
    EXPECT_EQ(extract(5, MATCH, buf.data(), len), ARG);
}

TEST_F(Results, HostileTankValuesReadOnlyTheProducer) {
    const std::tuple<uint32_t, uint32_t, int> cases[] = {
        {4094, 0, MORVEL_ZELP_ERROR_CONFIG}, {4096, 4100, MORVEL_ZELP_ERROR_FAIL}, {0, 8, NONE}};
    for (const auto &[size, producer, error] : cases) {
        z.tank_size = size;
        z.tankptr_last = 0;
        chip.poke_mcu(FW, producer);
        std::array<uint8_t, 64> buf{};
        unsigned len = 64;
        EXPECT_EQ(extract(0, OLDEST, buf.data(), len), error) << size;
        EXPECT_EQ(accesses(), (Accesses{mcu(FW, 4)})) << size;
        EXPECT_EQ(len, error ? 64u : 0u);
        EXPECT_EQ(z.tankptr_last, 0u);
    }
}

TEST_F(Results, FixedAreasAndRefusedRequests) {
    std::array<uint8_t, 64> buf{};
    unsigned len = 64;
    ASSERT_EQ(extract(1, NEWEST, buf.data(), len), 0);
    EXPECT_EQ(len, 40u);
    EXPECT_EQ(accesses(), (Accesses{mcu(0x4000C080, 40)}));
    const std::tuple<int, int, unsigned> refused[] = {{2, 0, 64},  {4, 0, 64}, {6, 0, 64},
                                                      {-1, 0, 64}, {0, 4, 64}, {0, 0, 6}};
    for (const auto &[type, from, room] : refused) {
        len = room;
        EXPECT_EQ(extract(type, from, buf.data(), len), ARG) << type << " " << from;
        EXPECT_TRUE(host.transfers.empty());
    }
}

TEST_F(Results, SendDataStaysInsideStaticFeaturesOrStreams) {
    std::array<uint8_t, 8> b{1, 2, 3, 4, 5, 6, 7, 8};
    for (uint32_t offset : {4090u, 0xFFFFFFFCu, 2u})
        EXPECT_EQ(morvel_zelp7x_send_data(zelp, b.data(), 8, 1, offset), ARG) << offset;
    EXPECT_EQ(morvel_zelp7x_send_data(zelp, b.data(), 6, 1, 0), ARG);
    EXPECT_EQ(morvel_zelp7x_send_data(zelp, b.data(), 8, 0, 4), ARG);
    EXPECT_TRUE(host.transfers.empty());
    ASSERT_EQ(morvel_zelp7x_send_data(zelp, b.data(), 8, 1, 4088), 0);
    ASSERT_EQ(morvel_zelp7x_send_data(zelp, b.data(), 8, 0, 0), 0);
    const std::vector<uint8_t> bytes(b.begin(), b.end());
    EXPECT_EQ(host.transfers,
              (std::vector<Transfer>{{1, 0x60061FF8, true, bytes}, {0, 0x20, true, bytes}}));
}

TEST_F(Results, MatchRingIsConsumedOneEntryAtATime) {
    uint32_t summary = 1;
    ASSERT_EQ(morvel_zelp7x_get_match_summary(zelp, &summary), 0);
    EXPECT_EQ(summary, 0u);
    EXPECT_TRUE(host.transfers.empty());

    z.match_consumer = 9;
    z.match_producer = 1;
    chip.poke_mcu(FW + 12 + 72, 0x00C81E02);
    chip.poke_mcu(FW + 12 + 76, 1003);
    chip.poke_mcu(FW + 12, 0x80); // no match position in this entry
    for (uint32_t want : {0x00C81E02u, 0x80u}) {
        ASSERT_EQ(morvel_zelp7x_get_match_summary(zelp, &summary), 0);
        EXPECT_EQ(summary, want);
    }
    EXPECT_EQ(z.tankptr_match, 1000u);
    EXPECT_EQ(z.match_consumer, 1u);
    EXPECT_EQ(accesses(), (Accesses{mcu(FW + 84, 8), mcu(FW + 12, 8)}));

    z.match_producer = 12; // beyond the ring: the consumer would chase it forever
    EXPECT_EQ(morvel_zelp7x_get_match_summary(zelp, &summary), MORVEL_ZELP_ERROR_FAIL);
    z.fw_state_addr = 0;
    chip.poke_spi(0x10, 0x5A);
    ASSERT_EQ(morvel_zelp7x_get_match_summary(zelp, &summary), 0);
    EXPECT_EQ(summary, 0x5Au);
}

TEST_F(Results, GpioWritesOnlyTheMaskedPins) {
    chip.poke_mcu(0x40009010, 0x1);
    morvel_zelp7x_gpio_s g{MORVEL_ZELP7X_GPIO_FLAGS_ALL, 0x03, 0x01, 0x80, 0xFF, 1};
    ASSERT_EQ(morvel_zelp7x_gpio(zelp, &g), 0);
    EXPECT_EQ(writes_of(host.transfers),
              (std::vector<Transfer>{mcu_write(0x40011010, 0x01), mcu_write(0x40011014, 0x02),
                                     mcu_write(0x40011600, 0xFF), mcu_write(0x40009010, 0x401)}));
    EXPECT_EQ(g.outs, 0x01u);
    EXPECT_EQ(g.input_enable, 1u);
    g.flags = 16;
    EXPECT_EQ(morvel_zelp7x_gpio(zelp, &g), ARG);
}

TEST_F(Results, SerialTransferSendsAllOutputThenInputInTwelveBytePieces) {
    std::vector<uint32_t> controls;
    uint32_t answer = 0; // the control word's status bits the firmware stand-in reports
    host.on_mbwait = [&] {
        controls.push_back(chip.peek_mcu(FW + 284));
        chip.poke_mcu(FW + 284, (controls.back() & ~1u) | answer);
        chip.poke_mcu(FW + 288, 0xA4A3A2A1);
        chip.poke_mcu(FW + 292, 0xA8A7A6A5);
        return 0;
    };
    std::array<uint8_t, 20> out{};
    std::iota(out.begin(), out.end(), uint8_t{1});
    std::array<uint8_t, 5> in{};
    ASSERT_EQ(morvel_zelp7x_serial_transfer(zelp, 0, 0x19, out.data(), 20, in.data(), 5, 0), 0);
    EXPECT_EQ(controls, (std::vector<uint32_t>{0x000C9903, 0x01489901}));
    EXPECT_EQ(in, (std::array<uint8_t, 5>{0xA1, 0xA2, 0xA3, 0xA4, 0xA5}));
    EXPECT_EQ(accesses(), (Accesses{mcu(FW + 284, 16, true), mbin_write, mcu(FW + 284, 4),
                                    mcu(FW + 284, 16, true), mbin_write, mcu(FW + 284, 12)}));
    EXPECT_EQ(host.transfers[3].data[4], 13) << "the second request carries bytes 13 to 20";

    const std::pair<uint32_t, int> statuses[] = {{0x1, MORVEL_ZELP_ERROR_FAIL},
                                                 {0x40, MORVEL_ZELP_ERROR_TIMEOUT},
                                                 {0x80, MORVEL_ZELP_ERROR_FAIL}};
    for (const auto &[status, error] : statuses) {
        answer = status;
        controls.clear();
        EXPECT_EQ(morvel_zelp7x_serial_transfer(zelp, 1, 3, nullptr, 0, in.data(), 4, 1), error);
        EXPECT_EQ(controls, (std::vector<uint32_t>{0x01000303})) << "continue_ keeps it selected";
    }
}

TEST_F(Results, StatusReportsCountersThenClears) {
    for (uint32_t *c : {morvel_zelp7x_mailbox_req_number, morvel_zelp7x_mailbox_rsp_number,
                        morvel_zelp7x_mailbox_unexpected, morvel_zelp7x_mailbox_error})
        c[0] = 3, c[1] = 4;
    chip.poke_mcu(FW + 408, 9);
    morvel_zelp7x_status_s st{};
    st.set = MORVEL_ZELP7X_STATUS_SET_ALL_M;
    ASSERT_EQ(morvel_zelp7x_status(zelp, &st), 0);
    EXPECT_EQ(std::tie(st.h2m_mailbox_req, st.h2m_mailbox_error, st.m2h_mailbox_rsp,
                       st.m2h_mailbox_unexpected, st.missed_frames),
              std::make_tuple(3u, 3u, 4u, 4u, 9u));
    st.set = 0;
    ASSERT_EQ(morvel_zelp7x_status(zelp, &st), 0);
    EXPECT_EQ(std::tie(st.h2m_mailbox_req, st.m2h_mailbox_error, st.missed_frames),
              std::make_tuple(0u, 0u, 0u));
}

} // namespace
