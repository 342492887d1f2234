// A flash job planned and run on a board, with what it reported as lines a table can pin:
// "note TEXT", "id VENDOR DEVICE CAPACITY", "erase BYTES", "chip-erase BYTES", "write DATA of
// BYTES sum S[ changed U/N erased E pages P]", "read DATA of BYTES sum S[ differ N first A]",
// "differs at OFFSET: GOT != EXPECTED", "STEP failed: MESSAGE".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "morvel_flash/morvel_zelp7x_flash_job.h"

namespace ztest {

// What a job asks, with the images it writes and verifies.
struct JobAsk {
    uint32_t address = 0;
    int64_t count = -1;
    bool erase = false, erase_chip = false, three_byte = false, dongle = false, checksum = false,
         read = false, bridge = false, skip_unchanged = false;
    std::optional<std::vector<uint8_t>> write = {}, verify = {};
    std::optional<morvel_zelp7x_flash_identity_s> identity = {};
};

struct JobTrace {
    int status = 0; // of the plan, else of the run
    morvel_zelp7x_flash_failure_s failure{};
    morvel_zelp7x_flash_job_info_s info{};
    std::vector<std::string> lines;
    std::vector<uint8_t> data; // what the read step read back
    // Empty when every report came where it should: each step's START before its end, the steps
    // in order, progress between them with a known phase and a fraction from 0 to 1.
    std::string disorder;
};

// Plans `ask` and, when the plan holds, runs it on `flash`.
JobTrace run_job(const JobAsk &ask, morvel_zelp7x_flash_s *flash);

} // namespace ztest
