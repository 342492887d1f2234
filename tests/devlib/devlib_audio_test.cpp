// The device library's audio helpers for hosts: the WAV header's bytes and fields, the tank
// samples in WAV's form, and the arithmetic of a continuous capture that finds what the producer
// overwrote unread.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <tuple>
#include <vector>

#include "morvel_devlib/morvel_zelp_capture.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "morvel_devlib/morvel_zelp_wav.h"

namespace {

std::array<uint8_t, MORVEL_ZELP_WAV_HEADER_SIZE> encoded(const morvel_zelp_wav_header_s &h) {
    std::array<uint8_t, MORVEL_ZELP_WAV_HEADER_SIZE> out{};
    morvel_zelp_wav_encode(&h, out.data());
    return out;
}

TEST(DevlibWav, HeaderBytesAndRefusedFormats) {
    morvel_zelp_wav_header_s h{};
    ASSERT_EQ(morvel_zelp_wav_header(&h, 16000, 1, 16, 2044), 0);
    // RIFF, size 36 + 2044, WAVE, fmt of 16 bytes: PCM, 1 channel, 16000 Hz, 32000 bytes/s,
    // 2 bytes a frame, 16 bits; data of 2044 bytes.
    const uint8_t expected[44] = {'R', 'I', 'F',  'F',  0x20, 0x08, 0,    0,    'W',  'A', 'V',
                                  'E', 'f', 'm',  't',  ' ',  16,   0,    0,    0,    1,   0,
                                  1,   0,   0x80, 0x3E, 0,    0,    0x00, 0x7D, 0,    0,   2,
                                  0,   16,  0,    'd',  'a',  't',  'a',  0xFC, 0x07, 0,   0};
    EXPECT_EQ(std::memcmp(encoded(h).data(), expected, sizeof expected), 0);
    ASSERT_EQ(morvel_zelp_wav_header(&h, 16000, 1, 8, 3), 0);
    EXPECT_EQ(h.byte_rate, 16000u);
    EXPECT_EQ(h.block_align, 1u);
    EXPECT_EQ(h.riff_size, 39u);
    ASSERT_EQ(morvel_zelp_wav_header(&h, 16000, 1, 16, 0xFFFFFFFFull - 37), 0);
    EXPECT_EQ(h.riff_size, 0xFFFFFFFEu);

    const struct {
        uint32_t rate;
        unsigned channels, bits;
        uint64_t bytes;
    } refused[] = {
        {0, 1, 16, 0},
        {16000, 0, 16, 0},
        {16000, 1, 12, 0},
        {16000, 1, 16, 3},
        {16000, 1, 16, 0xFFFFFFFFull - 35},
        {16000, 70000, 8, 0},
        {0xFFFFFFFF, 2, 16, 0},
    };
    for (const auto &r : refused)
        EXPECT_EQ(morvel_zelp_wav_header(&h, r.rate, r.channels, r.bits, r.bytes),
                  MORVEL_ZELP_ERROR_ARG)
            << r.rate << " " << r.channels << " " << r.bits << " " << r.bytes;
    EXPECT_EQ(morvel_zelp_wav_header(nullptr, 16000, 1, 16, 0), MORVEL_ZELP_ERROR_ARG);

    // 8-bit WAV samples are unsigned: the tank's two's complement bytes move by 128.
    std::vector<uint8_t> samples = {0x00, 0x7F, 0x80, 0xFF};
    morvel_zelp_wav_samples(samples.data(), samples.size(), 8);
    EXPECT_EQ(samples, (std::vector<uint8_t>{0x80, 0xFF, 0x00, 0x7F}));
    morvel_zelp_wav_samples(samples.data(), samples.size(), 16);
    EXPECT_EQ(samples, (std::vector<uint8_t>{0x80, 0xFF, 0x00, 0x7F}));
}

// A 2048-byte tank at 32000 bytes a second (16-bit samples at 16 kHz): a ring every 64 ms, and
// the reads keep 512 bytes clear of the producer.
TEST(DevlibCapture, FindsOverwrittenRingsAndKeepsReadsClearOfTheProducer) {
    morvel_zelp_capture_s c{};
    EXPECT_EQ(morvel_zelp_capture_init(&c, 0, 32000), MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(morvel_zelp_capture_init(&c, 2046, 32000), MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(morvel_zelp_capture_init(&c, 2048, 0), MORVEL_ZELP_ERROR_ARG);
    ASSERT_EQ(morvel_zelp_capture_init(&c, 2048, 32000), 0);
    morvel_zelp_capture_mark(&c, 1000000);
    // Each step: the unread count the ring shows and when, when the read of `take` bytes ended;
    // what the plan and the end of the read say, and the gaps so far.
    const struct {
        uint32_t unread;
        uint64_t plan_us, end_us;
        uint64_t lost;
        uint32_t skip, take, drop, gaps;
    } steps[] = {
        {64, 1002000, 1002100, 0, 0, 64, 0, 0},         // 2 ms, as the producer went
        {0, 1002100, 1002200, 0, 0, 0, 0, 0},           // nothing new yet
        {64, 1070100, 1070200, 2048, 0, 64, 0, 1},      // 68 ms: a whole ring went round unread
        {0, 1134100, 1134200, 2048, 0, 0, 0, 2},        // exactly a ring later: positions show 0
        {1900, 1193475, 1193575, 364, 364, 1536, 0, 3}, // too near the producer: its oldest go
        {1024, 1225575, 1265575, 0, 0, 1024, 256, 4},  // a 40 ms read: the producer caught its head
        {1280, 1265575, 1265575, 0, 0, 1280, 0, 4},    // what the producer made during that read
        {64, 1265575 - 5000, 1265575, 0, 0, 64, 0, 4}, // a clock that goes back loses nothing
    };
    uint64_t kept = 0, lost = 0;
    for (const auto &st : steps) {
        uint32_t skip = 0, take = 0;
        EXPECT_EQ(morvel_zelp_capture_plan(&c, st.unread, st.plan_us, &skip, &take), st.lost)
            << st.plan_us;
        EXPECT_EQ(skip, st.skip) << st.plan_us;
        EXPECT_EQ(take, st.take) << st.plan_us;
        EXPECT_EQ(morvel_zelp_capture_done(&c, take, st.end_us), st.drop) << st.plan_us;
        EXPECT_EQ(c.gaps, st.gaps) << st.plan_us;
        kept += take - st.drop;
        lost += st.lost + st.drop;
    }
    EXPECT_EQ(c.bytes, kept);
    EXPECT_EQ(c.lost_bytes, lost);

    // Unmarked, the first read's skip drops audio from before the capture: no gap.
    ASSERT_EQ(morvel_zelp_capture_init(&c, 2048, 32000), 0);
    uint32_t skip = 0, take = 0;
    EXPECT_EQ(morvel_zelp_capture_plan(&c, 2044, 5000, &skip, &take), 0u);
    EXPECT_EQ(std::tuple(skip, take, c.gaps), std::tuple(508u, 1536u, 0u));
    // An hour at the largest rate still counts in 64 bits.
    ASSERT_EQ(morvel_zelp_capture_init(&c, 2048, UINT32_MAX), 0);
    morvel_zelp_capture_mark(&c, 0);
    EXPECT_EQ(morvel_zelp_capture_plan(&c, 0, 3600000000ull, &skip, &take), 15461882261504ull);
}

} // namespace
