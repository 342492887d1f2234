// Programs and verifies 1 MiB on a simulated board served on a pseudo-terminal with no added
// latency, through the tool's flash operations and the real serial code, on the MSPI path and on
// the bridge's own flash commands (-Q). Reports bytes per second and, per KiB of image, the
// bridge packets and the bytes on the wire (both directions).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "flash_ops.h"
#include "input_clock.h"
#include "run.h"
#include "sim/board.h"

namespace {

constexpr uint32_t image_size = 1u << 20;

// The board on the master side of a pseudo-terminal, answering from its own thread and counting
// what crosses the link.
class PtyBoard {
  public:
    PtyBoard() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        path_ = ::ptsname(master_);
        const int client = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        if (client < 0 || ::tcgetattr(client, &tio) != 0) return;
        ::cfmakeraw(&tio);
        ::tcsetattr(client, TCSANOW, &tio);
        ::close(client);
        thread_ = std::thread([this] { serve(); });
    }
    ~PtyBoard() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (master_ >= 0) ::close(master_);
    }
    PtyBoard(const PtyBoard &) = delete;
    PtyBoard &operator=(const PtyBoard &) = delete;

    const std::string &path() const { return path_; }
    std::atomic<uint64_t> packets{0}, wire_bytes{0};

  private:
    void serve() {
        std::array<uint8_t, 4096> buf{};
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0 || !(p.revents & POLLIN)) continue;
            const ssize_t n = ::read(master_, buf.data(), buf.size());
            if (n <= 0) continue;
            const std::vector<uint8_t> answer = board_.receive({buf.data(), size_t(n)});
            packets = board_.bridge().packet_count();
            wire_bytes += static_cast<uint64_t>(n) + answer.size();
            for (size_t done = 0; done < answer.size();) {
                const ssize_t w = ::write(master_, answer.data() + done, answer.size() - done);
                if (w > 0) done += static_cast<size_t>(w);
            }
        }
    }

    zsim::Board board_;
    int master_ = -1;
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

void program_and_verify(benchmark::State &state, int fw) {
    PtyBoard board;
    run_options run;
    run.spi_dev = board.path();
    int io_type = 0;
    morvel_evb_io_handle_t io = open_board(run, io_type);
    morvel_zelp_device_s *zelp = start_library(io);
    if (set_input_clock(zelp, 32768) != 0) {
        state.SkipWithError("the input clock cannot be configured");
        return;
    }
    std::vector<uint8_t> image(image_size), back(image_size);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + (i >> 8));

    uint64_t packets = 0, wire = 0;
    for (auto _ : state) {
        const uint64_t p0 = board.packets, w0 = board.wire_bytes;
        if (fw) flash_start_of_file(zelp, image_size);
        flash_write(zelp, 0, image.data(), image_size, 1, fw);
        flash_read(zelp, 0, back.data(), image_size, 1, fw);
        if (back != image) state.SkipWithError("verify failed");
        packets += board.packets - p0;
        wire += board.wire_bytes - w0;
    }
    const double kib = double(state.iterations()) * image_size / 1024;
    state.SetBytesProcessed(int64_t(state.iterations()) * image_size);
    state.counters["packets_per_KiB"] = double(packets) / kib;
    state.counters["wire_bytes_per_KiB"] = double(wire) / kib;
}

void BM_ProgramVerify1MiB_Mspi(benchmark::State &state) {
    program_and_verify(state, 0);
}
void BM_ProgramVerify1MiB_Bridge(benchmark::State &state) {
    program_and_verify(state, 1);
}

BENCHMARK(BM_ProgramVerify1MiB_Mspi)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ProgramVerify1MiB_Bridge)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
