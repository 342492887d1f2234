// Running a child process as another user, for tests of what an unprivileged user meets.
#pragma once

#include <sys/types.h>

#include <optional>

namespace ztest {

struct RunAs {
    uid_t uid;
    gid_t gid;
};

// "nobody" when the tests run as root (none when there is no such user); otherwise the tests' own
// user, who already is an unprivileged one.
std::optional<RunAs> unprivileged_user();

// In a forked child before exec: takes on `as` (when it is another user), with no supplementary
// groups; exits with 125 when the system refuses.
void become(const std::optional<RunAs> &as);

} // namespace ztest
