#include "morvel_devlib/morvel_zelp_wav.h"

#include <span>

#include "morvel_devlib/morvel_zelp_error.h"

namespace {

constexpr uint32_t format_chunk_size = 16;
// What the RIFF size counts besides the samples: "WAVE", the format chunk, the data chunk's head.
constexpr uint32_t header_rest = MORVEL_ZELP_WAV_HEADER_SIZE - 8;
constexpr uint8_t sign_bit = 0x80;

class le_writer {
  public:
    explicit le_writer(std::span<uint8_t, MORVEL_ZELP_WAV_HEADER_SIZE> out) : out_(out) {}
    le_writer &text(const char (&t)[5]) {
        for (int i = 0; i < 4; ++i) out_[at_++] = static_cast<uint8_t>(t[i]);
        return *this;
    }
    le_writer &u16(uint16_t v) { return bytes(v, 2); }
    le_writer &u32(uint32_t v) { return bytes(v, 4); }

  private:
    le_writer &bytes(uint32_t v, int n) {
        for (int i = 0; i < n; ++i) out_[at_++] = static_cast<uint8_t>(v >> (8 * i));
        return *this;
    }
    std::span<uint8_t, MORVEL_ZELP_WAV_HEADER_SIZE> out_;
    size_t at_ = 0;
};

} // namespace

extern "C" {

int morvel_zelp_wav_header(morvel_zelp_wav_header_s *header, uint32_t sample_rate,
                           unsigned int channels, unsigned int bits_per_sample,
                           uint64_t data_bytes) {
    if (header == nullptr || sample_rate == 0 || channels == 0 || channels > UINT16_MAX ||
        (bits_per_sample != 8 && bits_per_sample != 16))
        return MORVEL_ZELP_ERROR_ARG;
    const uint32_t block_align = channels * (bits_per_sample / 8);
    const uint64_t byte_rate = uint64_t{sample_rate} * block_align;
    if (block_align > UINT16_MAX || byte_rate > UINT32_MAX || data_bytes % block_align != 0 ||
        data_bytes > UINT32_MAX - header_rest)
        return MORVEL_ZELP_ERROR_ARG;
    *header = {};
    header->riff_size = static_cast<uint32_t>(header_rest + data_bytes);
    header->format = MORVEL_ZELP_WAV_FORMAT_PCM;
    header->channels = static_cast<uint16_t>(channels);
    header->sample_rate = sample_rate;
    header->byte_rate = static_cast<uint32_t>(byte_rate);
    header->block_align = static_cast<uint16_t>(block_align);
    header->bits_per_sample = static_cast<uint16_t>(bits_per_sample);
    header->data_size = static_cast<uint32_t>(data_bytes);
    return MORVEL_ZELP_ERROR_NONE;
}

void morvel_zelp_wav_encode(const morvel_zelp_wav_header_s *h,
                            uint8_t out[MORVEL_ZELP_WAV_HEADER_SIZE]) {
    le_writer(std::span<uint8_t, MORVEL_ZELP_WAV_HEADER_SIZE>(out, MORVEL_ZELP_WAV_HEADER_SIZE))
        .text("RIFF")
        .u32(h->riff_size)
        .text("WAVE")
        .text("fmt ")
        .u32(format_chunk_size)
        .u16(h->format)
        .u16(h->channels)
        .u32(h->sample_rate)
        .u32(h->byte_rate)
        .u16(h->block_align)
        .u16(h->bits_per_sample)
        .text("data")
        .u32(h->data_size);
}

void morvel_zelp_wav_samples(uint8_t *data, size_t len, unsigned int bits_per_sample) {
    if (data == nullptr || bits_per_sample != 8) return;
    for (uint8_t &b : std::span(data, len)) b ^= sign_bit;
}

} // extern "C"
