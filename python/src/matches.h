// The matches a board's firmware reports, as Python iterates them, with what zelp7x_host's
// watch --json says of each: the time, the class and its label, the summary word's fields.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include <pybind11/pybind11.h>

#include "board.h"

namespace zelp7x_py {

// One match: the firmware's summary word and its fields, when it came and its class's name.
struct Match {
    uint32_t summary;
    double seconds;   // since the iteration began, as watch counts from its start
    py::object label; // the class's name the chip stores, or None

    uint32_t class_index() const;
    uint32_t snr() const;
    uint32_t confidence() const;
    uint32_t noise() const;
    // False when the entry carries no tank position to take audio up to.
    bool has_position() const;
    py::str repr() const;
    // The object watch --json prints for it, with the same names.
    py::dict asdict() const;
};

// Each next() waits up to `timeout` seconds for the board's next match; the iteration ends when
// none comes in that time. The match interrupts are enabled when the iterator is made.
class MatchIterator {
  public:
    MatchIterator(py::object board, double timeout);
    Match next();

  private:
    py::object owner_; // keeps the board alive while the iterator is
    Board &board_;
    double timeout_;
    py::list labels_; // the chip's class names when the iteration began
    std::chrono::steady_clock::time_point start_;
};

} // namespace zelp7x_py
