// The board record behind morvel_zelp7x_board_s: what one open made and every option it was
// opened with. The device library's integration record points at it, so its callbacks find the
// board I/O handle, the device type and the mailbox wait's bound here rather than in any state of
// the process.
#pragma once

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "morvel_board/morvel_zelp7x_board.h"
#include "zelp_linux_io.h"

struct morvel_zelp7x_board_s {
    struct device_free {
        void operator()(morvel_zelp_device_s *p) const { std::free(p); }
    };

    // The board I/O layer's lines pass here on their way to the host's callback, or to the
    // process's streams without one. While the board opens, the first reason is kept for the
    // failure record; after that the lines only pass, from whatever thread uses the handle.
    struct io_lines {
        zelp_io_report_s host{};
        bool opening = true;
        std::string reason;
    };

    morvel_evb_io_handle_t io = nullptr;
    // Allocated by the board, not the library: a mailbox wait during the library's init (a
    // restart on a secured chip reads through the firmware) needs the handle already.
    std::unique_ptr<morvel_zelp_device_s, device_free> zelp;
    std::string port; // as opened, after the choice; "" when the search chose
    int io_device_type = 0;
    int input_freq = 0;
    unsigned int device_type = 0;
    morvel_zelp_init_mode_e init_mode = MORVEL_ZELP_INIT_MODE_RESET;
    morvel_zelp7x_board_clock_e clock = MORVEL_ZELP7X_BOARD_CLOCK_AT_OPEN;
    bool wait_for_answers = false;
    bool clock_due = false;
    // While a firmware probe runs: a mailbox wait that has not seen its answer by then gives up.
    std::optional<std::chrono::steady_clock::time_point> answer_deadline;
    io_lines lines; // the board I/O handle keeps a pointer to it: the record never moves
};

namespace zboard {

// The integration record of a board: `d` is the board, the callbacks are the board's own.
morvel_zelp_integration_interfaces_s interfaces_of(morvel_zelp7x_board_s &board);
// The board whose integration record a device handle holds; null for a device a board did not
// start.
morvel_zelp7x_board_s *board_of(const morvel_zelp_device_s *zelp);

// Where the board I/O layer's lines go for `board`: through its `lines` to `host`, or printed
// when `host` has no callback (then standard output is made unbuffered, as the layer's own
// default does).
zelp_io_report_s io_report_of(morvel_zelp7x_board_s &board, const zelp_io_report_s &host);

// Fills `out` (which may be null) with a failure of `step`, or clears it for status 0; `reason`
// may be empty.
void fill_failure(morvel_zelp7x_board_failure_s *out, const char *step, int status,
                  const std::string &reason);
// Copies `text` into a fixed field, cut to fit.
template <size_t N>
void copy_text(char (&field)[N], const std::string &text) {
    const size_t n = text.size() < N - 1 ? text.size() : N - 1;
    text.copy(field, n);
    field[n] = '\0';
}

// Which port to open for `port` (null: the search's), and what the choice has to say; a refusal
// is a nonzero status with its reason in `note`.
struct port_choice {
    int status = 0;
    std::optional<std::string> port;
    std::string note;
};
port_choice choose_port(const char *port);

} // namespace zboard
