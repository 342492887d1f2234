// The transfer trace: a line per transfer and, at level 2, the bytes.
#include <cstdint>
#include <cstdio>

#include "io_internal.h"

extern "C" {
int zelp_linux_io_transfer_debug = 0;
}

void dump_bytes(const void *p, int count) {
    const auto *bytes = static_cast<const uint8_t *>(p);
    for (int i = 0; i < count; ++i) {
        if (i % 8 == 0) std::fputs("    ", stdout);
        std::printf("0x%02x ", bytes[i]);
        if (i % 8 == 7) std::fputc('\n', stdout);
    }
    if (count > 0 && count % 8 != 0) std::fputc('\n', stdout);
}

void trace_answer(const void *inp, int count) {
    if (!zelp_linux_io_transfer_debug) return;
    std::printf("%d bytes    in:\n", count);
    if (zelp_linux_io_transfer_debug >= 2) dump_bytes(inp, count);
}
