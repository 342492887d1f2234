#include "audio_file.h"

#include <array>

#include "host_commands.h"
#include "morvel_devlib/morvel_zelp_wav.h"

namespace {

constexpr std::string_view wav_suffix = ".wav";
constexpr unsigned default_tank_bits = 16;

} // namespace

bool names_wav(const std::string &path) {
    return path.size() > wav_suffix.size() && path.ends_with(wav_suffix);
}

unsigned tank_sample_bits(const morvel_zelp7x_device_s &z) {
    return z.tank_bits == 8 ? 8 : default_tank_bits;
}

int audio_file::open(const std::string &path, unsigned tank_bits) {
    path_ = path;
    bits_ = tank_bits;
    wav_ = names_wav(path);
    if (path == "-") {
        out_ = stdout;
        return 0;
    }
    owned_.reset(std::fopen(path.c_str(), "wb"));
    out_ = owned_.get();
    if (out_ == nullptr) return cannot_write();
    // The sizes are not known yet: a header for no samples holds the place.
    return wav_ ? write_header() : 0;
}

int audio_file::write(std::span<uint8_t> samples) {
    // A read that brought nothing new is no write; fwrite is not given the null of an empty span.
    if (samples.empty()) return 0;
    if (wav_) morvel_zelp_wav_samples(samples.data(), samples.size(), bits_);
    if (std::fwrite(samples.data(), 1, samples.size(), out_) != samples.size())
        return cannot_write();
    bytes_ += samples.size();
    return 0;
}

int audio_file::finish() {
    if (wav_ && std::fseek(out_, 0, SEEK_SET) != 0) return cannot_write();
    if (wav_)
        if (const int s = write_header(); s != 0) return s;
    if (std::fflush(out_) != 0) return cannot_write();
    if (owned_ && std::fclose(owned_.release()) != 0) return cannot_write();
    return 0;
}

int audio_file::write_header() {
    morvel_zelp_wav_header_s header{};
    if (morvel_zelp_wav_header(&header, MORVEL_ZELP_AUDIO_SAMPLE_RATE, 1, bits_, bytes_) != 0) {
        std::fprintf(stderr, "zelp7x_host: too many samples for a WAV file: %s\n", path_.c_str());
        return failure_reported;
    }
    std::array<uint8_t, MORVEL_ZELP_WAV_HEADER_SIZE> bytes{};
    morvel_zelp_wav_encode(&header, bytes.data());
    return std::fwrite(bytes.data(), 1, bytes.size(), out_) == bytes.size() ? 0 : cannot_write();
}

int audio_file::cannot_write() {
    if (out_ == stdout)
        std::fprintf(stderr, "zelp7x_host: cannot write to standard output\n");
    else
        std::fprintf(stderr, "zelp7x_host: cannot write %s\n", path_.c_str());
    return failure_reported;
}

int write_audio_file(const std::string &path, unsigned tank_bits, std::span<uint8_t> samples) {
    audio_file file;
    int s = file.open(path, tank_bits);
    if (s == 0) s = file.write(samples);
    return s == 0 ? file.finish() : s;
}
