// A planned flash job: what the plan derived from the options, kept read-only for every run.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "flash_session.h"
#include "morvel_flash/morvel_zelp7x_flash_job.h"

struct morvel_zelp7x_flash_job_s {
    morvel_zelp7x_flash_job_options_s options{}; // its pointers cleared: nothing of the host's
    bool has_identity = false;
    morvel_zelp7x_flash_identity_s identity{};
    bool writes = false, verifies = false;
    uint32_t count = 0;         // data bytes
    uint32_t encoded_count = 0; // flash bytes, a multiple of 4
    uint32_t erase_count = 0;
    std::vector<uint8_t> encoded; // the write image as it lies on the flash
    std::vector<uint8_t> verify;  // the verify image's first `count` bytes
    uint16_t checksum = 0;        // of the data written
    std::array<uint8_t, 8> descriptor{};
    uint32_t descriptor_address = 0;
    uint32_t steps = 0; // bit (1 << step) for each step a run takes

    bool runs(morvel_zelp7x_flash_step_e step) const { return (steps >> step & 1) != 0; }
};

namespace zflash {

// A failure of the job's own checks, before anything is sent.
[[noreturn]] void fail_check(const char *step, int status, const std::string &message);

// Refuses every range the job moves data in, erases or writes its descriptor to that reaches past
// a flash of `capacity` bytes (0: past the 16 MiB of 3-byte addresses).
void check_ranges(const morvel_zelp7x_flash_job_s &job, uint32_t capacity);

// Reads the JEDEC ID and learns the session's capacity from it.
morvel_zelp7x_flash_identity_s read_identity(const session &s);
// Refuses an ID that no flash gives: vendor 0 (nothing populated) or 0xFF (nothing drives it).
void check_identity(const morvel_zelp7x_flash_identity_s &id);

} // namespace zflash
