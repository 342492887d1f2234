#include "board_log.h"

#include <array>

#include <pybind11/pybind11.h>

#include "failure.h"

namespace py = pybind11;

namespace zelp7x_py {

namespace {

// The logging module's levels.
constexpr int debug = 10, info = 20, warning = 30, error = 40;

// The level of each kind of the layer's lines, in zelp_io_line_kind_e's order: a failure and its
// reason are errors, the advice that mends it a warning, traces are for debugging.
constexpr std::array<int, ZELP_IO_LINE_TRACE + 1> io_line_levels = {error, error, warning, debug};

// Called on the thread of a board call, which has let go of the interpreter lock (or of an open,
// which holds no lock): the lock is taken for the logger and given back. A logger that fails
// cannot fail the board call; the interpreter's hook for such errors gets it.
void log_line(int level, const char *text) {
    if (Py_IsInitialized() == 0) return;
    const py::gil_scoped_acquire held;
    try {
        py::module_::import("logging").attr("getLogger")("zelp7x").attr("log")(level,
                                                                               system_text(text));
    } catch (py::error_already_set &e) {
        e.discard_as_unraisable("zelp7x: logging a board's line");
    }
}

} // namespace

void board_log::message(const char *line, void *) {
    log_line(info, line);
}

void board_log::io_line(const zelp_io_line_s *line, void *user) {
    auto &log = *static_cast<board_log *>(user);
    if (line->kind == ZELP_IO_LINE_REASON && log.reason_.empty()) log.reason_ = line->text;
    const auto kind = static_cast<size_t>(line->kind);
    log_line(kind < io_line_levels.size() ? io_line_levels[kind] : error, line->text);
}

} // namespace zelp7x_py
