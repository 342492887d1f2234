// The board I/O layer's lines on a board's way: passed on to the host as they come, and the
// first reason of an open kept for its failure record.
#include "board_record.h"

namespace {

void take_line(const zelp_io_line_s *line, void *user) {
    auto &lines = *static_cast<morvel_zelp7x_board_s::io_lines *>(user);
    if (lines.opening && line->kind == ZELP_IO_LINE_REASON && lines.reason.empty())
        lines.reason = line->text;
    if (lines.host.line != nullptr)
        lines.host.line(line, lines.host.user);
    else
        zelp_linux_io_print_line(line);
}

} // namespace

namespace zboard {

zelp_io_report_s io_report_of(morvel_zelp7x_board_s &board, const zelp_io_report_s &host) {
    board.lines.host = host;
    if (host.line == nullptr) zelp_linux_io_unbuffer_stdout();
    return {take_line, &board.lines};
}

} // namespace zboard
