// What a host takes out of the chip: the rings and feature areas by name, where a take starts,
// how much room a take wants when none is asked for, and the take itself.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "host_record.h"
#include "morvel-firmware/zelp7x_firmware.h"

namespace {

constexpr uint32_t feature_inputs_size = 40;
constexpr uint32_t static_features_size = 4096;

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

using source_name = zhost::named_value<extract_source>;
constexpr std::array sources{
    source_name{"input", {MORVEL_ZELP_EXTRACT_TYPE_INPUT, true, 0}},
    source_name{"features", {MORVEL_ZELP_EXTRACT_TYPE_FEATURES, false, feature_inputs_size}},
    source_name{"static", {MORVEL_ZELP_EXTRACT_TYPE_FEATURE_STATIC, false, static_features_size}},
    source_name{"accel", {MORVEL_ZELP_EXTRACT_TYPE_RAW_ACCEL, true, ZELP7X_FW_SENSOR_RAW_SIZE}},
};

using start_name = zhost::named_value<int>;
constexpr std::array starts{
    start_name{"match", MORVEL_ZELP_EXTRACT_FROM_MATCH},
    start_name{"unread", MORVEL_ZELP_EXTRACT_FROM_UNREAD},
    start_name{"oldest", MORVEL_ZELP_EXTRACT_FROM_OLDEST},
    start_name{"newest", MORVEL_ZELP_EXTRACT_FROM_NEWEST},
};

const extract_source *source_of(int type) {
    const auto *found = std::ranges::find_if(
        sources, [type](const source_name &s) { return s.value.type == type; });
    return found == sources.end() ? nullptr : &found->value;
}

bool known_start(int from) {
    return std::ranges::any_of(starts, [from](const start_name &s) { return s.value == from; });
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

// Up to `room` bytes from `from` into `data`, which is resized to what came.
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

} // namespace

extern "C" {

int morvel_zelp7x_host_extract_type_named(const char *name, int *type) {
    const auto source = zhost::value_named(sources, name);
    if (!source || type == nullptr) return MORVEL_ZELP_ERROR_ARG;
    *type = source->type;
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_host_extract_start_named(const char *name, int *from) {
    return zhost::store_named(starts, name, from);
}

int morvel_zelp7x_host_tank(morvel_zelp7x_host_s *host, unsigned int *bits, uint32_t *size) {
    return zhost::in_call(host, [&](morvel_zelp_device_s *zelp) -> int {
        const morvel_zelp7x_device_s &z = zelp->d.zelp7x;
        if (bits != nullptr) *bits = zhost::tank_bits(z);
        if (size != nullptr) *size = z.tank_size;
        return MORVEL_ZELP_ERROR_NONE;
    });
}

uint32_t morvel_zelp7x_host_extract_room(morvel_zelp7x_host_s *host, int type, int from) {
    uint32_t room = 0;
    zhost::in_call(host, [&](morvel_zelp_device_s *zelp) -> int {
        if (const extract_source *source = source_of(type))
            room = default_room(*source, from, zelp->d.zelp7x);
        return MORVEL_ZELP_ERROR_NONE;
    });
    return room;
}

int morvel_zelp7x_host_extract(morvel_zelp7x_host_s *host, int type, int from, uint8_t *data,
                               uint32_t room, uint32_t *taken, uint32_t *available) {
    return zhost::in_call(host, [&](morvel_zelp_device_s *zelp) -> int {
        const extract_source *source = source_of(type);
        if (source == nullptr || !known_start(from) || room % 4 != 0 ||
            room > MORVEL_ZELP7X_HOST_EXTRACT_MAX || (data == nullptr && room != 0) ||
            taken == nullptr)
            return MORVEL_ZELP_ERROR_ARG;
        // The sensor ring's samples carry no match position.
        if (type == MORVEL_ZELP_EXTRACT_TYPE_RAW_ACCEL && from == MORVEL_ZELP_EXTRACT_FROM_MATCH)
            return MORVEL_ZELP_ERROR_ARG;
        std::vector<uint8_t> bytes;
        unsigned int avail = 0;
        const int s = extract_bytes(zelp, type, from, room, bytes, avail);
        *taken = static_cast<uint32_t>(bytes.size());
        if (available != nullptr) *available = avail;
        if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
        return s;
    });
}

} // extern "C"
