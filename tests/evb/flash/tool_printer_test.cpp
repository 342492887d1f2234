// What zelp7x_flash prints of a flash job's reports: the progress bar and the line it ends, each
// step's summary, the chip erase's own newline, the hex dump with the bytes that differ in its
// place, the -r file, and nothing over a step that failed (its message follows the run).
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "flash_printer.h"
#include "support/process/temp_files.h"

namespace {

using namespace testing::internal;

struct Printed {
    std::string out, err;
    int status;
};

// The printer's output for `reports`, in order, under `run`'s options.
Printed print(const run_options &run, const std::vector<morvel_zelp7x_flash_report_s> &reports) {
    flash_printer printer(run);
    CaptureStdout();
    CaptureStderr();
    for (const morvel_zelp7x_flash_report_s &r : reports) flash_printer::report(&r, &printer);
    std::string out = GetCapturedStdout();
    return {out, GetCapturedStderr(), printer.status()};
}

morvel_zelp7x_flash_report_s report(morvel_zelp7x_flash_step_e step,
                                    morvel_zelp7x_flash_event_e event) {
    morvel_zelp7x_flash_report_s r{};
    r.step = step;
    r.event = event;
    return r;
}

morvel_zelp7x_flash_report_s progress(morvel_zelp7x_flash_step_e step, const char *phase,
                                      double fraction) {
    morvel_zelp7x_flash_report_s r = report(step, MORVEL_ZELP7X_FLASH_EVENT_PROGRESS);
    r.phase = phase;
    r.fraction = fraction;
    return r;
}

morvel_zelp7x_flash_report_s done(morvel_zelp7x_flash_step_e step, int ms, uint64_t bytes,
                                  uint32_t data_bytes = 0, uint16_t checksum = 0) {
    morvel_zelp7x_flash_report_s r = report(step, MORVEL_ZELP7X_FLASH_EVENT_DONE);
    r.milliseconds = ms;
    r.bytes = bytes;
    r.data_bytes = data_bytes;
    r.checksum = checksum;
    return r;
}

std::string bar(const char *prefix, int pct, int n) {
    char head[32];
    std::snprintf(head, sizeof head, "\r%-8s: %3d%% [", prefix, pct);
    return head + std::string(n, '=') + std::string(60 - n, ' ') + "]";
}

constexpr auto erase = MORVEL_ZELP7X_FLASH_STEP_ERASE;
constexpr auto chip = MORVEL_ZELP7X_FLASH_STEP_ERASE_CHIP;
constexpr auto write = MORVEL_ZELP7X_FLASH_STEP_WRITE;
constexpr auto read = MORVEL_ZELP7X_FLASH_STEP_READ;

TEST(ToolPrinter, ProgressBarLayoutAndBitRate) {
    const std::tuple<double, const char *, std::string> cases[] = {
        {0.5, "Erase", bar("Erase", 50, 30)},      {0.0, "Read", bar("Read", 0, 0)},
        {1.0, "Program", bar("Program", 100, 60)}, {7.0, "Read", bar("Read", 100, 60)},
        {-1.0, "Read", bar("Read", 0, 0)},
    };
    for (const auto &[pct, prefix, expected] : cases) {
        CaptureStdout();
        print_progress(pct, prefix);
        EXPECT_EQ(GetCapturedStdout(), expected) << pct;
    }
    EXPECT_EQ(bit_rate(1000, 0), 0) << "no time to divide by";
    EXPECT_EQ(bit_rate(1000, 8), 1000000);
    EXPECT_EQ(bit_rate(int64_t{16} << 20, 1), INT_MAX) << "more than an int shows the largest";
}

TEST(ToolPrinter, EachStepEndsItsBarThenSaysItsSummary) {
    run_options run;
    run.skip_unchanged = 1;
    morvel_zelp7x_flash_report_s written = done(write, 250, 4, 3, 16556);
    written.stats = {5, 4, 1, 16};
    const Printed p = print(run, {progress(erase, "Erase", 0.5), done(erase, 1500, 0x100000),
                                  done(chip, 2000, 0), progress(write, "Program", 0), written});
    EXPECT_EQ(p.out, bar("Erase", 50, 30) +
                         "\n1048576 bytes erased in 1.500 sec, 5592405 bits/s\n" +
                         "\nchip erased in 2.000 sec\n" + bar("Program", 0, 0) +
                         "\nsum = 16556 (0x40ac) 3 bytes written in 0.250 sec, 96 bits/s\n"
                         "skip-unchanged: 4 of 5 sectors unchanged, 1 erased, 16 pages "
                         "programmed\n");

    // Quiet: the summaries alone; the chip erase ends a line of its own either way.
    run.quiet = 1;
    run.skip_unchanged = 0;
    EXPECT_EQ(print(run, {progress(chip, "Erase", 1.0), done(chip, 0, 0)}).out,
              "\nchip erased in 0.000 sec\n");
    run.quiet = 0;
    EXPECT_EQ(print(run, {progress(chip, "Erase", 1.0), done(chip, 0, 0)}).out,
              bar("Erase", 100, 60) + "\nchip erased in 0.000 sec\n");

    // A step that fails leaves its bar as it is: the failure's line follows the run.
    morvel_zelp7x_flash_failure_s failure{};
    failure.kind = MORVEL_ZELP7X_FLASH_FAILED_WAIT;
    morvel_zelp7x_flash_report_s failed = report(erase, MORVEL_ZELP7X_FLASH_EVENT_FAILED);
    failed.failure = &failure;
    EXPECT_EQ(print(run, {progress(erase, "Erase", 0.25), failed}).out, bar("Erase", 25, 15));
}

// -r - dumps 16 bytes a line; with -v each byte that differs is said in the dump's place, before
// that byte; the count of them goes to standard error before the read summary.
TEST(ToolPrinter, HexDumpWithTheBytesThatDifferInItsPlace) {
    std::vector<uint8_t> data(20);
    for (uint8_t i = 0; i < 20; ++i) data[i] = i;
    run_options run;
    run.address = 0x10;
    run.read_file_name = "-";
    morvel_zelp7x_flash_report_s differs = report(read, MORVEL_ZELP7X_FLASH_EVENT_DIFFERENCE);
    differs.data = data.data();
    differs.offset = 3;
    differs.got = 3;
    differs.expected = 7;
    morvel_zelp7x_flash_failure_s failure{};
    failure.kind = MORVEL_ZELP7X_FLASH_FAILED_VERIFY;
    morvel_zelp7x_flash_report_s last = done(read, 1, 20, 20, 0x1234);
    last.event = MORVEL_ZELP7X_FLASH_EVENT_FAILED;
    last.failure = &failure;
    last.text = "1 miscomparing bytes";
    last.data = data.data();
    const Printed p = print(run, {progress(read, "Read", 1.0), differs, last});
    EXPECT_EQ(p.out, bar("Read", 100, 60) +
                         "\n0x000010: 00 01 02 0x000013: read 0x03 != expected 0x07\n"
                         "03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f \n"
                         "0x000020: 10 11 12 13 \n"
                         "sum = 04660 (0x1234) 20 bytes read in 0.001 sec, 160000 bits/s\n");
    EXPECT_EQ(p.err, "1 miscomparing bytes\n");

    run.quiet = 1;
    EXPECT_EQ(print(run, {differs, last}).out,
              "sum = 04660 (0x1234) 20 bytes read in 0.001 sec, 160000 bits/s\n");
}

TEST(ToolPrinter, TheReadGoesToTheFileAndAFileThatFailsEndsTheRun) {
    const ztest::TempDir dir("tool_printer");
    const std::vector<uint8_t> data = ztest::pseudo_random_bytes(64, 5);
    morvel_zelp7x_flash_report_s last = done(read, 0, 64, 64);
    last.data = data.data();
    run_options run;
    run.quiet = 1;
    run.read_file_name = (dir.path() / "back.bin").string();
    Printed p = print(run, {last});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(ztest::read_bytes(dir.path() / "back.bin"), data);

    run.read_file_name = (dir.path() / "no/such/back.bin").string();
    p = print(run, {last});
    EXPECT_EQ(p.status, 1);
    EXPECT_EQ(p.out, "") << "no summary after it";
    EXPECT_EQ(p.err.rfind("error opening " + *run.read_file_name + ": ", 0), 0u) << p.err;
}

} // namespace
