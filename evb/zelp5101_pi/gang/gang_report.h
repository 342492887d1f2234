// What a gang job leaves behind: one line per board as it ends, the table of all boards, and
// the JSON document for a production line's records.
#pragma once

#include <string>
#include <vector>

#include "board_job.h"
#include "gang_options.h"

struct gang_board {
    std::string port;      // as given, or as --all found it
    std::string serial;    // the bridge's USB serial number, when known
    std::string open_port; // the name opened (serial=S resolved)
};

// "PORT: pass in S.SSS s, sum NNNNN (0xXXXX)" or "PORT: fail at STEP: MESSAGE".
std::string end_line(const gang_board &board, const board_result &result, bool show_id);

// What the board I/O layer printed while one board ran, a line each.
using board_lines = std::vector<std::string>;

// The table: a header, then one row per board, each followed by a row for every line of
// `io_lines` (the board's port, then the line in the message column), then the count of passes
// and failures.
std::string result_table(const std::vector<gang_board> &boards,
                         const std::vector<board_result> &results,
                         const std::vector<board_lines> &io_lines = {});

// The whole JSON document, newline-terminated.
std::string json_report(const gang_options &options, const gang_job &job,
                        const std::vector<gang_board> &boards,
                        const std::vector<board_result> &results,
                        const std::vector<board_lines> &io_lines = {});
