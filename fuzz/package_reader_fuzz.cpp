// Feeds arbitrary bytes through the package reader. The first two input bytes pick the chunk size
// and whether the log printouts run; the rest is the package. Every chunk sits in a heap block of
// exactly its size, so a read past a chunk's end is caught. The same package is also fed whole,
// and the two verdicts must agree. Then the package goes, in the same chunks, through a whole
// ordinary load into a freshly reset simulated chip in this process, as zelp7x_host loads it: the
// tag handlers and the chip model must stay in bounds and end, whatever the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "morvel_host/morvel_zelp7x_host.h"
#include "morvel_packager/morvel_package.h"

namespace {

struct verdict {
    int result = 0;
    bool done = false;
    uint32_t offset = 0;
    uint32_t crc = 0;
};

[[noreturn]] void finding() {
    std::abort();
}

// The reader's own invariants, checked after every step.
void check_state(const morvel_pkg_parser_state_t &p) {
    if (p.ptr < p.open_ram_begin || p.ptr > p.open_ram_end) finding();
    const bool in_value = p.mode == PACKAGE_MODE_VALUE_CONT || p.mode == PACKAGE_MODE_TAG_START;
    if (in_value && p.partially_read_length > p.length) finding();
    if (p.expected_bytes > PARSER_SCRATCH_SIZE && p.mode != PACKAGE_MODE_VALUE_START) finding();
}

verdict feed(std::span<const uint8_t> package, size_t chunk, int collect_log) {
    auto state = std::make_unique<morvel_pkg_parser_state_t>();
    morvel_pkg_parser_state_t &p = *state;
    morvel_pkg_parser_init(&p);
    morvel_pkg_parser_reset(&p);
    verdict v;
    // Every step consumes a byte or moves the mode on; far more steps than bytes is a hang.
    size_t steps_left = 4 * package.size() + 64;
    for (size_t pos = 0; pos < package.size(); pos += chunk) {
        const size_t n = std::min(chunk, package.size() - pos);
        std::vector<uint8_t> buffer(package.begin() + pos, package.begin() + pos + n);
        morvel_pkg_preprocess_chunk(&p, buffer.data(), static_cast<int>(n), 0);
        morvel_pkg_parser_reset(&p);
        while (p.ptr < p.open_ram_end && p.mode != PACKAGE_MODE_DONE) {
            if (steps_left-- == 0) finding();
            v.result = morvel_pkg_parse_chunk(&p, collect_log);
            v.offset = static_cast<uint32_t>(pos + (p.ptr - p.open_ram_begin));
            if (v.result != 0) return v;
            check_state(p);
        }
        if (p.mode == PACKAGE_MODE_DONE) break;
    }
    v.done = p.mode == PACKAGE_MODE_DONE;
    v.crc = p.calc_crc;
    return v;
}

// A small flash keeps each fresh board cheap; the load never reaches it.
int load_into_simulated_chip(std::span<const uint8_t> package, size_t chunk) {
    morvel_zelp7x_board_options_s options;
    morvel_zelp7x_host_options_init(&options);
    options.port = "sim:,size=64K";
    morvel_zelp7x_host_s *host = nullptr;
    if (morvel_zelp7x_host_open(&options, &host, nullptr) != 0) finding();
    const int s = morvel_zelp7x_host_load(host, package.data(), package.size(), chunk, nullptr);
    morvel_zelp7x_host_close(host);
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const size_t chunk = 1 + ((data[0] | (data[1] & 0x7F) << 8) % 4096);
    const int collect_log = (data[1] & 0x80) != 0 ? 1 : 0;
    const std::span<const uint8_t> package(data + 2, size - 2);
    if (package.empty()) return 0;

    const verdict cut = feed(package, chunk, collect_log);
    const verdict whole = feed(package, package.size(), 0);
    if (cut.result != whole.result || cut.done != whole.done) finding();
    // A header is refused where it lies when whole, and at its first wrong byte when collected.
    if (whole.result != MORVEL_PACKAGE_ERROR_HEADER && cut.offset != whole.offset) finding();
    if (whole.done && cut.crc != whole.crc) finding();

    // A package the reader refuses never loads; one it reads to the end is never left open.
    const int load = load_into_simulated_chip(package, chunk);
    if (whole.result != 0 && load == MORVEL_ZELP_ERROR_NONE) finding();
    if (whole.done && load == MORVEL_ZELP_ERROR_MORE) finding();
    return 0;
}
