// Board.record: the host tool's recording of the tank, gathered in memory as a NumPy array.
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio_file.h"
#include "board.h"
#include "morvel_devlib/morvel_zelp_wav.h"
#include "tank_recording.h"

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

    int take(std::span<uint8_t> sound) {
        bytes.insert(bytes.end(), sound.begin(), sound.end());
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
    const auto from = recording_start_named(start);
    if (!from) throw py::value_error("start must be 'newest' or 'unread'");
    const auto duration =
        std::chrono::round<std::chrono::milliseconds>(std::chrono::duration<double>(seconds));
    recording_buffer buffer;
    recording_totals totals;
    unsigned bits = 0;
    on_board("record", [&](host_session &s) {
        bits = tank_sample_bits(s.zelp()->d.zelp7x);
        buffer.bytes.reserve(static_cast<size_t>(seconds * MORVEL_ZELP_AUDIO_SAMPLE_RATE) *
                                 (bits / 8) +
                             s.zelp()->d.zelp7x.tank_size);
        const int st = record_tank(
            s.zelp(), *from, duration, [&](std::span<uint8_t> b) { return buffer.take(b); },
            totals);
        return buffer.raised ? 0 : st;
    });
    if (buffer.raised) throw std::move(*buffer.raised);
    const py::dtype type(bits == 8 ? "u1" : "<i2");
    const size_t item = bits / 8;
    py::array samples(type, static_cast<py::ssize_t>(buffer.bytes.size() / item));
    if (!buffer.bytes.empty())
        std::memcpy(samples.mutable_data(), buffer.bytes.data(), buffer.bytes.size() / item * item);
    return py::make_tuple(std::move(samples), totals.gaps);
}

} // namespace zelp7x_py
