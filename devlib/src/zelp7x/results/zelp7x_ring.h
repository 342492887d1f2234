// Arithmetic of the chip's byte rings (the tank and the sensor sample ring): where an extraction
// starts, how many bytes it may take, which pieces of the ring it reads and where the host's read
// position goes next. The ring's size and the producer position come from the chip, so whatever
// they are, an answer without error stays inside the ring and inside the caller's room:
//   - a size that is not a multiple of 4 cannot be read in whole words: MORVEL_ZELP_ERROR_CONFIG;
//   - a size of 0 holds nothing: every position is 0 and no bytes are available;
//   - a position equal to the size is the wrap point, 0;
//   - a producer beyond the size is a position the chip cannot have: MORVEL_ZELP_ERROR_FAIL;
//   - a match position beyond the size names bytes the ring no longer has: MORVEL_ZELP_ERROR_ARG;
//   - a host position beyond the size (the ring shrank under it) starts again at 0.
// Sums run in 64 bits so that no room, however large, wraps a comparison.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "morvel_devlib/morvel_zelp.h"

namespace zelp7x::ring {

struct Positions {
    uint32_t size;     // bytes in the ring
    uint32_t producer; // where the chip writes next
    uint32_t host;     // where the host's previous extraction stopped
    uint32_t match;    // where the last match ended
};

struct Span {
    int error = MORVEL_ZELP_ERROR_NONE; // nothing is to be read unless NONE
    uint32_t start = 0;                 // first byte to read, inside the ring
    uint32_t avail = 0;                 // bytes available from start
    uint32_t len = 0;                   // bytes to read: at most avail and the room
};

struct Piece {
    uint32_t offset;
    uint32_t count;
};

constexpr uint64_t word_down(uint64_t v) {
    return v & ~uint64_t{3};
}

constexpr uint64_t word_up(uint64_t v) {
    return word_down(v + 3);
}

constexpr uint32_t at_wrap(uint32_t position, uint32_t size) {
    return position == size ? 0 : position;
}

constexpr Span refuse(int error) {
    Span s;
    s.error = error;
    return s;
}

// First byte for `from`, counted from the ring start; it may lie one ring length beyond it.
constexpr int first_byte(int from, const Positions &p, uint64_t down, uint64_t up, uint64_t room,
                         uint64_t &start) {
    const uint64_t size = p.size;
    switch (from) {
    case MORVEL_ZELP_EXTRACT_FROM_MATCH: {
        if (p.match > p.size) return MORVEL_ZELP_ERROR_ARG;
        const uint64_t m = word_down(at_wrap(p.match, p.size));
        // The bytes that end at the match must all still be in the ring.
        if (m + (m < up ? size : 0) < up + room) return MORVEL_ZELP_ERROR_ARG;
        start = m + size - room;
        return MORVEL_ZELP_ERROR_NONE;
    }
    case MORVEL_ZELP_EXTRACT_FROM_UNREAD:
        start = p.host < p.size ? word_down(p.host) : 0;
        return MORVEL_ZELP_ERROR_NONE;
    case MORVEL_ZELP_EXTRACT_FROM_OLDEST:
        start = up;
        return MORVEL_ZELP_ERROR_NONE;
    case MORVEL_ZELP_EXTRACT_FROM_NEWEST:
        if (size + down - up < room) return MORVEL_ZELP_ERROR_ARG;
        start = size + down - room;
        return MORVEL_ZELP_ERROR_NONE;
    default:
        return MORVEL_ZELP_ERROR_ARG;
    }
}

// Where an extraction of at most `room` bytes starts and how much it takes. Without a buffer a
// MATCH or NEWEST extraction takes nothing: it only moves the host's position to its start.
constexpr Span plan(int from, Positions p, uint32_t room, bool to_buffer) {
    if (p.size % 4 != 0) return refuse(MORVEL_ZELP_ERROR_CONFIG);
    if (p.size == 0) p = {};
    const uint32_t producer = at_wrap(p.producer, p.size);
    if (producer > p.size) return refuse(MORVEL_ZELP_ERROR_FAIL);
    const uint64_t size = p.size, down = word_down(producer), up = word_up(producer);
    uint64_t start = 0;
    if (const int e = first_byte(from, p, down, up, room, start); e != MORVEL_ZELP_ERROR_NONE)
        return refuse(e);
    if (start >= size) start -= size;
    uint64_t avail = size == 0 ? 0 : size + down - start;
    if (avail > size)
        avail -= size;
    else if (from == MORVEL_ZELP_EXTRACT_FROM_UNREAD && avail == size)
        avail = 0; // the host has caught up with the producer
    Span s;
    s.start = static_cast<uint32_t>(start);
    s.avail = static_cast<uint32_t>(avail);
    const bool takes = to_buffer || from == MORVEL_ZELP_EXTRACT_FROM_UNREAD ||
                       from == MORVEL_ZELP_EXTRACT_FROM_OLDEST;
    s.len = takes ? std::min(room, s.avail) : 0;
    return s;
}

// The ring wraps at most once: the bytes up to its end, then the rest from its start.
constexpr std::array<Piece, 2> pieces(uint32_t size, uint32_t start, uint32_t len) {
    const uint32_t first = std::min(len, size - start);
    return {{{start, first}, {0, len - first}}};
}

constexpr uint32_t next_host(uint32_t size, uint32_t start, uint32_t len) {
    const uint64_t next = uint64_t{start} + len;
    return static_cast<uint32_t>(next >= size ? next - size : next);
}

} // namespace zelp7x::ring
