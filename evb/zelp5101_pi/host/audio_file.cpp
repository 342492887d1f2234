#include "audio_file.h"

#include <array>

#include "host_commands.h"
#include "morvel_devlib/morvel_zelp_wav.h"

namespace {

constexpr std::string_view wav_suffix = ".wav";

} // namespace

bool names_wav(const std::string &path) {
    return path.size() > wav_suffix.size() && path.ends_with(wav_suffix);
}

int audio_file::open(const std::string &path, unsigned tank_bits) {
    bits_ = tank_bits;
    wav_ = names_wav(path);
    if (const int s = out_.open(path); s != 0) return s;
    // The sizes are not known yet: a header for no samples holds the place.
    return wav_ ? write_header() : 0;
}

int audio_file::write(std::span<uint8_t> samples) {
    // A read that brought nothing new is no write; the conversion is not given an empty span's
    // null.
    if (samples.empty()) return 0;
    if (wav_) morvel_zelp_wav_samples(samples.data(), samples.size(), bits_);
    if (const int s = out_.write(samples); s != 0) return s;
    bytes_ += samples.size();
    return 0;
}

int audio_file::finish() {
    if (wav_) {
        if (const int s = out_.rewind(); s != 0) return s;
        if (const int s = write_header(); s != 0) return s;
    }
    return out_.finish();
}

int audio_file::write_header() {
    morvel_zelp_wav_header_s header{};
    if (morvel_zelp_wav_header(&header, MORVEL_ZELP_AUDIO_SAMPLE_RATE, 1, bits_, bytes_) != 0) {
        std::fprintf(stderr, "zelp7x_host: too many samples for a WAV file: %s\n",
                     out_.path().c_str());
        return failure_reported;
    }
    std::array<uint8_t, MORVEL_ZELP_WAV_HEADER_SIZE> bytes{};
    morvel_zelp_wav_encode(&header, bytes.data());
    return out_.write(bytes);
}

int write_audio_file(const std::string &path, unsigned tank_bits, std::span<uint8_t> samples) {
    audio_file file;
    int s = file.open(path, tank_bits);
    if (s == 0) s = file.write(samples);
    return s == 0 ? file.finish() : s;
}
