#include "morvel_devlib/morvel_zelp_capture.h"

#include <algorithm>

#include "morvel_devlib/morvel_zelp_error.h"

namespace {

constexpr uint64_t us_per_second = 1000000;
// Far beyond any capture; keeps the product with the rate inside 64 bits.
constexpr uint64_t max_elapsed_us = us_per_second * 60 * 60 * 24 * 365;
// A read keeps a quarter of the ring between its oldest byte and the producer, time enough for
// the read to reach that byte before the producer does.
constexpr uint32_t guard_share = 4;

constexpr uint32_t round_up_to_word(uint32_t n) {
    return n > UINT32_MAX - 3 ? UINT32_MAX & ~3u : (n + 3) & ~3u;
}

// The bytes the producer writes from the last plan to `now_us`; whole seconds and the rest apart,
// so that no product leaves 64 bits whatever the rate.
uint64_t produced_since_plan(const morvel_zelp_capture_s &c, uint64_t now_us) {
    const uint64_t elapsed = std::min(now_us > c.last_us ? now_us - c.last_us : 0, max_elapsed_us);
    return elapsed / us_per_second * c.bytes_per_second +
           elapsed % us_per_second * c.bytes_per_second / us_per_second;
}

// Whole rings the producer wrote beyond what the positions show: the bytes it should have
// written since the last plan, less those the ring shows, to the nearest ring.
uint64_t rings_overwritten(const morvel_zelp_capture_s &c, uint32_t unread, uint64_t now_us) {
    if (!c.timed || c.ring_size == 0) return 0; // a record init never accepted
    const uint64_t expected = c.behind + produced_since_plan(c, now_us);
    if (expected <= unread) return 0;
    return (expected - unread + c.ring_size / 2) / c.ring_size;
}

} // namespace

extern "C" {

int morvel_zelp_capture_init(morvel_zelp_capture_s *c, uint32_t ring_size,
                             uint32_t bytes_per_second) {
    if (c == nullptr || ring_size == 0 || ring_size % 4 != 0 || bytes_per_second == 0)
        return MORVEL_ZELP_ERROR_ARG;
    *c = {};
    c->ring_size = ring_size;
    c->bytes_per_second = bytes_per_second;
    return MORVEL_ZELP_ERROR_NONE;
}

void morvel_zelp_capture_mark(morvel_zelp_capture_s *c, uint64_t now_us) {
    c->timed = 1;
    c->last_us = now_us;
    c->behind = 0;
    c->skip = 0;
}

uint64_t morvel_zelp_capture_plan(morvel_zelp_capture_s *c, uint32_t unread, uint64_t now_us,
                                  uint32_t *skip, uint32_t *take) {
    const uint64_t overwritten = rings_overwritten(*c, unread, now_us) * c->ring_size;
    const uint32_t safe = (c->ring_size - c->ring_size / guard_share) & ~3u;
    const uint32_t excess = unread > safe ? std::min(round_up_to_word(unread - safe), unread) : 0;
    const bool counted = c->timed || overwritten != 0;
    const uint64_t lost = overwritten + (counted ? excess : 0);
    c->step_lost = lost != 0;
    if (lost != 0) {
        ++c->gaps;
        c->lost_bytes += lost;
    }
    c->timed = 1;
    c->last_us = now_us;
    c->behind = unread;
    c->skip = excess;
    *skip = excess;
    *take = unread - excess;
    return lost;
}

uint32_t morvel_zelp_capture_done(morvel_zelp_capture_s *c, uint32_t got, uint64_t now_us) {
    // At the plan the producer stood `unread` bytes past the read position; the first byte read
    // is overwritten once it has written the rest of the ring, and each later one a byte after.
    const uint32_t unread = c->behind - std::min(c->behind, c->skip);
    const uint64_t produced = produced_since_plan(*c, now_us);
    const uint64_t clear = c->ring_size - std::min(unread, c->ring_size);
    const uint32_t drop =
        produced > clear
            ? round_up_to_word(static_cast<uint32_t>(std::min<uint64_t>(produced - clear, got)))
            : 0;
    const uint32_t dropped = std::min(drop, got);
    if (dropped != 0) {
        if (!c->step_lost) ++c->gaps;
        c->step_lost = 1;
        c->lost_bytes += dropped;
    }
    c->behind = unread - std::min(unread, got);
    c->skip = 0;
    c->bytes += got - dropped;
    return dropped;
}

} // extern "C"
