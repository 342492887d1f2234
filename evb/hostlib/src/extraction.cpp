#include "extraction.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "host_commands.h"
#include "morvel-firmware/zelp7x_firmware.h"

namespace {

constexpr uint32_t feature_inputs_size = 40;
constexpr uint32_t static_features_size = 4096;

// Right at a match the tank has not moved on from it yet, and the bytes before it look
// overwritten; a sample later they are there. A few short pauses cover that, and no more: the
// same answer then means they are gone.
constexpr int match_attempts = 10;
constexpr auto match_attempt_pause = std::chrono::milliseconds(1);

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

} // namespace

std::optional<extract_source> extract_source_named(std::string_view name) {
    return value_named(sources, name);
}

std::optional<int> extract_start_named(std::string_view name) {
    return value_named(starts, name);
}

// From newest a word less, as the producer may stand inside one; from match half, as the ring
// goes on filling while the match is fetched.
uint32_t default_room(const extract_source &source, int from, const morvel_zelp7x_device_s &z) {
    const uint32_t size = (source.size != 0 ? source.size : z.tank_size) & ~3u;
    if (!source.ring) return size;
    if (from == MORVEL_ZELP_EXTRACT_FROM_MATCH) return size / 2 & ~3u;
    if (from == MORVEL_ZELP_EXTRACT_FROM_NEWEST) return size >= 4 ? size - 4 : 0;
    return size;
}

int extract_bytes(morvel_zelp_device_s *zelp, int type, int from, uint32_t room,
                  std::vector<uint8_t> &data, unsigned int &avail) {
    // Never empty: an extraction without a buffer only moves the read position.
    data.assign(std::max(room, 4u), 0);
    for (int attempt = 1;; ++attempt) {
        avail = room;
        const int s = morvel_zelp_extract_data(zelp, type, from, data.data(), &avail);
        if (s == 0) {
            data.resize(std::min(room, avail));
            return s;
        }
        if (s != MORVEL_ZELP_ERROR_ARG || from != MORVEL_ZELP_EXTRACT_FROM_MATCH ||
            attempt == match_attempts) {
            data.clear();
            return s;
        }
        std::this_thread::sleep_for(match_attempt_pause);
    }
}
