// The symbolic link by which clients find a daemon's pseudo-terminal. The terminal's own name is
// the system's choice and may change while the daemon runs; the link is the name that stays.
#pragma once

#include <string>

namespace zsim {

// Makes `link` name `target`, replacing a stale link from an earlier run; refuses to replace
// anything that is not a link, or a link that leads to a terminal still open (another daemon's).
// False with the reason in `error`.
bool make_terminal_link(const std::string &link, const std::string &target, std::string &error);

// Points an existing `link` at `target` in one step, so a client never finds it missing.
bool move_terminal_link(const std::string &link, const std::string &target);

// Removes `link` only while it still names `target`.
void remove_terminal_link(const std::string &link, const std::string &target);

} // namespace zsim
