#include "matches.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace zelp7x_py {

namespace {

using clock_type = std::chrono::steady_clock;

// A wait holds the library lock this long at most, so other boards' calls and Ctrl-C get in.
constexpr auto wait_slice = std::chrono::milliseconds(100);

morvel_zelp7x_host_match_s fields_of(uint32_t summary) {
    morvel_zelp7x_host_match_s m{};
    morvel_zelp7x_host_match_of(summary, &m);
    return m;
}

} // namespace

uint32_t Match::class_index() const {
    return fields_of(summary).class_index;
}
uint32_t Match::snr() const {
    return fields_of(summary).snr;
}
uint32_t Match::confidence() const {
    return fields_of(summary).confidence;
}
uint32_t Match::noise() const {
    return fields_of(summary).noise;
}
bool Match::has_position() const {
    return fields_of(summary).has_position != 0;
}

py::str Match::repr() const {
    return py::str("Match(class_index={}, label={!r}, seconds={:.3f}, snr={}, confidence={}, "
                   "noise={}, summary={:#010x})")
        .format(class_index(), label, seconds, snr(), confidence(), noise(), summary);
}

py::dict Match::asdict() const {
    py::dict d;
    d["seconds"] = seconds;
    d["class"] = class_index();
    d["label"] = label;
    d["summary"] = summary;
    d["snr"] = snr();
    d["confidence"] = confidence();
    d["noise"] = noise();
    return d;
}

MatchIterator::MatchIterator(py::object board, double timeout)
    : owner_(std::move(board)), board_(owner_.cast<Board &>()), timeout_(timeout),
      start_(clock_type::now()) {
    if (!std::isfinite(timeout_) || timeout_ < 0)
        throw py::value_error("timeout is a number of seconds, 0 or more");
    // As the host tool's watch, only matches made from now on count: the ones still in the ring
    // are older, and their audio may already be overwritten. The labels are read once, as
    // watch --json reads them.
    std::vector<uint8_t> labels(MORVEL_ZELP7X_HOST_TEXT_SIZE);
    unsigned int stored = 0;
    board_.on_board("watch", [&](morvel_zelp7x_host_s *h) {
        int st = morvel_zelp7x_host_watch_matches(h);
        for (int matched = st == 0; matched;)
            st = morvel_zelp7x_host_next_match(h, 0, &matched, nullptr);
        if (st == 0)
            st = morvel_zelp7x_host_labels(h, labels.data(),
                                           static_cast<unsigned int>(labels.size()), &stored);
        return st;
    });
    labels_ = label_names(labels.data(), std::min<size_t>(stored, labels.size()));
}

Match MatchIterator::next() {
    const auto deadline = clock_type::now() + std::chrono::duration_cast<clock_type::duration>(
                                                  std::chrono::duration<double>(timeout_));
    for (;;) {
        int matched = 0;
        morvel_zelp7x_host_match_s match{};
        const auto slice = std::chrono::ceil<std::chrono::milliseconds>(
            std::clamp(deadline - clock_type::now(), clock_type::duration::zero(),
                       clock_type::duration(wait_slice)));
        board_.on_board("watch", [&](morvel_zelp7x_host_s *h) {
            return morvel_zelp7x_host_next_match(h, static_cast<uint32_t>(slice.count()), &matched,
                                                 &match);
        });
        if (matched) {
            const std::chrono::duration<double> since = clock_type::now() - start_;
            const py::object label = match.class_index < labels_.size()
                                         ? py::object(labels_[match.class_index])
                                         : py::object(py::none());
            return Match{match.summary, since.count(), label};
        }
        if (clock_type::now() >= deadline) throw py::stop_iteration();
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
}

} // namespace zelp7x_py
