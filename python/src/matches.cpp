#include "matches.h"

#include <cmath>
#include <cstdio>

#include "match_wait.h"
#include "morvel-firmware/zelp7x_firmware.h"

namespace zelp7x_py {

namespace {

constexpr uint32_t class_mask = 0x7F;
// A wait holds the library lock this long at most, so other boards' calls and Ctrl-C get in.
constexpr auto wait_slice = std::chrono::milliseconds(100);

} // namespace

uint32_t Match::class_index() const {
    return summary & class_mask;
}
uint32_t Match::snr() const {
    return (summary & ZELP7X_MATCH_SNR_MASK) >> ZELP7X_MATCH_SNR_SHIFT;
}
uint32_t Match::confidence() const {
    return (summary & ZELP7X_MATCH_CONFIDENCE_MASK) >> ZELP7X_MATCH_CONFIDENCE_SHIFT;
}
uint32_t Match::noise() const {
    return (summary & ZELP7X_MATCH_NOISE_THRESHOLD_MASK) >> ZELP7X_MATCH_NOISE_THRESHOLD_SHIFT;
}
bool Match::has_position() const {
    return (summary & ZELP7X_MATCH_NO_TANKPTR) == 0;
}

std::string Match::repr() const {
    char text[128];
    std::snprintf(text, sizeof text,
                  "Match(class_index=%u, snr=%u, confidence=%u, noise=%u, summary=0x%08x)",
                  class_index(), snr(), confidence(), noise(), summary);
    return text;
}

MatchIterator::MatchIterator(py::object board, double timeout)
    : owner_(std::move(board)), board_(owner_.cast<Board &>()), timeout_(timeout) {
    if (!std::isfinite(timeout_) || timeout_ < 0)
        throw py::value_error("timeout is a number of seconds, 0 or more");
    // As the host tool's watch, only matches made from now on count: the ones still in the ring
    // are older, and their audio may already be overwritten.
    board_.on_board("watch", [](host_session &s) {
        int st = enable_match_interrupts(s.zelp());
        for (bool matched = st == 0; matched;) {
            uint32_t summary = 0;
            st = await_match(s, match_clock::now(), matched, summary);
        }
        return st;
    });
}

Match MatchIterator::next() {
    const auto deadline = match_clock::now() + std::chrono::duration_cast<match_clock::duration>(
                                                   std::chrono::duration<double>(timeout_));
    for (;;) {
        bool matched = false;
        uint32_t summary = 0;
        const auto slice_end = std::min(deadline, match_clock::now() + wait_slice);
        board_.on_board(
            "watch", [&](host_session &s) { return await_match(s, slice_end, matched, summary); });
        if (matched) return Match{summary};
        if (match_clock::now() >= deadline) throw py::stop_iteration();
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
}

} // namespace zelp7x_py
