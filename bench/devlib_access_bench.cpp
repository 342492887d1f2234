// Cost of the zelp7x driver's register access on its own, with a transfer callback that only
// counts: how many transport calls a block needs, and what the piece loop, the slow-read window
// and the reset sequence cost the host per byte or per call.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_driver.h"

namespace {

struct CountingHost {
    uint64_t calls = 0;
    uint64_t bytes = 0;
};

int count_transfer(morvel_zelp_handle_t d, int, uint32_t address, void *, void *in,
                   unsigned int count) {
    auto *h = static_cast<CountingHost *>(d);
    ++h->calls;
    h->bytes += count;
    // Reads of the slow-read window answer a non-zero word, like a chip that booted open.
    if (in != nullptr && address == 0x40 && count == 8) static_cast<uint8_t *>(in)[4] = 1;
    return 0;
}

int no_op(morvel_zelp_handle_t) {
    return 0;
}

morvel_zelp_device_s make_device(CountingHost &host, unsigned input_clock_rate) {
    morvel_zelp_device_s zelp{};
    zelp.iif.d = &host;
    zelp.iif.transfer = count_transfer;
    zelp.iif.mbwait = no_op;
    zelp.iif.sync = no_op;
    zelp.iif.unsync = no_op;
    zelp.driver = morvel_zelp7x_get_driver();
    zelp.init = 1;
    zelp.d.zelp7x.input_clock_rate = input_clock_rate;
    return zelp;
}

void BM_McuBlockWrite(benchmark::State &state) {
    CountingHost host;
    morvel_zelp_device_s zelp = make_device(host, 32768);
    std::vector<uint8_t> data(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(morvel_zelp7x_write_block(&zelp, 1, 0x20000700, data.data(),
                                                           static_cast<unsigned>(data.size())));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    state.counters["calls_per_block"] =
        static_cast<double>(host.calls) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_McuBlockWrite)->Arg(4)->Arg(2048)->Arg(1 << 20);

void BM_SlowMcuRead(benchmark::State &state) {
    CountingHost host;
    morvel_zelp_device_s zelp = make_device(host, 0);
    std::vector<uint8_t> data(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(morvel_zelp7x_read_block(&zelp, 1, 0x20017000, data.data(),
                                                          static_cast<unsigned>(data.size())));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    state.counters["wire_bytes_per_byte"] =
        static_cast<double>(host.bytes) /
        (static_cast<double>(state.iterations()) * static_cast<double>(state.range(0)));
}
BENCHMARK(BM_SlowMcuRead)->Arg(4)->Arg(1024);

void BM_ResetSequence(benchmark::State &state) {
    CountingHost host;
    morvel_zelp_device_s zelp = make_device(host, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(morvel_zelp7x_init(&zelp, MORVEL_ZELP_INIT_MODE_RESET));
    state.counters["calls_per_reset"] =
        static_cast<double>(host.calls) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ResetSequence);

} // namespace

BENCHMARK_MAIN();
