#include "board_messages.h"

#include <string_view>

zelp_io_report_s board_messages::report() {
    return {take, this};
}

void board_messages::take(const zelp_io_line_s *line, void *user) {
    if (line->stream == 1) {
        zelp_linux_io_print_line(line);
        return;
    }
    auto &self = *static_cast<board_messages *>(user);
    // A text with line breaks of its own is as many lines.
    std::string_view text = line->text;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        if (end > at) self.lines_.emplace_back(text.substr(at, end - at));
        at = end + 1;
    }
}
