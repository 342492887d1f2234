// Cost of one register transfer: framing over the in-process simulated board, and a full round
// trip over a pseudo-terminal served by the board simulator's loop in a thread.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>
#include <vector>

#include "board.h"
#include "link/pty.h"
#include "zelp_linux_io.h"

namespace {

morvel_evb_io_handle_t open_port(std::string name) {
    zelp_io_init_args args{};
    args.spidev = name.data();
    morvel_evb_io_handle_t d = nullptr;
    return zelp_linux_io_init(&args, &d) == 0 ? d : nullptr;
}

void run_reads(benchmark::State &state, morvel_evb_io_handle_t d) {
    const int count = static_cast<int>(state.range(0));
    std::vector<uint8_t> in(static_cast<size_t>(count));
    for (auto _ : state)
        if (zelp_linux_io_transfer(d, 1, 0x20001000, nullptr, in.data(), count) != 0)
            state.SkipWithError("transfer failed");
    state.SetBytesProcessed(state.iterations() * count);
}

void BM_SimPortMcuRead(benchmark::State &state) {
    morvel_evb_io_handle_t d = open_port("sim");
    run_reads(state, d);
    zelp_linux_io_uninit(d);
}
BENCHMARK(BM_SimPortMcuRead)->Arg(4)->Arg(256)->Arg(4096);

void BM_SimPortMcuWrite(benchmark::State &state) {
    morvel_evb_io_handle_t d = open_port("sim");
    const int count = static_cast<int>(state.range(0));
    std::vector<uint8_t> out(static_cast<size_t>(count), 0xA5);
    for (auto _ : state) zelp_linux_io_transfer(d, 1, 0x20001000, out.data(), nullptr, count);
    state.SetBytesProcessed(state.iterations() * count);
    zelp_linux_io_uninit(d);
}
BENCHMARK(BM_SimPortMcuWrite)->Arg(4)->Arg(256);

void BM_PtyMcuRead(benchmark::State &state) {
    std::string error;
    auto pty = zsim::PtyServer::open(error);
    if (!pty) {
        state.SkipWithError(error.c_str());
        return;
    }
    zsim::Board board;
    std::atomic<bool> stop{false};
    std::thread server([&] { pty->serve(board, stop); });
    morvel_evb_io_handle_t d = open_port(pty->path());
    if (d)
        run_reads(state, d);
    else
        state.SkipWithError("open failed");
    zelp_linux_io_uninit(d);
    stop = true;
    server.join();
}
BENCHMARK(BM_PtyMcuRead)->Arg(4)->Arg(256)->Arg(4096)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
