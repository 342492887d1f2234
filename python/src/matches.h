// The matches a board's firmware reports, as Python iterates them.
#pragma once

#include <cstdint>
#include <string>

#include <pybind11/pybind11.h>

#include "board.h"

namespace zelp7x_py {

// One match: the firmware's summary word and its fields.
struct Match {
    uint32_t summary;

    uint32_t class_index() const;
    uint32_t snr() const;
    uint32_t confidence() const;
    uint32_t noise() const;
    // False when the entry carries no tank position to take audio up to.
    bool has_position() const;
    std::string repr() const;
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
};

} // namespace zelp7x_py
