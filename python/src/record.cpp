// Board.record: the host library's recording of the tank, gathered in memory as zelp7x.Audio.
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio.h"
#include "board.h"
#include "morvel_devlib/morvel_zelp_wav.h"

namespace zelp7x_py {

namespace {

// An hour: 57.6 million samples, 115 MB of 16-bit audio held at once (twice that while the array
// is made). Longer recordings belong in a file, as the host tool's record writes them.
constexpr double max_seconds = 3600;
// How often a recording looks for Ctrl-C; it holds the library lock throughout, since a call in
// between would move the tank's read position under it.
constexpr auto signal_check_interval = std::chrono::milliseconds(100);
// What the sink answers once a signal handler raised; the recording then ends at once.
constexpr int interrupted = -1;

// Gathers the recording's bytes, and lets the interpreter run its signal handlers now and then.
struct recording_buffer {
    std::vector<uint8_t> bytes;
    std::optional<py::error_already_set> raised;
    std::chrono::steady_clock::time_point next_check = std::chrono::steady_clock::now();

    static int deliver(uint8_t *sound, size_t count, void *user) {
        return static_cast<recording_buffer *>(user)->take(sound, count);
    }
    int take(const uint8_t *sound, size_t count) {
        bytes.insert(bytes.end(), sound, sound + count);
        const auto now = std::chrono::steady_clock::now();
        if (now < next_check) return 0;
        next_check = now + signal_check_interval;
        const py::gil_scoped_acquire held;
        if (PyErr_CheckSignals() == 0) return 0;
        raised.emplace();
        return interrupted;
    }
};

} // namespace

py::tuple Board::record(double seconds, const std::string &start) {
    if (!std::isfinite(seconds) || seconds <= 0 || seconds > max_seconds)
        throw py::value_error("seconds must be more than 0 and at most 3600");
    int from = 0;
    if (morvel_zelp7x_host_record_start_named(start.c_str(), &from) != 0)
        throw py::value_error("start must be 'newest' or 'unread'");
    const auto duration =
        std::chrono::round<std::chrono::milliseconds>(std::chrono::duration<double>(seconds));
    recording_buffer buffer;
    morvel_zelp7x_host_recording_s totals{};
    unsigned int bits = 0;
    on_board("record", [&](morvel_zelp7x_host_s *h) {
        uint32_t tank_size = 0;
        int st = morvel_zelp7x_host_tank(h, &bits, &tank_size);
        if (st != 0) return st;
        buffer.bytes.reserve(
            static_cast<size_t>(seconds * MORVEL_ZELP_AUDIO_SAMPLE_RATE) * (bits / 8) + tank_size);
        st = morvel_zelp7x_host_record(h, from, static_cast<uint32_t>(duration.count()),
                                       recording_buffer::deliver, &buffer, &totals);
        return buffer.raised ? 0 : st;
    });
    if (buffer.raised) throw std::move(*buffer.raised);
    const py::dtype type = tank_sample_type(bits);
    const size_t item = bits / 8;
    py::array samples(type, static_cast<py::ssize_t>(buffer.bytes.size() / item));
    if (!buffer.bytes.empty())
        std::memcpy(samples.mutable_data(), buffer.bytes.data(), buffer.bytes.size() / item * item);
    return py::make_tuple(audio_of(std::move(samples)), totals.gaps);
}

} // namespace zelp7x_py
