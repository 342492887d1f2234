#include "run.h"

#include <climits>
#include <cstdio>

#include "atmel_dongle.h"
#include "elapsed.h"
#include "flash_steps.h"
#include "image_file.h"
#include "options.h"
#include "run_failure.h"

namespace {

constexpr int default_count = 16;

void print_elapsed(int ms) {
    std::printf("%d.%03d sec", ms / 1000, ms % 1000);
}

bool wants_read_step(const run_options &run) {
    return run.checksum_flash || run.read_file_name || run.verify_file_name;
}

} // namespace

morvel_zelp7x_board_s *open_board(const run_options &run) {
    const morvel_zelp7x_board_options_s options = board_options(run);
    morvel_zelp7x_board_s *board = nullptr;
    morvel_zelp7x_board_failure_s failure{};
    const int status = morvel_zelp7x_board_open(&options, &board, &failure);
    if (status != 0) fail_step(failure.step, status);
    return board;
}

int check_flash_id(run_flash &flash, run_options &run) {
    uint8_t vendor = 0;
    uint16_t id = 0;
    flash.call([&](auto *f, auto *failure) {
        return morvel_zelp7x_flash_read_id(f, &vendor, &id, nullptr, failure);
    });
    if (vendor == 0) {
        std::fprintf(stderr, "no flash populated (vendor id == 0)\n");
        return 1;
    }
    // A data line nothing drives reads all ones; there is no capacity to size a run from.
    if (vendor == 0xFF) {
        std::fprintf(stderr, "no flash answering (vendor id == 0xff)\n");
        return 1;
    }
    run.flash_size = morvel_zelp7x_flash_capacity(id);
    if (run.print_device_id) {
        std::printf("flash vendor id = 0x%02x, device id = 0x%04x\n", vendor, id);
    }
    return 0;
}

void clip_count(run_options &run, size_t file_length) {
    // A file longer than any count the run can hold is clipped to the largest one; the count
    // check that follows then rejects it.
    const int len =
        file_length > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(file_length);
    if (run.count < 0 || run.count > len) run.count = len;
}

void load_image_files(run_options &run) {
    if (run.write_file_name) {
        run.write_data = read_file(run.write_file_name->c_str());
        clip_count(run, run.write_data->size());
    }
    if (run.verify_file_name) {
        run.verify_data = read_file(run.verify_file_name->c_str());
        clip_count(run, run.verify_data->size());
    }
}

int derive_counts(run_options &run) {
    if (run.count < 0) run.count = default_count;
    const int64_t encoded = encoded_size(run.count, run.three_byte != 0);
    if (encoded > INT_MAX) {
        std::printf("flash byte count value out of range: %d\n", run.count);
        return 1;
    }
    run.encoded_count = static_cast<int>(encoded);
    run.erase_count = run.encoded_count;
    return 0;
}

int apply_dongle_layout(run_options &run) {
    if (!dongle_length_fits(run.encoded_count)) {
        std::fprintf(stderr, "data length 0x%x too long for Atmel file\n",
                     static_cast<unsigned>(run.encoded_count));
        return 1;
    }
    run.erase_count = ATMEL_DONGLE_PAGE_SIZE;
    run.dongle_descriptor =
        dongle_descriptor(static_cast<uint32_t>(run.encoded_count), run.three_byte != 0);
    run.dongle_descriptor_address = dongle_descriptor_address(static_cast<uint32_t>(run.address));
    return 0;
}

void erase_region_step(run_flash &flash, const run_options &run) {
    const stopwatch watch;
    flash.call([&](auto *f, auto *failure) {
        return morvel_zelp7x_flash_erase(f, static_cast<uint32_t>(run.address),
                                         static_cast<uint32_t>(run.erase_count), failure);
    });
    const int ms = watch.elapsed_ms();
    std::printf("%d bytes erased in ", run.erase_count);
    print_elapsed(ms);
    std::printf(", %d bits/s\n", bit_rate(run.erase_count, ms));
}

void erase_chip_step(run_flash &flash) {
    const stopwatch watch;
    // The line under the busy wait's bar ends here, and so does an empty one when there was none.
    if (!flash.call(morvel_zelp7x_flash_erase_chip)) std::printf("\n");
    const int ms = watch.elapsed_ms();
    std::printf("chip erased in ");
    print_elapsed(ms);
    std::printf("\n");
}

namespace {

// The opened board lives until the process exits: nothing is uninitialised or closed (the exit
// releases the port), and holding it here keeps it reachable to the very end.
morvel_zelp7x_board_s *board = nullptr;

// One run from an opened command line: every failure below is thrown and reported by the caller.
int run_steps(run_options &run) {
    board = open_board(run);
    morvel_zelp_device_s *zelp = morvel_zelp7x_board_device(board);
    run_flash flash(zelp, run);
    if (!run.accel_op && check_flash_id(flash, run) != 0) return 1;
    load_image_files(run);
    if (derive_counts(run) != 0) return 1;
    if (run.atmel_dongle && apply_dongle_layout(run) != 0) return 1;
    // Refuse ranges beyond the flash before anything is erased or written: a NOR flash ignores
    // the address bits above its size, so they would wrap onto its start.
    if (check_flash_range(run) != 0) return 1;
    // With --skip-unchanged the -e span is erased by the write step, where it is not blank.
    const bool erase_in_write = run.skip_unchanged && run.write_file_name;
    if (run.erase_region && !run.accel_op && !erase_in_write) erase_region_step(flash, run);
    if (run.erase_chip && !run.accel_op) erase_chip_step(flash);
    if (run.write_file_name && run_write_step(flash, run) != 0) return 1;
    if (wants_read_step(run) && run_read_step(flash, run) != 0) return 1;
    return 0;
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
