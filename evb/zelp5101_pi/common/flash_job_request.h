// A flash job as the board tools ask for it: the options of a run and the image files they name,
// read whole, in the record the flash library plans from.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "morvel_flash/morvel_zelp7x_flash_job.h"
#include "run_options.h"

class flash_job_request {
  public:
    // Reads the -w file, then the -v file; a file that cannot be read throws run_failure.
    explicit flash_job_request(const run_options &run);
    flash_job_request(const flash_job_request &) = delete;
    flash_job_request &operator=(const flash_job_request &) = delete;

    // Points into this request; `identity`, when given, must outlive the plan.
    const morvel_zelp7x_flash_job_options_s &
    options(const morvel_zelp7x_flash_identity_s *identity = nullptr);

  private:
    std::vector<uint8_t> write_data_, verify_data_;
    morvel_zelp7x_flash_image_s write_{}, verify_{};
    morvel_zelp7x_flash_job_options_s options_{};
};

struct flash_job_free {
    void operator()(morvel_zelp7x_flash_job_s *job) const { morvel_zelp7x_flash_job_free(job); }
};
using flash_job_ptr = std::unique_ptr<morvel_zelp7x_flash_job_s, flash_job_free>;

// What the plan has to say (its warning), on standard error; a plan's report callback.
void print_flash_note(const morvel_zelp7x_flash_report_s *report, void *user);

// Plans `request`'s job, its notes and any failure printed as zelp7x_flash prints them; null when
// the plan fails.
flash_job_ptr plan_flash_job(flash_job_request &request,
                             const morvel_zelp7x_flash_identity_s *identity = nullptr);

// A flash library failure as zelp7x_flash prints it: a failed call or a bad option value on
// standard output, a wait that expired on standard error after a space (it follows a progress
// bar), anything else on standard error. A verify failure prints nothing here: the read step's
// summary says it.
void print_flash_failure(const morvel_zelp7x_flash_failure_s &failure);
