// What zelp7x_flash prints of a flash job's run: the progress bars (not with -q), a summary line
// for each step with its bytes, time and bit rate, the checksums, the hex dump of -r -, each byte
// that differs from the -v file, and the -r file written from the data read back.
#pragma once

#include <cstdint>

#include "morvel_flash/morvel_zelp7x_flash_job.h"
#include "run_options.h"

// "\r<prefix>: nnn% [====    ]" on standard output, flushed; the caller ends the line.
void print_progress(double pct, const char *prefix);

// Bits per second for `bytes` moved in `ms` milliseconds; 0 when no time passed, and at most
// INT_MAX, the most a summary line's %d can show.
int bit_rate(int64_t bytes, int ms);

class flash_printer {
  public:
    explicit flash_printer(const run_options &run) : run_(run) {}
    flash_printer(const flash_printer &) = delete;
    flash_printer &operator=(const flash_printer &) = delete;

    // A run's report callback; `user` is the printer.
    static void report(const morvel_zelp7x_flash_report_s *report, void *user);

    // 1 when something the printer did on the run's behalf failed (the -r file), else 0.
    int status() const { return status_; }

  private:
    void show(const morvel_zelp7x_flash_report_s &r);
    void progress(const morvel_zelp7x_flash_report_s &r);
    void difference(const morvel_zelp7x_flash_report_s &r);
    void read_back(const morvel_zelp7x_flash_report_s &r);
    bool end_bar();
    void dump_to(const morvel_zelp7x_flash_report_s &r, uint32_t end);

    const run_options &run_;
    bool bar_ = false;    // a progress bar is open on the current line
    uint32_t dumped_ = 0; // data bytes the hex dump has shown
    bool dump_open_ = false;
    int status_ = 0;
};
