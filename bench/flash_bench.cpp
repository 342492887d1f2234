// Programs and verifies 64 KiB through the tool's flash operations and the real serial code, on a
// simulated board served on a pseudo-terminal by the daemon's own server, on the MSPI path and on
// the bridge's flash commands (-Q), plainly and with pipeline=64.
//
// On a link modelled as a full-speed bridge (latency=1000, rate=1000000) each phase reports its
// wall time, the model's bound and their ratio. The bound is what the link alone costs: the round
// trips the host waits for times the latency, plus the bytes that crossed the link (counted as the
// board took and answered them, both directions) over the rate. A plain run waits for every
// answered packet; a pipelined read keeps 64 answers on their way and waits for the latency once,
// while the first of them comes back. On an instant link the rows show what the host and the
// pseudo-terminal cost by themselves.
//
// The read-back rows read 1 MiB that the board's flash already holds, on the MSPI path, and set
// the wall time against the link's byte time alone: the bytes that crossed it over the rate. Its
// requests (32 bytes a word) and answers (4) cross at the same time in the two directions, so a
// read that keeps the way to the bridge busy from its first request to its last answer comes to
// about 0.9. A window of 64 keeps about a millisecond of requests queued beyond the latency; 256
// rides out longer stalls of the host or the server thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "board.h"
#include "link/pty.h"
#include "link/usb_link.h"
#include "morvel_flash/morvel_zelp7x_flash.h"
#include "run.h"
#include "run_failure.h"

namespace {

constexpr uint32_t image_size = 64u << 10;
constexpr zsim::LinkOptions full_speed_bridge = {1000, 1000000};
constexpr zsim::LinkOptions instant_link = {};

// A board served on a pseudo-terminal from its own thread, through a link whose counts stay here.
class ServedBoard {
  public:
    explicit ServedBoard(zsim::LinkOptions link) {
        zsim::BoardOptions options;
        options.link = link;
        board_ = std::make_unique<zsim::Board>(options);
        link_ = std::make_unique<zsim::UsbLink>(*board_);
        std::string error;
        pty_ = zsim::PtyServer::open(error);
        if (pty_) thread_ = std::thread([this] { pty_->serve(*link_, stop_); });
    }
    ~ServedBoard() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    ServedBoard(const ServedBoard &) = delete;
    ServedBoard &operator=(const ServedBoard &) = delete;

    std::string path() const { return pty_ ? pty_->path() : std::string(); }
    std::span<uint8_t> flash_cells() { return board_->flash().cells(); }
    const zsim::UsbLink::Counts &counts() const { return link_->counts(); }

  private:
    std::unique_ptr<zsim::Board> board_;
    std::unique_ptr<zsim::UsbLink> link_;
    std::unique_ptr<zsim::PtyServer> pty_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

// One phase of a run: its wall time and what crossed the link meanwhile.
struct Phase {
    double seconds = 0;
    uint64_t answers = 0;
    uint64_t wire_bytes = 0;
};

template <class F>
Phase measure(const ServedBoard &board, F &&run) {
    const auto &c = board.counts();
    const uint64_t answers = c.answers, wire = c.to_bridge + c.to_host;
    const auto start = std::chrono::steady_clock::now();
    run();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {took.count(), c.answers - answers, c.to_bridge + c.to_host - wire};
}

// Round trips times latency plus wire bytes over rate; a pipelined read waits for one.
double model_bound(const Phase &p, zsim::LinkOptions link, int pipeline) {
    const uint64_t waits = pipeline > 0 ? std::min<uint64_t>(p.answers, 1) : p.answers;
    const double transit = link.rate ? double(p.wire_bytes) / link.rate : 0;
    return double(waits) * link.latency_us * 1e-6 + transit;
}

void report(benchmark::State &state, const char *name, const Phase &p, zsim::LinkOptions link,
            int pipeline) {
    const std::string n = name;
    state.counters[n + "_s"] = p.seconds;
    state.counters[n + "_packets_answered"] = double(p.answers);
    state.counters[n + "_wire_bytes"] = double(p.wire_bytes);
    if (link.instant()) return;
    const double bound = model_bound(p, link, pipeline);
    state.counters[n + "_bound_s"] = bound;
    state.counters[n + "_ratio"] = p.seconds / bound;
}

// The library started on `board` as the tool starts it, with `pipeline` on the port's name; null
// (and the benchmark marked skipped) when the board or its clock does not come up.
morvel_zelp_device_s *start_on(ServedBoard &board, int pipeline, benchmark::State &state) {
    if (board.path().empty()) {
        state.SkipWithError("no pseudo-terminal");
        return nullptr;
    }
    run_options run;
    run.spi_dev = board.path() + (pipeline > 0 ? ",pipeline=" + std::to_string(pipeline) : "");
    try {
        return morvel_zelp7x_board_device(open_board(run));
    } catch (const run_failure &f) {
        state.SkipWithError(f.text.c_str());
        return nullptr;
    }
}

void program_and_verify(benchmark::State &state, int fw, int pipeline, zsim::LinkOptions link) {
    ServedBoard board(link);
    morvel_zelp_device_s *zelp = start_on(board, pipeline, state);
    if (zelp == nullptr) return;
    std::vector<uint8_t> image(image_size), back(image_size);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + (i >> 8));

