// record -d SECONDS -o FILE [-f unread|newest]: the tank's audio for SECONDS without a break, by
// repeated extractions of the bytes not read yet, into a WAV or raw FILE. Whatever the firmware
// overwrote before it was read is counted as a gap, never papered over.
#include <algorithm>
#include <chrono>
#include <cstdio>
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

int start_of(const command_args &args) {
    const auto it = args.texts.find('f');
    return it == args.texts.end() ? MORVEL_ZELP_EXTRACT_FROM_NEWEST
                                  : *value_named(starts, it->second);
}

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

// One read: what the ring shows, the bytes to pass over, then the rest into `out`.
int read_once(morvel_zelp_device_s *zelp, morvel_zelp_capture_s &capture, audio_file &out,
              std::vector<uint8_t> &buffer) {
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
    return out.write(std::span(buffer.data() + drop, got - drop));
}

} // namespace

bool check_record(command_args &args, bool &usage) {
    const auto from = args.texts.find('f');
    if (from != args.texts.end() && !value_named(starts, from->second))
        return refuse_argument("unknown start", from->second, usage);
    return require_option(args, 'd', usage) && require_option(args, 'o', usage);
}

int run_record(host_session &session, const command_args &args) {
    morvel_zelp_device_s *zelp = session.zelp();
    const morvel_zelp7x_device_s &z = zelp->d.zelp7x;
    const unsigned bits = tank_sample_bits(z);
    morvel_zelp_capture_s capture{};
    int s =
        morvel_zelp_capture_init(&capture, z.tank_size, MORVEL_ZELP_AUDIO_SAMPLE_RATE * (bits / 8));
    if (s != 0) return s;
    const std::string &path = args.texts.at('o');
    audio_file out;
    if (s = out.open(path, bits); s != 0) return s;
    const auto start = clock_type::now();
    const auto end = start + std::chrono::seconds(args.number('d', 0));
    if (start_of(args) == MORVEL_ZELP_EXTRACT_FROM_NEWEST) {
        unsigned ignored = 0;
        if (s = move_on(zelp, MORVEL_ZELP_EXTRACT_FROM_NEWEST, 0, ignored); s != 0) return s;
        morvel_zelp_capture_mark(&capture, micros(start));
    }
    std::vector<uint8_t> buffer(z.tank_size);
    for (;;) {
        if (s = read_once(zelp, capture, out, buffer); s != 0) return s;
        if (clock_type::now() >= end) break;
        std::this_thread::sleep_for(poll_interval);
    }
    if (s = out.finish(); s != 0) return s;
    std::fprintf(report_stream(path), "record: %llu samples, %u gaps\n",
                 static_cast<unsigned long long>(capture.bytes / (bits / 8)), capture.gaps);
    return MORVEL_ZELP_ERROR_NONE;
}
