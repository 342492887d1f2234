// usb_interrupt_wait PORT [COUNT]: a host that learns of matches from the bridge's interrupt
// report instead of polling. It opens the board at PORT with interrupts over USB, adopts the
// chip's running firmware, enables the match interrupts and then, COUNT times (default 2), waits
// up to 5 s on the raw HID node for reports until the library's poll finds a match. It prints the
// raw HID node it holds and one line a match with the time it took; exit status 0 when every
// match came with a report, 1 otherwise. With COUNT 0 it only opens the board and names the node.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "morvel_board/morvel_zelp7x_board.h"
#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "morvel_host/morvel_zelp7x_host.h"
#include "zelp_linux_io.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kReportWaitMs = 5000;

int failed(const char *step, int status) {
    std::fprintf(stderr, "%s failed: %s\n", step, morvel_zelp_error_name(status));
    return 1;
}

// The raw HID node among this process's open files: the one the board I/O layer chose.
std::string held_hidraw_node() {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const auto &fd : fs::directory_iterator("/proc/self/fd", ec)) {
        const std::string target = fs::read_symlink(fd.path(), ec).string();
        if (!ec && target.rfind("/dev/hidraw", 0) == 0) return target;
    }
    return "none";
}

struct Board {
    morvel_zelp7x_host_s *host = nullptr;
    morvel_evb_io_handle_t io = nullptr;
    morvel_zelp_device_s *zelp = nullptr;
    ~Board() { morvel_zelp7x_host_close(host); }
};

// Takes the chip's pending causes and says whether the firmware reported a match among them.
int poll_for_match(Board &b, bool &matched) {
    uint32_t notifications = 0;
    const int s = morvel_zelp_poll(b.zelp, &notifications, 1);
    matched = (notifications & MORVEL_ZELP_NOTIFICATION_MATCH) != 0;
    return s;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: usb_interrupt_wait PORT [COUNT]\n");
        return 2;
    }
    const int count = argc == 3 ? std::atoi(argv[2]) : 2;
    std::string port = argv[1];
    Board b;
    // A session of the host library, which adopts the running firmware and waits for its
    // answers, holding the port's raw HID function; only naming the node leaves the chip
    // untouched.
    morvel_zelp7x_board_options_s options;
    morvel_zelp7x_host_options_init(&options);
    options.port = port.c_str();
    options.spi_sample_write_speed = 1000000;
    options.init_mode = count > 0 ? MORVEL_ZELP_INIT_MODE_RESTART : MORVEL_ZELP_INIT_MODE_NO_TOUCH;
    options.usb_interrupts = 1;
    int s = morvel_zelp7x_host_open(&options, &b.host, nullptr);
    if (s != 0) return failed("open", s);
    b.io = morvel_zelp7x_board_io(morvel_zelp7x_host_board(b.host));
    b.zelp = morvel_zelp7x_board_device(morvel_zelp7x_host_board(b.host));
    std::printf("hid node %s\n", held_hidraw_node().c_str());
    if (count <= 0) return 0;
    if ((s = morvel_zelp7x_host_watch_matches(b.host)) != 0) return failed("interrupts", s);

    // Reports of causes raised before now are not the ones waited for.
    bool matched = false;
    for (int i = 0; i < 100; ++i) {
        if ((s = poll_for_match(b, matched)) != 0) return failed("poll", s);
        if (zelp_linux_io_wait(b.io, 0, 0) == MORVEL_ZELP_ERROR_TIMEOUT) break;
    }
    for (int k = 1; k <= count; ++k) {
        const auto start = Clock::now();
        const auto deadline = start + std::chrono::milliseconds(kReportWaitMs);
        int reports = 0;
        for (matched = false; !matched;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            s = zelp_linux_io_wait(b.io, static_cast<int>(std::max<long long>(left.count(), 0)), 0);
            if (s == MORVEL_ZELP_ERROR_TIMEOUT) {
                std::fprintf(stderr, "match %d: no interrupt report within %d ms\n", k,
                             kReportWaitMs);
                return 1;
            }
            if (s != 0) return failed("wait", s);
            ++reports;
            if ((s = poll_for_match(b, matched)) != 0) return failed("poll", s);
        }
        uint32_t summary = 0;
        if ((s = morvel_zelp_get_match_summary(b.zelp, &summary)) != 0)
            return failed("match summary", s);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        std::printf("match %d: class %u after %lld ms, %d report(s)\n", k, summary & 0xFF,
                    static_cast<long long>(ms.count()), reports);
    }
    return 0;
}
