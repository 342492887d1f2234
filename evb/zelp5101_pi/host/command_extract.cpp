// extract input|features|static|accel [-f match|unread|oldest|newest] [-n BYTES] -o FILE: bytes
// out of the tank, the sensor ring or a feature area into FILE. From match it first waits for the
// next match, as watch -n 1 does, and takes the bytes that end at it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "audio_file.h"
#include "host_commands.h"
#include "match_wait.h"
#include "morvel-firmware/zelp7x_firmware.h"

namespace {

constexpr uint32_t feature_inputs_size = 40;
constexpr uint32_t static_features_size = 4096;
constexpr uint32_t match_wait_ms = 10000;

// Right at a match the tank has not moved on from it yet, and the bytes before it look
// overwritten; a sample later they are there. A few short pauses cover that, and no more: the
// same answer then means they are gone.
constexpr int match_attempts = 10;
constexpr auto match_attempt_pause = std::chrono::milliseconds(1);

struct extract_source {
    int type;
    bool ring;
    uint32_t size; // 0: the tank, whose size the chip's configuration sets
};

constexpr std::array sources{
    named_value<extract_source>{"input", {MORVEL_ZELP_EXTRACT_TYPE_INPUT, true, 0}},
    named_value<extract_source>{"features",
                                {MORVEL_ZELP_EXTRACT_TYPE_FEATURES, false, feature_inputs_size}},
    named_value<extract_source>{
        "static", {MORVEL_ZELP_EXTRACT_TYPE_FEATURE_STATIC, false, static_features_size}},
    named_value<extract_source>{
        "accel", {MORVEL_ZELP_EXTRACT_TYPE_RAW_ACCEL, true, ZELP7X_FW_SENSOR_RAW_SIZE}},
};

constexpr std::array starts{
    named_value<int>{"match", MORVEL_ZELP_EXTRACT_FROM_MATCH},
    named_value<int>{"unread", MORVEL_ZELP_EXTRACT_FROM_UNREAD},
    named_value<int>{"oldest", MORVEL_ZELP_EXTRACT_FROM_OLDEST},
    named_value<int>{"newest", MORVEL_ZELP_EXTRACT_FROM_NEWEST},
};

int start_of(const command_args &args) {
    const auto it = args.texts.find('f');
    return it == args.texts.end() ? MORVEL_ZELP_EXTRACT_FROM_NEWEST
                                  : *value_named(starts, it->second);
}

// Without -n, a whole area, or as much of a ring as the start allows: from newest a word less, as
// the producer may stand inside one; from match half, as the ring goes on filling while the
// match is fetched.
uint32_t default_room(const extract_source &source, int from, const morvel_zelp7x_device_s &z) {
    const uint32_t size = (source.size != 0 ? source.size : z.tank_size) & ~3u;
    if (!source.ring) return size;
    if (from == MORVEL_ZELP_EXTRACT_FROM_MATCH) return size / 2 & ~3u;
    if (from == MORVEL_ZELP_EXTRACT_FROM_NEWEST) return size >= 4 ? size - 4 : 0;
    return size;
}

// `*len` in: the room; out: the bytes available.
int extract(morvel_zelp_device_s *zelp, int type, int from, std::vector<uint8_t> &data,
            unsigned int room, unsigned int *len) {
    for (int attempt = 1;; ++attempt) {
        *len = room;
        const int s = morvel_zelp_extract_data(zelp, type, from, data.data(), len);
        if (s != MORVEL_ZELP_ERROR_ARG || from != MORVEL_ZELP_EXTRACT_FROM_MATCH ||
            attempt == match_attempts)
            return s;
        std::this_thread::sleep_for(match_attempt_pause);
    }
}

} // namespace

bool check_extract(command_args &args, bool &usage) {
    const auto source = value_named(sources, args.operands[0]);
    if (!source) return refuse_argument("unknown extraction", args.operands[0], usage);
    const auto from = args.texts.find('f');
    if (from != args.texts.end() && !value_named(starts, from->second))
        return refuse_argument("unknown start", from->second, usage);
    if (args.number('n', 0) % 4 != 0)
        return refuse_argument("not a multiple of 4", std::to_string(args.number('n', 0)), usage);
    // The sensor ring's samples carry no match position.
    if (source->type == MORVEL_ZELP_EXTRACT_TYPE_RAW_ACCEL &&
        start_of(args) == MORVEL_ZELP_EXTRACT_FROM_MATCH)
        return refuse_argument("no match position in", args.operands[0], usage);
    return require_option(args, 'o', usage);
}

int run_extract(host_session &session, const command_args &args) {
    morvel_zelp_device_s *zelp = session.zelp();
    const extract_source source = *value_named(sources, args.operands[0]);
    const int from = start_of(args);
    std::FILE *report = report_stream(args.texts.at('o'));
    if (from == MORVEL_ZELP_EXTRACT_FROM_MATCH) {
        const int s = wait_for_matches(session, 1, match_wait_ms, report);
        if (s != 0) return s;
    }
    const uint32_t room = args.number('n', default_room(source, from, zelp->d.zelp7x));
    // Never empty: an extraction without a buffer only moves the read position.
    std::vector<uint8_t> data(std::max(room, 4u));
    unsigned int avail = 0;
    const int s = extract(zelp, source.type, from, data, room, &avail);
    if (s != 0) return s;
    data.resize(std::min(room, avail));
    const std::string &path = args.texts.at('o');
    if (const int w = source.type == MORVEL_ZELP_EXTRACT_TYPE_INPUT
                          ? write_audio_file(path, tank_sample_bits(zelp->d.zelp7x), data)
                          : write_output_file(path, data);
        w != 0)
        return w;
    std::fprintf(report, "%zu bytes extracted, %u available\n", data.size(), avail);
    return MORVEL_ZELP_ERROR_NONE;
}
