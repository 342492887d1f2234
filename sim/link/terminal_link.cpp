#include "link/terminal_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zsim {

bool make_terminal_link(const std::string &link, const std::string &target, std::string &error) {
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = link + " exists and is not a link";
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
    std::array<char, 4096> buffer{};
    const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size() - 1);
    if (n < 0) return;
    if (target == std::string(buffer.data(), static_cast<size_t>(n))) ::unlink(link.c_str());
}

} // namespace zsim
