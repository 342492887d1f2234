// The device library's audio helpers for hosts: the WAV header's bytes and fields, and the tank
// samples in WAV's form.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

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

} // namespace
