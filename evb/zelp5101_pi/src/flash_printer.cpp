#include "flash_printer.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <span>

#include "image_file.h"
#include "run_failure.h"

void print_progress(double pct, const char *prefix) {
    static constexpr char bar[] = "============================================================";
    constexpr int width = sizeof bar - 1;
    // Kept inside the bar so a stray fraction can neither overflow the conversions below nor
    // read past the sixty equals signs.
    if (!(pct >= 0.0)) pct = 0.0;
    pct = std::min(pct, 1.0);
    const int n = static_cast<int>(width * pct);
    const int p = static_cast<int>(100.0 * pct);
    std::printf("\r%-8s: %3d%% [%.*s%*s]", prefix, p, n, bar, width - n, "");
    std::fflush(stdout);
}

int bit_rate(int64_t bytes, int ms) {
    // A clock stepped back gives no time to divide by.
    if (ms <= 0) return 0;
    // 16 MiB moved within a millisecond (a simulated board) is beyond an int: show the largest
    // rate rather than a wrapped, negative one.
    return static_cast<int>(std::min<int64_t>(bytes * 8000 / ms, INT_MAX));
}

namespace {

void print_time(int ms) {
    std::printf("%d.%03d sec", ms / 1000, ms % 1000);
}

void print_summary(const morvel_zelp7x_flash_report_s &r, const char *verb) {
    const int count = static_cast<int>(r.data_bytes);
    std::printf("sum = %05d (0x%04x) %d bytes %s in ", r.checksum, r.checksum, count, verb);
    print_time(r.milliseconds);
    std::printf(", %d bits/s\n", bit_rate(count, r.milliseconds));
}

} // namespace

void flash_printer::report(const morvel_zelp7x_flash_report_s *report, void *user) {
    static_cast<flash_printer *>(user)->show(*report);
}

void flash_printer::show(const morvel_zelp7x_flash_report_s &r) {
    switch (r.event) {
    case MORVEL_ZELP7X_FLASH_EVENT_PROGRESS:
        return progress(r);
    case MORVEL_ZELP7X_FLASH_EVENT_DIFFERENCE:
        return difference(r);
    case MORVEL_ZELP7X_FLASH_EVENT_FAILED:
        // A failed step leaves its bar as it is; the failure's line follows the run. Only the
        // read step's verdict comes after what it read.
        if (r.failure->kind == MORVEL_ZELP7X_FLASH_FAILED_VERIFY) read_back(r);
        return;
    case MORVEL_ZELP7X_FLASH_EVENT_DONE:
        break;
    default:
        return;
    }
    switch (r.step) {
    case MORVEL_ZELP7X_FLASH_STEP_ERASE:
        end_bar();
        std::printf("%d bytes erased in ", static_cast<int>(r.bytes));
        print_time(r.milliseconds);
        std::printf(", %d bits/s\n", bit_rate(static_cast<int64_t>(r.bytes), r.milliseconds));
        return;
    case MORVEL_ZELP7X_FLASH_STEP_ERASE_CHIP:
        // The line under the busy wait's bar ends here, and so does an empty one when there was
        // none.
        if (!end_bar()) std::printf("\n");
        std::printf("chip erased in ");
        print_time(r.milliseconds);
        std::printf("\n");
        return;
    case MORVEL_ZELP7X_FLASH_STEP_WRITE:
        end_bar();
        print_summary(r, "written");
        if (run_.skip_unchanged)
            std::printf(
                "skip-unchanged: %u of %u sectors unchanged, %u erased, %u pages programmed\n",
                r.stats.sectors_unchanged, r.stats.sectors, r.stats.sectors_erased,
                r.stats.pages_programmed);
        return;
    case MORVEL_ZELP7X_FLASH_STEP_READ:
        return read_back(r);
    default:
        return;
    }
}

void flash_printer::progress(const morvel_zelp7x_flash_report_s &r) {
    if (run_.quiet) return;
    print_progress(r.fraction, r.phase);
    bar_ = true;
}

bool flash_printer::end_bar() {
    if (!bar_) return false;
    std::printf("\n");
    bar_ = false;
    return true;
}

// Hex dump of the data read, 16 bytes a line, each line led by its address; only for -r - and
// not with -q.
void flash_printer::dump_to(const morvel_zelp7x_flash_report_s &r, uint32_t end) {
    if (run_.quiet || run_.read_file_name != "-") return;
    const auto address = static_cast<uint32_t>(run_.address);
    for (; dumped_ < end; ++dumped_) {
        if (dumped_ % 16 == 0) std::printf("0x%06x: ", address + dumped_);
        std::printf("%02x ", r.data[dumped_]);
        dump_open_ = dumped_ % 16 != 15;
        if (!dump_open_) std::printf("\n");
    }
}

// A byte that differs shows in the dump's place, before that byte.
void flash_printer::difference(const morvel_zelp7x_flash_report_s &r) {
    end_bar();
    dump_to(r, r.offset);
    if (!run_.quiet)
        std::printf("0x%06x: read 0x%02x != expected 0x%02x\n",
                    static_cast<uint32_t>(run_.address) + r.offset, r.got, r.expected);
}

void flash_printer::read_back(const morvel_zelp7x_flash_report_s &r) {
    end_bar();
    dump_to(r, r.data_bytes);
    if (run_.read_file_name && *run_.read_file_name != "-") {
        try {
            status_ |= write_file(run_.read_file_name->c_str(), std::span(r.data, r.data_bytes));
        } catch (const run_failure &f) {
            // The run ends with the file's failure, and nothing more is said.
            report_failure(f);
            status_ = 1;
            return;
        }
    }
    if (dump_open_) std::printf("\n");
    if (r.event == MORVEL_ZELP7X_FLASH_EVENT_FAILED) std::fprintf(stderr, "%s\n", r.text);
    print_summary(r, "read");
}