    morvel_zelp7x_flash_s flash{};
    flash.zelp = zelp;
    flash.path = fw ? MORVEL_ZELP7X_FLASH_PATH_BRIDGE : MORVEL_ZELP7X_FLASH_PATH_MSPI;
    for (auto _ : state) {
        const Phase program = measure(board, [&] {
            if (fw) morvel_zelp7x_flash_start_of_file(&flash, image_size, nullptr);
            morvel_zelp7x_flash_program(&flash, 0, image.data(), image_size, nullptr);
        });
        const Phase verify = measure(
            board, [&] { morvel_zelp7x_flash_read(&flash, 0, back.data(), image_size, nullptr); });
        if (back != image) state.SkipWithError("verify failed");
        report(state, "program", program, link, 0);
        report(state, "verify", verify, link, pipeline);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * image_size);
}

// The tool's read of `size` bytes at 0 over MSPI, against the time the bytes took on the link.
void read_back(benchmark::State &state, uint32_t size, int pipeline, zsim::LinkOptions link) {
    ServedBoard board(link);
    morvel_zelp_device_s *zelp = start_on(board, pipeline, state);
    if (zelp == nullptr) return;
    const std::span<uint8_t> cells = board.flash_cells();
    if (cells.size() < size) {
        state.SkipWithError("the simulated flash is smaller than the range");
        return;
    }
    for (size_t i = 0; i < size; ++i) cells[i] = static_cast<uint8_t>(i * 13 + (i >> 8));
    std::vector<uint8_t> back(size);
    morvel_zelp7x_flash_s flash{};
    flash.zelp = zelp;
    for (auto _ : state) {
        const Phase read = measure(board, [&] {
            morvel_zelp7x_flash_read(&flash, 0, back.data(), static_cast<uint32_t>(size), nullptr);
        });
        if (!std::equal(back.begin(), back.end(), cells.begin())) state.SkipWithError("misread");
        state.counters["read_s"] = read.seconds;
        state.counters["read_wire_bytes"] = double(read.wire_bytes);
        if (link.rate == 0) continue;
        const double byte_time = double(read.wire_bytes) / link.rate;
        state.counters["read_byte_time_s"] = byte_time;
        state.counters["read_byte_time_ratio"] = read.seconds / byte_time;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
}

// Re-flashing `size` bytes at 0 that the flash already holds but for one changed sector: a full
// erase, program and verify against the changed-only write and its verify. The changed-only
// write's target is one pipelined read of the range plus the changed sector's own erase,
// program and verify, measured here as well.
void reflash_one_sector(benchmark::State &state, uint32_t size, int fw, int pipeline,
                        zsim::LinkOptions link) {
    ServedBoard board(link);
    morvel_zelp_device_s *zelp = start_on(board, pipeline, state);
    if (zelp == nullptr) return;
    const std::span<uint8_t> cells = board.flash_cells();
    std::vector<uint8_t> old(size), image, back(size);
    for (size_t i = 0; i < size; ++i) old[i] = static_cast<uint8_t>(i * 13 + (i >> 8));
    image = old;
    constexpr uint32_t changed = 0x3000, sector = 4096;
    for (uint32_t i = 0; i < sector; ++i) image[changed + i] ^= 0xA5;
    morvel_zelp7x_flash_s flash{};
    flash.zelp = zelp;
    flash.path = fw ? MORVEL_ZELP7X_FLASH_PATH_BRIDGE : MORVEL_ZELP7X_FLASH_PATH_MSPI;
    const auto verify = [&](uint32_t address, uint32_t count) {
        morvel_zelp7x_flash_verify_s v{};
        morvel_zelp7x_flash_verify(&flash, address, image.data() + address, count, &v, nullptr);
        if (v.differences != 0) state.SkipWithError("verify failed");
    };
    const auto hold_old = [&] { std::copy(old.begin(), old.end(), cells.begin()); };
    for (auto _ : state) {
        hold_old();
        morvel_zelp7x_flash_write_options_s whole{}, only_changes{};
        only_changes.skip_unchanged = 1;
        const Phase full = measure(board, [&] {
            morvel_zelp7x_flash_write(&flash, 0, image.data(), size, &whole, nullptr, nullptr);
            verify(0, size);
        });
        hold_old();
        const Phase skip = measure(board, [&] {
            morvel_zelp7x_flash_write(&flash, 0, image.data(), size, &only_changes, nullptr,
                                      nullptr);
        });
        const Phase skip_verify = measure(board, [&] { verify(0, size); });
        const Phase read = measure(
            board, [&] { morvel_zelp7x_flash_read(&flash, 0, back.data(), size, nullptr); });
        hold_old();
        const Phase one = measure(board, [&] {
            morvel_zelp7x_flash_write(&flash, changed, image.data() + changed, sector, &whole,
                                      nullptr, nullptr);
            verify(changed, sector);
        });
        // The full job verifies, and so does the changed-only one; its target is the write alone.
        state.counters["full_s"] = full.seconds;
        state.counters["skip_unchanged_s"] = skip.seconds + skip_verify.seconds;
        state.counters["skip_over_full"] = (skip.seconds + skip_verify.seconds) / full.seconds;
        state.counters["skip_write_s"] = skip.seconds;
        state.counters["read_s"] = read.seconds;
        state.counters["target_s"] = read.seconds + one.seconds;
        state.counters["skip_write_over_target"] = skip.seconds / (read.seconds + one.seconds);
    }
}

constexpr uint32_t read_back_size = 1u << 20;

struct Row {
    const char *name;
    int fw;
    int pipeline;
    zsim::LinkOptions link;
};

constexpr Row rows[] = {
    {"Mspi_plain", 0, 0, full_speed_bridge},   {"Mspi_pipeline64", 0, 64, full_speed_bridge},
    {"Bridge_plain", 1, 0, full_speed_bridge}, {"Bridge_pipeline64", 1, 64, full_speed_bridge},
    {"Mspi_instant_link", 0, 0, instant_link}, {"Bridge_instant_link", 1, 0, instant_link},
};

struct ReadBackRow {
    const char *name;
    int pipeline;
    zsim::LinkOptions link;
};

constexpr ReadBackRow read_back_rows[] = {
    {"Mspi_read_back_1MiB_pipeline64", 64, full_speed_bridge},
    {"Mspi_read_back_1MiB_pipeline256", 256, full_speed_bridge},
    {"Mspi_read_back_1MiB_pipeline64_instant_link", 64, instant_link},
};

struct ReflashRow {
    const char *name;
    int fw;
    int pipeline;
};

constexpr ReflashRow reflash_rows[] = {
    {"Mspi_reflash_1MiB_one_sector_pipeline64", 0, 64},
    {"Bridge_reflash_1MiB_one_sector", 1, 0},
};

} // namespace

int main(int argc, char **argv) {
    for (const ReflashRow &r : reflash_rows)
        benchmark::RegisterBenchmark(r.name,
                                     [r](benchmark::State &state) {
                                         reflash_one_sector(state, read_back_size, r.fw, r.pipeline,
                                                            full_speed_bridge);
                                     })
            ->Iterations(1)
            ->UseRealTime()
            ->Unit(benchmark::kSecond);
    for (const Row &r : rows)
        benchmark::RegisterBenchmark(
            r.name,
            [r](benchmark::State &state) { program_and_verify(state, r.fw, r.pipeline, r.link); })
            ->Iterations(1)
            ->UseRealTime()
            ->Unit(benchmark::kSecond);
    for (const ReadBackRow &r : read_back_rows)
        benchmark::RegisterBenchmark(
            r.name,
            [r](benchmark::State &state) { read_back(state, read_back_size, r.pipeline, r.link); })
            ->Iterations(1)
            ->UseRealTime()
            ->Unit(benchmark::kSecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
