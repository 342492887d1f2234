#include "link/terminal_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zsim {

namespace {

// What an existing link names, read back for the message.
std::string link_target(const std::string &link) {
    std::array<char, 4096> buffer{};
    const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size() - 1);
    return n < 0 ? std::string() : std::string(buffer.data(), static_cast<size_t>(n));
}

// A pseudo-terminal's client node lasts only as long as its master is open, so a link that still
// leads to a terminal is another daemon's (or a session's) live one, not one left over from a run.
bool leads_to_live_terminal(const std::string &link) {
    struct stat st {};
    return ::stat(link.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

} // namespace

bool make_terminal_link(const std::string &link, const std::string &target, std::string &error) {
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = link + " exists and is not a link";
            return false;
        }
        // The system may have handed this daemon the very terminal a stale link names.
        if (link_target(link) != target && leads_to_live_terminal(link)) {
            error = link + " names " + link_target(link) + ", a terminal in use";
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        error = "cannot link " + link + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// A new link beside the old one, renamed over it: rename replaces a link atomically.
bool move_terminal_link(const std::string &link, const std::string &target) {
    const std::string fresh = link + ".new";
    ::unlink(fresh.c_str());
    if (::symlink(target.c_str(), fresh.c_str()) != 0) return false;
    if (std::rename(fresh.c_str(), link.c_str()) == 0) return true;
    ::unlink(fresh.c_str());
    return false;
}

void remove_terminal_link(const std::string &link, const std::string &target) {
    if (link_target(link) == target) ::unlink(link.c_str());
}

} // namespace zsim
