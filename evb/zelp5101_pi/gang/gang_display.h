// What the operator watches while the boards run: on a terminal one line per board, redrawn in
// place (port, phase, percent, bar); elsewhere, or with -q, one line per board as it ends.
#pragma once

#include <deque>
#include <vector>

#include "board_job.h"
#include "gang_report.h"

// Shows the boards until every one is done; returns then. Only `progress` is read while the
// boards run; a board's result is read once its progress says done.
void show_until_done(const std::vector<gang_board> &boards,
                     const std::deque<board_progress> &progress,
                     const std::vector<board_result> &results, bool live, bool show_id);
