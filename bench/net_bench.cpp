// A board on another machine against the same board on this one: the flash library's jobs through
// Debian's ser2net on loopback (rfc2217://127.0.0.1:PORT) beside the same through the board
// simulator daemon's terminal directly, on the daemon's link modelled as a full-speed bridge
// (latency=1000, rate=1000000). Each row reports both walls and ser2net_over_direct, their ratio
// (target at most 1.15): a 1 MiB write through the bridge's flash commands (-Q) and a 1 MiB
// pipelined MSPI read-back with windows of 64 and 256. Each side is measured twice, alternately,
// and the shorter time kept, so a stall of the shared machine does not count against one side
// alone.
//
// ser2net is one more process on each answer's way, which the host must schedule too: a window
// of 64 keeps about a millisecond of requests queued beyond the link's latency, so on a busy
// machine a stall of either process longer than that leaves the link idle; 256 rides them out.
//
// Erased flash reads 0xFF, which telnet sends twice; the hot path must not mind. One row reads
// 1 MiB of erased flash and 1 MiB of random bytes through ser2net on an instant link, where the
// host's own work shows, best of five, and reports erased_over_random; another times the telnet
// decoder alone on both.
//
// Runs the built zelp7x_board_sim and ser2net, through the tests' fixtures.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "morvel_flash/morvel_zelp7x_flash.h"
#include "support/process/board_sim_process.h"
#include "support/process/ser2net_process.h"
#include "support/process/temp_files.h"
#include "telnet_codec.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t MiB = 1u << 20;
const std::vector<std::string> full_speed_bridge = {"--latency", "1000", "--rate", "1000000"};

// The daemon's board with its flash in DIR/flash (FIRST, then SECOND, then erased), and ser2net
// in front of its terminal.
class NetworkedBoard {
  public:
    NetworkedBoard(const fs::path &dir, const std::vector<std::string> &link, const Bytes &first,
                   const Bytes &second) {
        Bytes cells = first;
        cells.insert(cells.end(), second.begin(), second.end());
        cells.resize(4 * MiB, 0xFF);
        ztest::write_bytes(dir / "flash", cells);
        std::vector<std::string> args = link;
        args.insert(args.end(), {"--image", (dir / "flash").string()});
        sim_ = std::make_unique<ztest::BoardSimProcess>(ZELP_BOARD_SIM_BIN, args);
        if (sim_->running())
            ser2net_ = std::make_unique<ztest::Ser2netProcess>(
                std::vector<std::string>{sim_->link()}, dir);
    }
    bool up() const { return ser2net_ && ser2net_->running(); }
    // The terminal itself, once ser2net has let go of it.
    std::string direct() const {
        ser2net_->wait_devices_closed();
        return sim_->link();
    }
    std::string network() const { return ser2net_->port_name(0); }

  private:
    std::unique_ptr<ztest::BoardSimProcess> sim_;
    std::unique_ptr<ztest::Ser2netProcess> ser2net_;
};

using Job = std::function<int(morvel_zelp7x_flash_s &, morvel_zelp7x_flash_failure_s *)>;

// The wall time of `job` on the board at `port`, opened as the tools open it; negative, with the
// failing step's message on standard error, when the board did not open or the job failed.
double timed(const std::string &port, morvel_zelp7x_flash_path_e path, const Job &job) {
    morvel_zelp7x_flash_board_s *board = nullptr;
    morvel_zelp7x_flash_failure_s failure{};
    const auto failed = [&] {
        std::fprintf(stderr, "%s: %s\n", port.c_str(),
                     failure.message[0] ? failure.message : "failed");
        return -1.0;
    };
    if (morvel_zelp7x_flash_board_open(port.c_str(), 0, &board, &failure) != 0) return failed();
    morvel_zelp7x_flash_s flash{};
    morvel_zelp7x_flash_board_session(board, &flash);
    flash.path = path;
    const auto start = std::chrono::steady_clock::now();
    const int status = job(flash, &failure);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    morvel_zelp7x_flash_board_close(board);
    return status == 0 ? took.count() : failed();
}

int write_through_bridge(morvel_zelp7x_flash_s &flash, const Bytes &image,
                         morvel_zelp7x_flash_failure_s *failure) {
    const auto size = static_cast<uint32_t>(image.size());
    const int s = morvel_zelp7x_flash_start_of_file(&flash, size, failure);
    return s != 0 ? s : morvel_zelp7x_flash_program(&flash, 0, image.data(), size, failure);
}

int read_and_compare(morvel_zelp7x_flash_s &flash, uint32_t address, const Bytes &want,
                     morvel_zelp7x_flash_failure_s *failure) {
    Bytes back(want.size());
    const int s = morvel_zelp7x_flash_read(&flash, address, back.data(),
                                           static_cast<uint32_t>(back.size()), failure);
    return s != 0 ? s : back == want ? 0 : 1;
}

