// The tool's flash steps over the flash library: the run's flash session with its progress bar,
// the range check, and the write and read steps of a run.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "morvel_flash/morvel_zelp7x_flash.h"
#include "run_options.h"

// "\r<prefix>: nnn% [====    ]" on standard output, flushed; the caller ends the line.
void print_progress(double pct, const char *prefix);

// The run's flash: the library's session record on the path the run chose (-Q or not), with the
// progress bar unless -q. Each call ends the bar's line it drew, and a failure ends the run.
class run_flash {
  public:
    run_flash(morvel_zelp_device_s *zelp, const run_options &run,
              const morvel_zelp7x_flash_board_calls_s *board = nullptr);
    // A run whose progress goes to `progress` (null: none) rather than to the bar.
    run_flash(morvel_zelp_device_s *zelp, const run_options &run,
              morvel_zelp7x_flash_progress_f progress, void *user);
    run_flash(const run_flash &) = delete;
    run_flash &operator=(const run_flash &) = delete;

    // Runs `call(session, failure)`; returns whether it drew a progress bar.
    template <class Call>
    bool call(Call &&c) {
        morvel_zelp7x_flash_failure_s failure{};
        shown_ = false;
        if (c(&flash_, &failure) != 0) fail_flash_call(failure);
        return end_line();
    }

  private:
    static void show(const char *phase, double fraction, void *user);
    [[noreturn]] static void fail_flash_call(const morvel_zelp7x_flash_failure_s &failure);
    bool end_line();

    morvel_zelp7x_flash_s flash_{};
    bool shown_ = false;
};

// The BSD `sum` checksum, one byte at a time.
uint16_t bsd_sum(uint16_t csum, uint8_t c);

// Refuses a run whose flash range (the data, the -e span and any dongle descriptor) does not fit
// the flash, before anything is erased or written: its size when the JEDEC ID gave one
// (run.flash_size), else the 24-bit flash addresses. Warns when a dongle image does not start on
// a 1 MiB boundary. Returns the exit status it calls for (0 to go on).
int check_flash_range(const run_options &run);

// What check_flash_range says of one range, newline included; empty when it fits.
std::string range_problem(const run_options &run, uint64_t address, uint64_t count,
                          const char *what);
// The same for the data range and, when written, the dongle descriptor.
std::string data_range_problem(const run_options &run);

// The write step's flash work on the encoded image: with -Q the start-of-file command, the
// image and, with -A, its descriptor, programmed into flash the run erased.
void program_image(run_flash &flash, const run_options &run, std::span<const uint8_t> encoded);
// --skip-unchanged: the same bytes written through the library's changed-only write, which also
// erases the -e span where it is not blank.
morvel_zelp7x_flash_write_stats_s write_changed(run_flash &flash, const run_options &run,
                                                std::span<const uint8_t> encoded);

// Step 14 of a run: encode the image, program it and print the write summary line.
// Step 15: read back, decode, checksum, verify, dump or save, and print the read summary.
// Both return the process exit status they call for (0 to go on, 1 to stop).
int run_write_step(run_flash &flash, run_options &run);
int run_read_step(run_flash &flash, run_options &run);
