#include "run.h"

#include <cstdio>
#include <optional>

#include "flash_job_request.h"
#include "flash_printer.h"
#include "options.h"
#include "run_failure.h"

namespace {

// The opened board lives until the process exits: nothing is uninitialised or closed (the exit
// releases the port), and holding it here keeps it reachable to the very end.
morvel_zelp7x_board_s *board = nullptr;

// Opens the board, starts the library with a chip reset and sets the input clock; a failure is
// said in the name of its step.
bool open_board(const run_options &run) {
    const morvel_zelp7x_board_options_s options = board_options(run);
    morvel_zelp7x_board_failure_s failure{};
    if (morvel_zelp7x_board_open(&options, &board, &failure) == 0) return true;
    std::printf("%s\n", failure.message);
    return false;
}

int fail(const morvel_zelp7x_flash_failure_s &failure) {
    print_flash_failure(failure);
    return 1;
}

// One run from an opened command line: the board, the flash's ID (before the image files are
// read), then the job the options and files make, printed as it goes.
int run_steps(const run_options &run) {
    if (!open_board(run)) return 1;
    morvel_zelp7x_flash_s flash{};
    flash.zelp = morvel_zelp7x_board_device(board);
    morvel_zelp7x_flash_failure_s failure{};
    std::optional<morvel_zelp7x_flash_identity_s> id;
    if (!run.accel_op) {
        id.emplace();
        if (morvel_zelp7x_flash_identify(&flash, &*id, &failure) != 0) return fail(failure);
        if (run.print_device_id)
            std::printf("flash vendor id = 0x%02x, device id = 0x%04x\n", id->vendor,
                        id->device_id);
    }
    flash_job_request request(run);
    const flash_job_ptr job = plan_flash_job(request, id ? &*id : nullptr);
    if (!job) return 1;
    flash_printer printer(run);
    if (morvel_zelp7x_flash_job_run(job.get(), &flash, flash_printer::report, &printer, &failure) !=
        0)
        return fail(failure);
    return printer.status();
}

} // namespace

int run_zelp7x_flash(int argc, char **argv) {
    run_options run;
    switch (parse_options(argc, argv, run)) {
    case parse_outcome::exit_success:
        return 0;
    case parse_outcome::exit_failure:
        return 1;
    case parse_outcome::run:
        break;
    }
    try {
        return run_steps(run);
    } catch (const run_failure &failure) {
        report_failure(failure);
        return 1;
    }
}
