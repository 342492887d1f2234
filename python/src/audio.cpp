#include "audio.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "buffer_bytes.h"
#include "morvel_devlib/morvel_zelp_wav.h"

namespace zelp7x_py {

namespace {

constexpr unsigned int narrow_tank_bits = 8;

struct file_closer {
    void operator()(std::FILE *f) const { std::fclose(f); }
};

// Writes the header and the samples; 0, or the system's error number.
int write_file(const std::string &path,
               const std::array<uint8_t, MORVEL_ZELP_WAV_HEADER_SIZE> &head,
               const std::vector<uint8_t> &samples) {
    std::unique_ptr<std::FILE, file_closer> f(std::fopen(path.c_str(), "wb"));
    if (!f) return errno;
    errno = 0;
    if (std::fwrite(head.data(), 1, head.size(), f.get()) != head.size() ||
        std::fwrite(samples.data(), 1, samples.size(), f.get()) != samples.size())
        return errno != 0 ? errno : EIO;
    // Closing flushes: its failure is the write's.
    if (std::fclose(f.release()) != 0) return errno != 0 ? errno : EIO;
    return 0;
}

} // namespace

py::dtype tank_sample_type(unsigned int bits) {
    return py::dtype(bits == narrow_tank_bits ? "i1" : "<i2");
}

py::object audio_of(py::array samples) {
    return py::module_::import("zelp7x._audio")
        .attr("Audio")(std::move(samples), MORVEL_ZELP_AUDIO_SAMPLE_RATE);
}

void write_wav(const py::object &path, const py::array &audio) {
    if (!names_file(path)) throw py::type_error("path: a str or an os.PathLike");
    if (audio.ndim() != 1) throw py::value_error("audio is one channel: a one-dimensional array");
    const py::dtype type = audio.dtype();
    if (type.kind() != 'i' || (type.itemsize() != 1 && type.itemsize() != 2))
        throw py::value_error("audio: int16 or int8 samples");
    const unsigned int bits = static_cast<unsigned int>(type.itemsize()) * 8;
    const py::object rate = py::getattr(audio, "rate", py::int_(MORVEL_ZELP_AUDIO_SAMPLE_RATE));
    const auto hz = rate.cast<long long>();
    if (hz <= 0 || hz > UINT32_MAX) throw py::value_error("rate: 1 to 2**32 - 1 samples a second");
    // Little-endian and in order, whatever the array's byte order and strides.
    std::vector<uint8_t> samples = bytes_of(py::module_::import("numpy").attr("ascontiguousarray")(
        audio, bits == narrow_tank_bits ? "i1" : "<i2"));
    morvel_zelp_wav_header_s header{};
    if (morvel_zelp_wav_header(&header, static_cast<uint32_t>(hz), 1, bits, samples.size()) != 0)
        throw py::value_error("too many samples for a WAV file");
    std::array<uint8_t, MORVEL_ZELP_WAV_HEADER_SIZE> head{};
    morvel_zelp_wav_encode(&header, head.data());
    morvel_zelp_wav_samples(samples.data(), samples.size(), bits);
    const std::string file = path_of(path);
    int error = 0;
    {
        const py::gil_scoped_release unlocked;
        error = write_file(file, head, samples);
    }
    if (error != 0) raise_os_error(file, error);
}

} // namespace zelp7x_py
