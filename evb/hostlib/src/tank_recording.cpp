// Recording the tank without a break: repeated extractions of the bytes not read yet, each kept
// clear of the producer, for as long as asked. What the firmware overwrote before it was read is
// counted as a gap and left out, never papered over. The bytes go to the host's callback as they
// come, so the command line writes them to a file and the Python package gathers them in memory.
#include <algorithm>
#include <array>
#include <chrono>
#include <span>
#include <thread>
#include <vector>

#include "host_record.h"
#include "morvel_devlib/morvel_zelp_capture.h"
#include "morvel_devlib/morvel_zelp_wav.h"

namespace {

using clock_type = std::chrono::steady_clock;

// Short against the default tank (64 ms of 16-bit audio), so the reads stay well ahead of the
// producer and a missed ring shows plainly in the host's clock.
constexpr auto poll_interval = std::chrono::milliseconds(2);

using start_name = zhost::named_value<int>;
constexpr std::array starts{
    start_name{"unread", MORVEL_ZELP_EXTRACT_FROM_UNREAD},
    start_name{"newest", MORVEL_ZELP_EXTRACT_FROM_NEWEST},
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

// Records from `from` for `duration`, at least one read; `totals` holds what was recorded
// whatever the outcome.
int record_tank(morvel_zelp_device_s *zelp, int from, std::chrono::milliseconds duration,
                morvel_zelp7x_host_sound_f sound, void *user,
                morvel_zelp7x_host_recording_s &totals) {
    const morvel_zelp7x_device_s &z = zelp->d.zelp7x;
    const unsigned bytes_per_sample = zhost::tank_bits(z) / 8;
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
        std::span<uint8_t> heard;
        s = read_once(zelp, capture, buffer, heard);
        totals = {capture.bytes / bytes_per_sample, capture.gaps};
        if (s == 0) s = sound(heard.data(), heard.size(), user);
        if (s != 0 || clock_type::now() >= end) return s;
        std::this_thread::sleep_for(poll_interval);
    }
}

} // namespace

extern "C" {

int morvel_zelp7x_host_record_start_named(const char *name, int *from) {
    return zhost::store_named(starts, name, from);
}

int morvel_zelp7x_host_record(morvel_zelp7x_host_s *host, int from, uint32_t duration_ms,
                              morvel_zelp7x_host_sound_f sound, void *user,
                              morvel_zelp7x_host_recording_s *recording) {
    morvel_zelp7x_host_recording_s totals{};
    const int s = zhost::in_call(host, [&](morvel_zelp_device_s *zelp) -> int {
        if (sound == nullptr || duration_ms > MORVEL_ZELP7X_HOST_RECORD_MAX_MS ||
            (from != MORVEL_ZELP_EXTRACT_FROM_UNREAD && from != MORVEL_ZELP_EXTRACT_FROM_NEWEST))
            return MORVEL_ZELP_ERROR_ARG;
        return record_tank(zelp, from, std::chrono::milliseconds(duration_ms), sound, user, totals);
    });
    if (recording != nullptr) *recording = totals;
    return s;
}

} // extern "C"
