// One board handle shared by several threads, as a host that transfers from workers while another
// thread waits for the chip's interrupt: every answer must be the one its own request asked for.
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "io_state.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "support/process/tool_process.h"
#include "zelp_linux_io.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr int kWorkers = 4;
constexpr auto kRunTime = std::chrono::seconds(3);
constexpr int kSpeed = 1000000;
// Each worker owns 64 bytes of the chip's RAM, below the boot loader's window.
constexpr uint32_t kRegion = 0x20017000;
constexpr uint32_t kRegionSize = 64;

struct Tally {
    int rounds = 0;
    int wrong = 0; // answers that were not the ones asked for, or calls that failed
    int raised = 0;
};

Bytes pattern(int worker, int round) {
    Bytes b(kRegionSize);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<uint8_t>(worker * 61 + round * 7 + static_cast<int>(i));
    return b;
}

// One round: the worker's own words written and read back (in pipelined batches on the even
// workers), the chip's type register and the bridge's clock; then it raises the interrupt.
void run_round(morvel_evb_io_handle_t d, int worker, int round, int raise_fd, Tally &t) {
    const uint32_t at = kRegion + kRegionSize * static_cast<uint32_t>(worker);
    Bytes out = pattern(worker, round), back(kRegionSize);
    if (zelp_linux_io_transfer(d, 1, at, out.data(), nullptr, kRegionSize) != 0) ++t.wrong;
    if (worker % 2 == 0) {
        constexpr int pieces = 4, piece = kRegionSize / pieces;
        bool ok = zelp_linux_io_pipeline_begin(d, back.data(), kRegionSize) == 0;
        for (int i = 0; i < pieces; ++i)
            ok &= zelp_linux_io_transfer(d, 1, at + i * piece, nullptr, back.data() + i * piece,
                                         piece) == 0;
        ok &= zelp_linux_io_pipeline_end(d) == 0;
        if (!ok) ++t.wrong;
    } else if (zelp_linux_io_transfer(d, 1, at, nullptr, back.data(), kRegionSize) != 0) {
        ++t.wrong;
    }
    if (back != out) ++t.wrong;
    uint8_t type = 0;
    if (zelp_linux_io_transfer(d, 0, 0x00, nullptr, &type, 1) != 0 || type != 0x20) ++t.wrong;
    uint32_t speed = 0;
    if (zelp_win32_io_usb_serial_get_spi_speed(d, &speed) != 0 || speed != kSpeed) ++t.wrong;
    if (::write(raise_fd, "\x01", 1) == 1) ++t.raised;
    ++t.rounds;
}

} // namespace

TEST(IoThreads, FourWorkersAndAnInterruptWaiterShareOneHandleAgainstTheDaemon) {
    ztest::TempDir dir("io_threads");
    ztest::BoardDaemon daemon(ZELP_BOARD_SIM_BIN, dir.path(), dir.path() / "flash.bin");
    ASSERT_FALSE(daemon.port().empty());
    std::string name = daemon.port() + ",pipeline=4";
    zelp_io_init_args args{};
    args.spidev = name.data();
    args.spi_default_speed = kSpeed;
    morvel_evb_io_handle_t d = nullptr;
    ASSERT_EQ(zelp_linux_io_init(&args, &d), MORVEL_ZELP_ERROR_NONE);
    // The daemon has no HID function; a packet socket stands in for the interrupt reports, one
    // packet each, as a raw HID node delivers them, raised by the workers so the waiter's count
    // can be checked.
    int irq[2] = {-1, -1};
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, irq), 0);
    d->hid_handle = zio::hid_device_from_fd(irq[0]);

    std::atomic<bool> stop{false};
    std::array<Tally, kWorkers> tallies{};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w)
        workers.emplace_back([&, w] {
            const auto end = Clock::now() + kRunTime;
            for (int round = 0; Clock::now() < end; ++round)
                run_round(d, w, round, irq[1], tallies[static_cast<size_t>(w)]);
        });
    int seen = 0, failed_waits = 0;
    std::thread waiter([&] {
        while (true) {
            const int s = zelp_linux_io_wait(d, 20, 0);
            if (s == MORVEL_ZELP_ERROR_NONE)
                ++seen;
            else if (s != MORVEL_ZELP_ERROR_TIMEOUT)
                ++failed_waits;
            else if (stop)
                return; // every report raised has been taken
        }
    });
    for (std::thread &t : workers) t.join();
    stop = true;
    waiter.join();

    int raised = 0;
    for (int w = 0; w < kWorkers; ++w) {
        const Tally &t = tallies[static_cast<size_t>(w)];
        SCOPED_TRACE("worker " + std::to_string(w));
        EXPECT_GT(t.rounds, 10);
        EXPECT_EQ(t.wrong, 0);
        EXPECT_EQ(t.raised, t.rounds);
        raised += t.raised;
    }
    EXPECT_EQ(seen, raised);
    EXPECT_EQ(failed_waits, 0);
    ::close(irq[1]);
    EXPECT_EQ(zelp_linux_io_uninit(d), MORVEL_ZELP_ERROR_NONE);
}
