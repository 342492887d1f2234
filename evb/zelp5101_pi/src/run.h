// The run sequence of zelp7x_flash: one pass from the command line to the exit status.
#pragma once

#include "flash_steps.h"
#include "morvel_board/morvel_zelp7x_board.h"
#include "morvel_devlib/morvel_zelp.h"
#include "run_options.h"
#include "zelp_linux_io.h"

// The whole program; returns the exit status. Every failure of a step is reported here.
int run_zelp7x_flash(int argc, char **argv);

// The steps, in run order. Each takes the one run record so the derived values can be checked.
// Opens the board, starts the library with a chip reset and sets the input clock; a failure
// throws run_failure (run_failure.h) naming the step.
morvel_zelp7x_board_s *open_board(const run_options &run);
// Reads the JEDEC ID (and learns the flash's size from it); 1 when no flash answers.
int check_flash_id(run_flash &flash, run_options &run);
void load_image_files(run_options &run);
int derive_counts(run_options &run);
int apply_dongle_layout(run_options &run);
void erase_region_step(run_flash &flash, const run_options &run);
void erase_chip_step(run_flash &flash);

// Steps 7 and 8 for one file: its length clips `count` (a negative `count` takes it whole).
void clip_count(run_options &run, size_t file_length);
