#include "gang_display.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr int bar_width = 30;
// Often enough to look live, rarely enough to cost nothing beside the boards.
constexpr auto redraw_every = 100ms;
constexpr auto poll_every = 20ms;

bool done(const board_progress &p) {
    return p.done.load(std::memory_order_acquire);
}

std::string live_line(const gang_board &board, const board_progress &p, size_t port_width) {
    std::string line = board.port;
    line.resize(std::max(port_width, board.port.size()), ' ');
    const char *label = p.label.load(std::memory_order_relaxed);
    const auto phase = static_cast<board_phase>(p.phase.load(std::memory_order_relaxed));
    const int permille = std::clamp(p.permille.load(std::memory_order_relaxed), 0, 1000);
    const int n = permille * bar_width / 1000;
    char text[96];
    std::snprintf(text, sizeof text, "  %-10s %3d%% [%s%s]",
                  label != nullptr ? label : phase_name(phase), permille / 10,
                  std::string(static_cast<size_t>(n), '=').c_str(),
                  std::string(static_cast<size_t>(bar_width - n), ' ').c_str());
    return line + text;
}

void redraw(const std::vector<gang_board> &boards, const std::deque<board_progress> &progress,
            const std::vector<board_result> &results, bool show_id, bool again) {
    size_t port_width = 0;
    for (const gang_board &b : boards) port_width = std::max(port_width, b.port.size());
    // Back to the first board's line, then each line cleared and written anew.
    if (again) std::printf("\x1b[%zuA", boards.size());
    for (size_t i = 0; i < boards.size(); ++i) {
        const std::string line = done(progress[i]) ? end_line(boards[i], results[i], show_id)
                                                   : live_line(boards[i], progress[i], port_width);
        std::printf("\r%s\x1b[K\n", line.c_str());
    }
    std::fflush(stdout);
}

void show_live(const std::vector<gang_board> &boards, const std::deque<board_progress> &progress,
               const std::vector<board_result> &results, bool show_id) {
    bool again = false;
    while (true) {
        const bool all_done = std::all_of(progress.begin(), progress.end(), done);
        redraw(boards, progress, results, show_id, again);
        again = true;
        if (all_done) return;
        std::this_thread::sleep_for(redraw_every);
    }
}

void show_ends(const std::vector<gang_board> &boards, const std::deque<board_progress> &progress,
               const std::vector<board_result> &results, bool show_id) {
    std::vector<bool> shown(boards.size(), false);
    size_t left = boards.size();
    while (left != 0) {
        for (size_t i = 0; i < boards.size(); ++i) {
            if (shown[i] || !done(progress[i])) continue;
            shown[i] = true;
            --left;
            std::printf("%s\n", end_line(boards[i], results[i], show_id).c_str());
            std::fflush(stdout);
        }
        if (left != 0) std::this_thread::sleep_for(poll_every);
    }
}

} // namespace

void show_until_done(const std::vector<gang_board> &boards,
                     const std::deque<board_progress> &progress,
                     const std::vector<board_result> &results, bool live, bool show_id) {
    if (live)
        show_live(boards, progress, results, show_id);
    else
        show_ends(boards, progress, results, show_id);
}
