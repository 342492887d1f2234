// The tool's flash operations: MSPI primitives, SPI NOR flash commands, bulk read, program and
// verify, and the write and read steps of a run.
#pragma once

#include <cstdint>
#include <vector>

#include "morvel_devlib/morvel_zelp.h"
#include "zelp_linux_io.h"

struct run_options;

// Flash commands over the MSPI port. Each returns 0; a failing register access ends the run.
int flash_read_id(morvel_zelp_device_s *zelp, uint8_t *mfg, uint16_t *id);
// Bytes the flash holds by the capacity code in the low byte of `id`; 0 for a code the tool does
// not know.
uint32_t flash_capacity(uint16_t id);
int flash_read_status(morvel_zelp_device_s *zelp, uint8_t *status);
int flash_write_enable(morvel_zelp_device_s *zelp);
// Polls the status until the busy bit clears; past `max_ms` reports the expiry and exits 1.
// With a `ping`, shows a progress bar under that name while waiting.
int flash_wait(morvel_zelp_device_s *zelp, int max_ms, const char *ping);
int flash_chip_erase(morvel_zelp_device_s *zelp, int quiet);
int flash_4k_erase(morvel_zelp_device_s *zelp, uint32_t address);
int flash_64k_erase(morvel_zelp_device_s *zelp, uint32_t address);
// Erases every 4 KiB sector that [address, address + count) touches, with 64 KiB block erases
// for the whole blocks inside it. Refuses (MORVEL_ZELP_ERROR_ARG) a range beyond the 24-bit
// flash addresses.
int flash_erase(morvel_zelp_device_s *zelp, uint32_t address, uint32_t count, int quiet);

// One erase command of the planner, and whether the progress bar is redrawn after it.
struct flash_erase_step {
    uint32_t command; // FLASH_ERASE_4K_COMMAND or FLASH_ERASE_64K_COMMAND
    uint32_t address;
    bool progress;
    bool operator==(const flash_erase_step &) const = default;
};
std::vector<flash_erase_step> plan_erase(uint32_t address, uint32_t count);

// "\r<prefix>: nnn% [====    ]" on standard output, flushed; the caller ends the line.
void print_progress(double pct, const char *prefix);

// One page program of flash_write: never crosses a 256-byte page.
struct flash_program_piece {
    uint32_t address;
    uint32_t offset; // into the data
    uint32_t count;
    bool page; // a whole page from the middle run, after which progress may be shown
    bool operator==(const flash_program_piece &) const = default;
};
std::vector<flash_program_piece> plan_program(uint32_t address, uint32_t count);

// Bulk transfers, over the MSPI port or, with fw_rw_op, through the bridge's own flash commands.
// Counts must be multiples of 4.
void flash_read(morvel_zelp_device_s *zelp, int address, uint8_t *buf, int count, int quiet,
                int fw_rw_op);
void flash_program(morvel_zelp_device_s *zelp, int address, uint8_t *buf, int count, int fw_rw_op);
void flash_write(morvel_zelp_device_s *zelp, uint32_t address, uint8_t *b, uint32_t count,
                 int quiet, int fw_rw_op);

// The board I/O calls the flash operations make besides register access: the bridge command of
// the firmware path and the bracket around a pipelined read. Tests put recorders in their place.
struct flash_board_calls {
    int (*bridge_command)(morvel_evb_io_handle_t d, int command, uint32_t addr, uint8_t *data,
                          uint16_t len);
    int (*pipeline_begin)(morvel_evb_io_handle_t d, void *buf, int len);
    int (*pipeline_end)(morvel_evb_io_handle_t d);
};
// Null puts the board I/O layer's own calls back.
void set_flash_board_calls(const flash_board_calls *calls);
// Announces an image of `total` flash bytes to the bridge before its first firmware-path write.
void flash_start_of_file(morvel_zelp_device_s *zelp, uint32_t total);

// The BSD `sum` checksum, one byte at a time.
uint16_t bsd_sum(uint16_t csum, uint8_t c);

// Refuses a run whose flash range (the data, the -e span and any dongle descriptor) does not fit
// the flash, before anything is erased or written: its size when the JEDEC ID gave one
// (run.flash_size), else the 24-bit flash addresses. Warns when a dongle image does not start on
// a 1 MiB boundary. Returns the exit status it calls for (0 to go on).
int check_flash_range(const run_options &run);

// Step 14 of a run: encode the image, program it and print the write summary line.
// Step 15: read back, decode, checksum, verify, dump or save, and print the read summary.
// Both return the process exit status they call for (0 to go on, 1 to stop).
int run_write_step(morvel_zelp_device_s *zelp, run_options &run);
int run_read_step(morvel_zelp_device_s *zelp, run_options &run);
