#include "board_messages.h"

#include <sys/types.h>

namespace {

// Where this thread's writes to standard error go while the boards run; none: standard error.
thread_local std::vector<std::string> *thread_writes = nullptr;

// The standard error the sorting stream stands in for.
std::FILE *terminal_stream = nullptr;

ssize_t sort_write(void *, const char *bytes, size_t size) {
    if (thread_writes != nullptr) {
        thread_writes->emplace_back(bytes, size);
        return static_cast<ssize_t>(size);
    }
    return static_cast<ssize_t>(std::fwrite(bytes, 1, size, terminal_stream));
}

} // namespace

board_messages::board_messages() : terminal_(stderr) {
    std::fflush(stderr);
    std::FILE *sorted = fopencookie(nullptr, "w", {nullptr, sort_write, nullptr, nullptr});
    if (sorted == nullptr) return; // unsorted, as before
    std::setvbuf(sorted, nullptr, _IONBF, 0);
    terminal_stream = terminal_;
    stderr = sorted;
}

board_messages::~board_messages() {
    if (stderr == terminal_) return;
    std::FILE *sorted = stderr;
    stderr = terminal_;
    std::fclose(sorted);
    terminal_stream = nullptr;
}

board_messages::capture::capture(std::vector<std::string> &writes) : previous_(thread_writes) {
    thread_writes = &writes;
}

board_messages::capture::~capture() {
    thread_writes = previous_;
}

std::vector<std::string> message_lines(const std::vector<std::string> &writes) {
    std::vector<std::string> lines;
    for (const std::string &text : writes) {
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            if (end > at) lines.push_back(text.substr(at, end - at));
            at = end + 1;
        }
    }
    return lines;
}
