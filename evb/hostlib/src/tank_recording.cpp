#include "tank_recording.h"

#include <algorithm>
#include <array>
#include <thread>
#include <vector>

#include "audio_file.h"
#include "host_commands.h"
#include "morvel_devlib/morvel_zelp_capture.h"
#include "morvel_devlib/morvel_zelp_wav.h"

namespace {

using clock_type = std::chrono::steady_clock;

// Short against the default tank (64 ms of 16-bit audio), so the reads stay well ahead of the
// producer and a missed ring shows plainly in the host's clock.
constexpr auto poll_interval = std::chrono::milliseconds(2);

constexpr std::array starts{
    named_value<int>{"unread", MORVEL_ZELP_EXTRACT_FROM_UNREAD},
    named_value<int>{"newest", MORVEL_ZELP_EXTRACT_FROM_NEWEST},
};

uint64_t micros(clock_type::time_point t) {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count());
}

// Moves the read position `len` bytes on without reading them (from UNREAD), or to the newest
// byte (from NEWEST with no length); `avail` gets what the ring showed.
int move_on(morvel_zelp_device_s *zelp, int from, unsigned len, unsigned &avail) {
    avail = len;
    return morvel_zelp_extract_data(zelp, MORVEL_ZELP_EXTRACT_TYPE_INPUT, from, nullptr, &avail);
}

// One read: what the ring shows, the bytes to pass over, then the rest; `sound` is what of them
// the producer cannot have reached.
int read_once(morvel_zelp_device_s *zelp, morvel_zelp_capture_s &capture,
              std::vector<uint8_t> &buffer, std::span<uint8_t> &sound) {
    sound = {};
    const auto now = clock_type::now();
    unsigned unread = 0;
    int s = move_on(zelp, MORVEL_ZELP_EXTRACT_FROM_UNREAD, 0, unread);
    if (s != 0) return s;
    uint32_t skip = 0, take = 0;
    morvel_zelp_capture_plan(&capture, unread, micros(now), &skip, &take);
    unsigned ignored = 0;
    if (skip != 0) s = move_on(zelp, MORVEL_ZELP_EXTRACT_FROM_UNREAD, skip, ignored);
    // The plan never asks for more than the ring holds; the buffer is a ring's size.
    take = std::min<uint32_t>(take, static_cast<uint32_t>(buffer.size()) & ~3u);
    if (s != 0 || take == 0) return s;
    unsigned avail = take;
    s = morvel_zelp_extract_data(zelp, MORVEL_ZELP_EXTRACT_TYPE_INPUT,
                                 MORVEL_ZELP_EXTRACT_FROM_UNREAD, buffer.data(), &avail);
    if (s != 0) return s;
    const unsigned got = std::min(take, avail);
    const uint32_t drop = morvel_zelp_capture_done(&capture, got, micros(clock_type::now()));
    sound = std::span(buffer.data() + drop, got - drop);
    return 0;
}

} // namespace

std::optional<int> recording_start_named(std::string_view name) {
    return value_named(starts, name);
}

int record_tank(morvel_zelp_device_s *zelp, int from, std::chrono::milliseconds duration,
                const recording_sink &sink, recording_totals &totals) {
    const morvel_zelp7x_device_s &z = zelp->d.zelp7x;
    const unsigned bytes_per_sample = tank_sample_bits(z) / 8;
    morvel_zelp_capture_s capture{};
    totals = {};
    int s = morvel_zelp_capture_init(&capture, z.tank_size,
                                     MORVEL_ZELP_AUDIO_SAMPLE_RATE * bytes_per_sample);
    if (s != 0) return s;
    const auto start = clock_type::now();
    const auto end = start + duration;
    if (from == MORVEL_ZELP_EXTRACT_FROM_NEWEST) {
        unsigned ignored = 0;
        if (s = move_on(zelp, MORVEL_ZELP_EXTRACT_FROM_NEWEST, 0, ignored); s != 0) return s;
        morvel_zelp_capture_mark(&capture, micros(start));
    }
    std::vector<uint8_t> buffer(z.tank_size);
    for (;;) {
        std::span<uint8_t> sound;
        s = read_once(zelp, capture, buffer, sound);
        totals = {capture.bytes / bytes_per_sample, capture.gaps};
        if (s == 0) s = sink(sound);
        if (s != 0 || clock_type::now() >= end) return s;
        std::this_thread::sleep_for(poll_interval);
    }
}
