// ser2net_front DIR DEVICE...: Debian's ser2net serving each DEVICE on a loopback TCP port of its
// own, as the C++ tests' fixture runs it, for the tests written in other languages (Python's, the
// Windows build's under wine). Once it serves them all, prints ser2net's process id and then a
// line per device with the name a tool takes (rfc2217://127.0.0.1:PORT); stops it at SIGTERM or
// SIGINT. Its configuration and log are in DIR. When something else ends ser2net (a test kills it
// to cut a connection), it is reaped at once: a ser2net left a zombie would still seem to hold
// the device's lock file, and the next ser2net would refuse the device as in use.
#include <signal.h>

#include <cstdio>

#include "support/process/ser2net_process.h"

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fputs("usage: ser2net_front DIR DEVICE...\n", stderr);
        return 2;
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGCHLD);
    ::sigprocmask(SIG_BLOCK, &stop, nullptr);
    ztest::Ser2netProcess ser2net({argv + 2, argv + argc}, argv[1]);
    if (!ser2net.running()) {
        std::fprintf(stderr, "ser2net did not come up; see %s/ser2net.log\n", argv[1]);
        return 1;
    }
    std::printf("%d\n", static_cast<int>(ser2net.pid()));
    for (int k = 0; k < argc - 2; ++k)
        std::printf("%s\n", ser2net.port_name(static_cast<size_t>(k)).c_str());
    std::fflush(stdout);
    for (int signal = SIGCHLD; signal == SIGCHLD;) {
        sigwait(&stop, &signal);
        ser2net.reap();
    }
    return 0;
}
