// Cost of configuration calls against the in-process chip model: the flash tool's input clock
// call right after reset, and a full front-end configuration with everything reported back.
// The transfers counter is the number of driver-level bus transfers one call makes, which is
// what dominates over a real USB bridge.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <span>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_driver.h"
#include "chip/chip.h"
#include "chip/clock_unit.h"

namespace {

struct Host {
    zsim::Chip chip;
    zsim::ClockUnit clock{chip};
    long transfers = 0;
    morvel_zelp_device_s device{};

    Host() {
        chip.attach(clock);
        device.iif = {this,
                      nullptr,
                      nullptr,
                      nullptr,
                      nullptr,
                      [](void *) { return 0; },
                      [](void *) { return 0; },
                      transfer};
        device.driver = morvel_zelp7x_get_driver();
        device.device_type = chip.device_type();
    }

    static int transfer(void *d, int mcu, uint32_t address, void *out, void *in, unsigned count) {
        Host &h = *static_cast<Host *>(d);
        ++h.transfers;
        if (out != nullptr) {
            const std::span bytes(static_cast<const uint8_t *>(out), count);
            if (mcu)
                h.chip.mcu_write_block(address, bytes);
            else
                h.chip.spi_write_block(static_cast<uint8_t>(address), bytes);
        } else {
            const std::span bytes(static_cast<uint8_t *>(in), count);
            if (mcu)
                h.chip.mcu_read_block(address, bytes);
            else
                h.chip.spi_read_block(static_cast<uint8_t>(address), bytes);
        }
        return 0;
    }

    void reset() {
        morvel_zelp7x_init(&device, MORVEL_ZELP_INIT_MODE_RESET);
        device.init = 1;
    }
};

void BM_ToolClockCallAfterReset(benchmark::State &state) {
    Host host;
    long transfers = 0;
    for (auto _ : state) {
        state.PauseTiming();
        host.reset();
        host.transfers = 0;
        state.ResumeTiming();
        morvel_zelp7x_config_s c{};
        c.set = MORVEL_ZELP7X_CONFIG_SET_INPUT_CLOCK_RATE;
        c.input_clock_rate = 32768;
        if (morvel_zelp7x_config(&host.device, &c) != 0) state.SkipWithError("clock call failed");
        transfers = host.transfers;
    }
    state.counters["transfers"] = static_cast<double>(transfers);
}
BENCHMARK(BM_ToolClockCallAfterReset);

void BM_FrontEndCallWithFullReport(benchmark::State &state) {
    Host host;
    host.reset();
    morvel_zelp7x_config_s c{};
    c.set = MORVEL_ZELP7X_CONFIG_SET_INPUT_CLOCK_RATE;
    c.input_clock_rate = 32768;
    morvel_zelp7x_config(&host.device, &c);
    long transfers = 0;
    bool toggle = false;
    for (auto _ : state) {
        host.transfers = 0;
        c = {};
        c.set = MORVEL_ZELP7X_CONFIG_SET_DNN_INPUT | MORVEL_ZELP7X_CONFIG_SET_TANK_INPUT |
                MORVEL_ZELP7X_CONFIG_SET_FREQ_FRAME_SIZE;
        c.dnn_input =
            toggle ? MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM0 : MORVEL_ZELP7X_CONFIG_DNN_INPUT_PDM1;
        c.tank_input = MORVEL_ZELP7X_CONFIG_TANK_INPUT_DNN;
        c.freq_frame_size = 40;
        c.get_all = 1;
        toggle = !toggle;
        if (morvel_zelp7x_config(&host.device, &c) != 0)
            state.SkipWithError("front-end call failed");
        transfers = host.transfers;
    }
    state.counters["transfers"] = static_cast<double>(transfers);
}
BENCHMARK(BM_FrontEndCallWithFullReport);

} // namespace

BENCHMARK_MAIN();
