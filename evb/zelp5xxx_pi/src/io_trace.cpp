// The transfer trace: a line per transfer and, at level 2, the bytes.
#include <cstdint>

#include "io_internal.h"

extern "C" {
int zelp_linux_io_transfer_debug = 0;
}

void dump_bytes(const zio::Reporter &report, const void *p, int count) {
    const auto *bytes = static_cast<const uint8_t *>(p);
    std::string line;
    for (int i = 0; i < count; ++i) {
        if (i % 8 == 0) line = "    ";
        line += zio::format("0x%02x ", bytes[i]);
        if (i % 8 == 7 || i + 1 == count) report.trace(line);
    }
}

void trace_answer(const zio::Reporter &report, const void *inp, int count) {
    if (!zelp_linux_io_transfer_debug) return;
    report.trace(std::to_string(count) + " bytes    in:");
    if (zelp_linux_io_transfer_debug >= 2) dump_bytes(report, inp, count);
}
