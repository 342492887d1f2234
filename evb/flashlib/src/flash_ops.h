// The flash operations inside the library: SPI NOR commands over the MSPI port, the erase and
// program planners, and bulk reads and programming over the session's path. Each throws
// flash_failure when a step fails.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "flash_constants.h"
#include "flash_session.h"

namespace zflash {

void read_id(const session &s, uint8_t *vendor, uint16_t *id);
uint8_t read_status(const session &s);
void write_enable(const session &s);
// Polls the status until the busy bit clears; past `max_ms` the wait fails. With a `phase`,
// reports progress under that name while waiting.
void wait_ready(const session &s, int max_ms, const char *phase);
void erase_chip(const session &s);
void erase_with(const session &s, const flash_erase_kind &kind, uint32_t address);
// Erases every 4 KiB sector that [address, address + count) touches (the planner below).
void erase_range(const session &s, uint32_t address, uint32_t count);

// One erase command of the planner, and whether progress is reported after it.
struct flash_erase_step {
    uint32_t command; // FLASH_ERASE_4K_COMMAND or FLASH_ERASE_64K_COMMAND
    uint32_t address;
    bool progress;
    bool operator==(const flash_erase_step &) const = default;
};
std::vector<flash_erase_step> plan_erase(uint32_t address, uint32_t count);

// One page program of program_range: never crosses a 256-byte page.
struct flash_program_piece {
    uint32_t address;
    uint32_t offset; // into the data
    uint32_t count;
    bool page; // a whole page from the middle run, after which progress may be shown
    bool operator==(const flash_program_piece &) const = default;
};
std::vector<flash_program_piece> plan_program(uint32_t address, uint32_t count);

// Bulk transfers over the session's path; sizes must be multiples of 4.
void read_range(const session &s, uint32_t address, std::span<uint8_t> buf);
void program_piece(const session &s, uint32_t address, std::span<const uint8_t> data);
// Programs `data` page by page, reporting progress as "Program".
void program_range(const session &s, uint32_t address, std::span<const uint8_t> data);
void start_of_file(const session &s, uint32_t total);

// The paths by morvel_zelp7x_flash_path_e.
const flash_path &path_of(morvel_zelp7x_flash_path_e path);

} // namespace zflash
