#include "support/process/run_as.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace ztest {

std::optional<RunAs> unprivileged_user() {
    if (::geteuid() != 0) return RunAs{::geteuid(), ::getegid()};
    const passwd *nobody = ::getpwnam("nobody");
    if (!nobody) return std::nullopt;
    return RunAs{nobody->pw_uid, nobody->pw_gid};
}

void become(const std::optional<RunAs> &as) {
    if (!as || as->uid == ::geteuid()) return;
    if (::setgroups(0, nullptr) != 0 || ::setgid(as->gid) != 0 || ::setuid(as->uid) != 0)
        ::_exit(125);
}

} // namespace ztest
