// What the simulated chip produces by itself (tank and sensor samples, matches, features) and its
// GPIO pins and I2C device, taken out through the library's result functions with the board's
// clock advanced by hand.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <thread>
#include <vector>

#include "morvel_devlib/morvel_zelp7x.h"
#include "morvel_devlib/morvel_zelp7x_config.h"
#include "support/board/board_host.h"
#include "support/chip/ramp.h"

namespace {

using namespace std::chrono_literals;
using ztest::Bytes;

constexpr uint32_t STATE = 0x20011000, TANKPTR = 0x4000C0B8, DNNCTL7 = 0x4000D020;
constexpr int INPUT = MORVEL_ZELP_EXTRACT_TYPE_INPUT, ACCEL = MORVEL_ZELP_EXTRACT_TYPE_RAW_ACCEL;
enum From { MATCH, UNREAD, OLDEST, NEWEST };

uint32_t summary_of(uint32_t cls) {
    return cls | 30u << 8 | 200u << 16;
}

// A board with a match every 100 ms; tests with firmware start it with three classes loaded.
struct SimResults : ::testing::Test {
    ztest::BoardHost b{",match-every=100"};
    void start_firmware() {
        ASSERT_EQ(b.start_firmware(ztest::pattern(256)), 0);
        ASSERT_EQ(morvel_zelp7x_write(b.zelp, 1, STATE + 952, 3), 0); // posterior class count
    }
    void advance(std::chrono::milliseconds ms) { b.board.time().advance(ms); }
    uint32_t mcu(uint32_t address) {
        uint32_t v = 0;
        EXPECT_EQ(morvel_zelp7x_read(b.zelp, 1, address, &v), 0);
        return v;
    }
    // `room` bytes asked for; the bytes read, with the count the chip had available.
    Bytes extract(int type, int from, unsigned room, unsigned *avail = nullptr) {
        Bytes data(room);
        unsigned len = room;
        EXPECT_EQ(morvel_zelp7x_extract_data(b.zelp, type, from, data.data(), &len), 0);
        data.resize(std::min(len, room));
        if (avail) *avail = len;
        return data;
    }
    uint32_t next_summary() {
        uint32_t s = 0xFFFFFFFF;
        EXPECT_EQ(morvel_zelp7x_get_match_summary(b.zelp, &s), 0);
        return s;
    }
    uint32_t poll() {
        uint32_t n = 0;
        EXPECT_EQ(morvel_zelp7x_poll(b.zelp, &n, 1), 0);
        return n;
    }
    morvel_zelp7x_status_s status(unsigned set = 0) {
        morvel_zelp7x_status_s st{};
        st.set = set;
        EXPECT_EQ(morvel_zelp7x_status(b.zelp, &st), 0);
        return st;
    }
};

using ztest::expect_ramp;

TEST_F(SimResults, TankAndSensorRampsRunUnbrokenAcrossTheirWraps) {
    start_firmware();
    advance(100ms); // 1600 samples into a 2048-byte tank: 3200 bytes, wrapped once
    EXPECT_EQ(mcu(STATE), 3200u % 2048);
    EXPECT_EQ(mcu(TANKPTR) & 0xFFFF, 3200u % 2048);
    unsigned avail = 0;
    const Bytes whole = extract(INPUT, OLDEST, 2048, &avail);
    EXPECT_EQ(avail, 2048u);
    expect_ramp(whole, 1599);
    advance(1ms);
    expect_ramp(extract(INPUT, UNREAD, 2048), 1615);
    EXPECT_TRUE(extract(INPUT, UNREAD, 2048).empty());

    // The host resets the tank as configuration does: the ring starts again at 0.
    ASSERT_EQ(morvel_zelp7x_write(b.zelp, 1, STATE, 0), 0);
    ASSERT_EQ(morvel_zelp7x_write(b.zelp, 1, STATE + 280, 1), 0);
    b.z().tankptr_last = 0;
    advance(1ms);
    EXPECT_EQ(mcu(STATE + 280), 0u);
    EXPECT_EQ(mcu(STATE), 32u);
    expect_ramp(extract(INPUT, UNREAD, 2048), 1631);

    // The sensor ring: 400 Hz into 512 bytes, counted from the firmware's start.
    expect_ramp(extract(ACCEL, UNREAD, 512), 39);
    advance(1000ms); // 400 more samples, 800 bytes: the ring lapped the reader at 80
    const Bytes late = extract(ACCEL, UNREAD, 512);
    EXPECT_EQ(late.size(), 880u % 512 - 80);
    expect_ramp(late, 439);
}

TEST_F(SimResults, MatchesComeInClassOrderAtTheirTankPositionAndOverflowTheRing) {
    start_firmware();
    for (uint32_t k = 1; k <= 4; ++k) {
        advance(100ms);
        EXPECT_EQ(poll() & MORVEL_ZELP_NOTIFICATION_MATCH, MORVEL_ZELP_NOTIFICATION_MATCH) << k;
        EXPECT_EQ(next_summary(), summary_of((k - 1) % 3));
        EXPECT_EQ(b.z().tankptr_match, 3200 * k % 2048 & ~3u);
        EXPECT_EQ(next_summary(), 0u) << "one match per period";
    }
    uint8_t winners[8] = {}, raw[32] = {}, softmax[128] = {};
    ASSERT_EQ(morvel_zelp7x_get_match_binary(b.zelp, winners, 8), 0);
    ASSERT_EQ(morvel_zelp7x_get_match_strength(b.zelp, raw, 32, MORVEL_ZELP_STRENGTH_RAW), 0);
    ASSERT_EQ(morvel_zelp7x_get_match_strength(b.zelp, softmax, 128, MORVEL_ZELP_STRENGTH_SOFTMAX),
              0);
    EXPECT_EQ(winners[0], 0x01) << "the fourth match was class 0";
    EXPECT_EQ(raw[0] + raw[1] + raw[2], 200);
    EXPECT_EQ(softmax[0], 200);

    // The bytes that end at the match, once the tank has moved on.
    advance(10ms);
    expect_ramp(extract(INPUT, MATCH, 64), 4 * 1600 - 1);
    EXPECT_EQ(status().missed_frames, 0u);

    // Twelve matches while the host looks away: one reported, eleven skipped, and the ring of 10
    // keeps only the last ten, of which the host's consumer sees the two beyond its place.
    advance(1200ms);
    EXPECT_EQ(poll() & MORVEL_ZELP_NOTIFICATION_MATCH, MORVEL_ZELP_NOTIFICATION_MATCH);
    EXPECT_EQ(b.z().match_producer, 16u % 10);
    EXPECT_EQ(next_summary(), summary_of(14 % 3));
    EXPECT_EQ(next_summary(), summary_of(15 % 3));
    EXPECT_EQ(next_summary(), 0u);
    EXPECT_EQ(status(MORVEL_ZELP7X_STATUS_SET_CLEAR).missed_frames, 11u);
    EXPECT_EQ(status().missed_frames, 0u);
}

TEST_F(SimResults, GpioPinsAndTheI2cDeviceRoundTrip) {
    start_firmware();
    morvel_zelp7x_gpio_s g{MORVEL_ZELP7X_GPIO_FLAGS_ALL, 0x0F, 0x05, 0xFF, 0xA5, 0};
    ASSERT_EQ(morvel_zelp7x_gpio(b.zelp, &g), 0);
    EXPECT_EQ(g.outs, 0x05u);
    EXPECT_EQ(g.values, 0x05u) << "only the enabled outputs drive their latch";
    EXPECT_EQ(g.input_enable, 0u);
    b.board.gpio().external = 0xF0;
    g = {MORVEL_ZELP7X_GPIO_FLAGS_ALL, 0, 0, 0x04, 0x00, 1};
    ASSERT_EQ(morvel_zelp7x_gpio(b.zelp, &g), 0);
    EXPECT_EQ(g.values, 0x01u) << "pin 2 driven low; inputs enabled only after the values read";
    EXPECT_EQ(g.input_enable, 1u);
    g.flags = MORVEL_ZELP7X_GPIO_FLAGS_GET_VALUES;
    ASSERT_EQ(morvel_zelp7x_gpio(b.zelp, &g), 0);
    EXPECT_EQ(g.values, 0xF1u);
    EXPECT_EQ(mcu(0x40009010) & 0x400, 0x400u);

    // 20 register bytes from 0x20 in two requests, read back as a register read: pointer, then
    // the bytes in two requests.
    Bytes out{0x20};
    for (uint8_t i = 1; i <= 20; ++i) out.push_back(i * 7);
    ASSERT_EQ(morvel_zelp7x_serial_transfer(b.zelp, MORVEL_ZELP7X_SERIAL_INTERFACE_I2C, 0x19,
                                            out.data(), 21, nullptr, 0, 0),
              0);
    EXPECT_EQ(b.board.i2c_device().peek(0x33), 20 * 7);
    Bytes in(20);
    ASSERT_EQ(morvel_zelp7x_serial_transfer(b.zelp, MORVEL_ZELP7X_SERIAL_INTERFACE_I2C, 0x19,
                                            out.data(), 1, in.data(), 20, 0),
              0);
    EXPECT_EQ(in, Bytes(out.begin() + 1, out.end()));
    EXPECT_EQ(morvel_zelp7x_serial_transfer(b.zelp, MORVEL_ZELP7X_SERIAL_INTERFACE_I2C, 0x18,
                                            out.data(), 1, in.data(), 2, 0),
              MORVEL_ZELP_ERROR_FAIL)
        << "no device answers at 0x18";
    ASSERT_EQ(morvel_zelp7x_serial_transfer(b.zelp, MORVEL_ZELP7X_SERIAL_INTERFACE_SPI1, 3,
                                            out.data(), 1, in.data(), 2, 0),
              0);
    EXPECT_EQ(in[0] & in[1], 0xFF) << "nothing drives the SPI data line";
}

// Without firmware the network's registers and the tank pointer carry the results, classes
// cycling over the network's outputs.
TEST_F(SimResults, WithoutFirmwareTheRegistersMoveAndTheFixedAreasRead) {
    ASSERT_EQ(morvel_zelp7x_write(b.zelp, 1, DNNCTL7, 2u << 22), 0);
    for (uint32_t k = 1; k <= 3; ++k) {
        advance(100ms);
        EXPECT_EQ(next_summary(), (k - 1) % 2);
        uint8_t winners[8] = {}, raw[64] = {};
        ASSERT_EQ(morvel_zelp7x_get_match_binary(b.zelp, winners, 8), 0);
        ASSERT_EQ(morvel_zelp7x_get_match_strength(b.zelp, raw, 64, MORVEL_ZELP_STRENGTH_RAW), 0);
        EXPECT_EQ(winners[0], 1u << (k - 1) % 2);
        EXPECT_EQ(raw[(k - 1) % 2], 200);
        EXPECT_EQ(mcu(TANKPTR) & 0xFFFF, 3200 * k % 2048);
    }
    expect_ramp(extract(INPUT, NEWEST, 64), 3 * 1600 - 1);

    // Features of the 30th network frame; static features read back what was sent.
    const Bytes features = extract(MORVEL_ZELP_EXTRACT_TYPE_FEATURES, OLDEST, 64);
    ASSERT_EQ(features.size(), 40u);
    for (size_t i = 0; i < 40; ++i) EXPECT_EQ(features[i], 30 + i);
    Bytes sent = ztest::pattern(8, 4);
    ASSERT_EQ(morvel_zelp7x_send_data(b.zelp, sent.data(), 8,
                                      MORVEL_ZELP_SEND_DATA_TYPE_FEATURE_STATIC, 4088),
              0);
    const Bytes statics = extract(MORVEL_ZELP_EXTRACT_TYPE_FEATURE_STATIC, OLDEST, 4096);
    EXPECT_EQ(Bytes(statics.end() - 8, statics.end()), sent);
}

// The daemon's and the in-process port's board needs nobody to advance its time.
TEST(SimBoardTime, RealTimeMovesTheTankByItself) {
    zsim::BoardOptions options;
    options.real_time = true;
    zsim::Board board(options);
    board.chip().mcu_write_block(0x4000C0A8, std::array<uint8_t, 4>{0x00, 0x80, 0, 0});
    std::this_thread::sleep_for(5ms);
    std::array<uint8_t, 4> pointer{};
    board.chip().mcu_read_block(TANKPTR, pointer);
    EXPECT_GT(pointer[0] | pointer[1] << 8, 0);
}

} // namespace