// Both sides twice, alternately; the shorter wall of each.
void direct_against_network(benchmark::State &state, const NetworkedBoard &board,
                            const std::string &params, morvel_zelp7x_flash_path_e path,
                            const Job &job) {
    double direct = 1e9, network = 1e9;
    for (int round = 0; round < 2; ++round) {
        const double d = timed(board.direct() + params, path, job);
        const double n = timed(board.network() + params, path, job);
        if (d < 0 || n < 0) {
            state.SkipWithError("the job failed");
            return;
        }
        direct = std::min(direct, d);
        network = std::min(network, n);
    }
    state.counters["direct_s"] = direct;
    state.counters["ser2net_s"] = network;
    state.counters["ser2net_over_direct"] = network / direct;
}

void bridge_write_1MiB(benchmark::State &state) {
    const ztest::TempDir dir("net_bench_write");
    const NetworkedBoard board(dir.path(), full_speed_bridge, {}, {});
    if (!board.up()) return state.SkipWithError("the board or ser2net did not come up");
    const Bytes image = ztest::pseudo_random_bytes(MiB, 1);
    for (auto _ : state)
        direct_against_network(state, board, "", MORVEL_ZELP7X_FLASH_PATH_BRIDGE,
                               [&](auto &flash, auto *failure) {
                                   return write_through_bridge(flash, image, failure);
                               });
}

void mspi_read_back_1MiB(benchmark::State &state, int pipeline) {
    const ztest::TempDir dir("net_bench_read");
    const Bytes held = ztest::pseudo_random_bytes(MiB, 2);
    const NetworkedBoard board(dir.path(), full_speed_bridge, held, {});
    if (!board.up()) return state.SkipWithError("the board or ser2net did not come up");
    for (auto _ : state)
        direct_against_network(
            state, board, ",pipeline=" + std::to_string(pipeline), MORVEL_ZELP7X_FLASH_PATH_MSPI,
            [&](auto &flash, auto *failure) { return read_and_compare(flash, 0, held, failure); });
}

// Erased flash (0xFF, doubled on the wire) against random bytes, both through ser2net.
void erased_against_random_instant_link(benchmark::State &state) {
    const ztest::TempDir dir("net_bench_erased");
    const Bytes random = ztest::pseudo_random_bytes(MiB, 3), erased(MiB, 0xFF);
    const NetworkedBoard board(dir.path(), {}, random, erased);
    if (!board.up()) return state.SkipWithError("the board or ser2net did not come up");
    const auto read = [&](uint32_t address, const Bytes &want) {
        return timed(board.network() + ",pipeline=64", MORVEL_ZELP7X_FLASH_PATH_BRIDGE,
                     [&](auto &flash, auto *failure) {
                         return read_and_compare(flash, address, want, failure);
                     });
    };
    for (auto _ : state) {
        double e = 1e9, r = 1e9;
        for (int round = 0; round < 5; ++round) {
            const double er = read(MiB, erased), ra = read(0, random);
            if (er < 0 || ra < 0) return state.SkipWithError("the read failed");
            e = std::min(e, er);
            r = std::min(r, ra);
        }
        state.counters["erased_s"] = e;
        state.counters["random_s"] = r;
        state.counters["erased_over_random"] = e / r;
    }
}

// The decoder alone on 1 MiB of data as it comes off the wire; the byte rate is the data's.
struct NoCommands : zio::telnet::Listener {
    void negotiation(uint8_t, uint8_t) override {}
    void subnegotiation(std::span<const uint8_t>) override {}
};

void telnet_decode_1MiB(benchmark::State &state, const Bytes &data) {
    Bytes wire, out(data.size());
    zio::telnet::escape(data, wire);
    NoCommands listener;
    for (auto _ : state) {
        zio::telnet::Decoder decoder;
        benchmark::DoNotOptimize(decoder.decode(wire, out, listener));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}

} // namespace

BENCHMARK(bridge_write_1MiB)
    ->Name("Net_bridge_write_1MiB_ser2net_vs_direct")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(mspi_read_back_1MiB, pipeline64, 64)
    ->Name("Net_mspi_read_back_1MiB_pipeline64_ser2net_vs_direct")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(mspi_read_back_1MiB, pipeline256, 256)
    ->Name("Net_mspi_read_back_1MiB_pipeline256_ser2net_vs_direct")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(erased_against_random_instant_link)
    ->Name("Net_bridge_read_1MiB_erased_vs_random_instant_link")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(telnet_decode_1MiB, erased, Bytes(MiB, 0xFF))->Name("Telnet_decode_1MiB_erased");
BENCHMARK_CAPTURE(telnet_decode_1MiB, random, ztest::pseudo_random_bytes(MiB, 4))
    ->Name("Telnet_decode_1MiB_random");

BENCHMARK_MAIN();
