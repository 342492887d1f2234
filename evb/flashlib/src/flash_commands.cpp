// SPI NOR flash commands as MSPI transactions: ID, status, write enable, busy wait and erases.
#include <algorithm>
#include <chrono>

#include "flash_constants.h"
#include "flash_ops.h"
#include "mspi_access.h"

namespace zflash {

namespace {

constexpr uint32_t address_mask = FLASH_ADDRESS_LIMIT - 1;

uint32_t align_down(uint32_t a, uint32_t size) {
    return a & ~(size - 1);
}
uint32_t align_up(uint32_t a, uint32_t size) {
    return (a + size - 1) & ~(size - 1);
}

// Command byte first, then the 3-byte address, most significant first.
uint32_t command_word(uint32_t command, uint32_t address) {
    return command << 24 | (address & address_mask);
}

// Milliseconds since `start`, rounded to the nearest one.
int elapsed_ms(std::chrono::steady_clock::time_point start) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    return static_cast<int>((us + 500) / 1000);
}

} // namespace

namespace {

void read_id_once(const session &s, uint8_t *vendor, uint16_t *id) {
    uint32_t r = 0;
    mspi_rw(s.zelp(), FLASH_READ_ID_COMMAND << 24, &r, 4);
    *vendor = static_cast<uint8_t>(r >> 8);
    *id = static_cast<uint16_t>((r >> 16 & 0xFF) << 8 | (r >> 24 & 0xFF));
}

// A status of all ones is a data line nothing drives, not a busy flash.
constexpr uint8_t status_undriven = 0xFF;

} // namespace

// A run cut off in the middle of a program or erase leaves the flash busy, and a busy flash
// answers nothing but its status; one cut off inside a command with chip select low takes the ID
// command as more of that command. Either reads vendor 0xFF, as no flash at all does. The ID
// read's own end has raised chip select by then, so the status is the flash's own: once it is no
// longer busy, the ID is read again. Only a vendor of 0xFF costs these commands.
void read_id(const session &s, uint8_t *vendor, uint16_t *id) {
    read_id_once(s, vendor, id);
    if (*vendor != 0xFF) return;
    const uint8_t status = read_status(s);
    if (status == status_undriven) return;
    if ((status & FLASH_STATUS_BUSY) != 0) wait_ready(s, FLASH_ERASE_64K_MAX_WAIT, nullptr);
    read_id_once(s, vendor, id);
}

uint8_t read_status(const session &s) {
    uint32_t r = 0;
    mspi_rw(s.zelp(), FLASH_READ_STATUS_COMMAND << 8, &r, 2);
    return static_cast<uint8_t>(r >> 8);
}

void write_enable(const session &s) {
    mspi_rw(s.zelp(), FLASH_WRITE_ENABLE_COMMAND, nullptr, 1);
}

// No sleep between polls: the status command's own round trip through the bridge paces it.
// The limit is checked after a poll whose answer may have taken most of it to come back, so a
// flash that became ready meanwhile gets one more poll before the wait fails.
void wait_ready(const session &s, int max_ms, const char *phase) {
    const auto start = std::chrono::steady_clock::now();
    int elapsed = 0;
    bool ready = false;
    do {
        ready = (read_status(s) & FLASH_STATUS_BUSY) == 0;
        if (ready) break;
        elapsed = elapsed_ms(start);
        if (elapsed % 1000 == 0 && phase != nullptr)
            s.progress(phase, static_cast<double>(elapsed) / max_ms);
    } while (elapsed < max_ms);
    if (!ready && (read_status(s) & FLASH_STATUS_BUSY) != 0) fail_wait(elapsed_ms(start));
    if (phase != nullptr) s.progress(phase, 1.0);
}

void erase_with(const session &s, const flash_erase_kind &kind, uint32_t address) {
    write_enable(s);
    mspi_rw(s.zelp(), command_word(kind.command, address), nullptr, 4);
    wait_ready(s, kind.max_wait_ms, nullptr);
}

void erase_chip(const session &s) {
    write_enable(s);
    mspi_rw(s.zelp(), FLASH_ERASE_CHIP_COMMAND, nullptr, 1);
    wait_ready(s, FLASH_ERASE_CHIP_MAX_WAIT, s.shows_progress() ? "Erase" : nullptr);
}

std::vector<flash_erase_step> plan_erase(uint32_t address, uint32_t count) {
    std::vector<flash_erase_step> plan;
    // An empty range touches no sector, even when it starts inside one.
    if (count == 0) return plan;
    const uint32_t end = address + count;
    const uint32_t end4k = align_up(end, FLASH_SECTOR_SIZE);
    const uint32_t head_end = std::min(align_up(address, FLASH_BLOCK_SIZE), end4k);
    const uint32_t blocks_end = align_down(end, FLASH_BLOCK_SIZE);
    uint32_t a = align_down(address, FLASH_SECTOR_SIZE);
    for (; a < head_end; a += FLASH_SECTOR_SIZE) plan.push_back({FLASH_ERASE_4K_COMMAND, a, true});
    for (; a < blocks_end; a += FLASH_BLOCK_SIZE)
        plan.push_back({FLASH_ERASE_64K_COMMAND, a, true});
    // In the tail only the fourth sector of every 16 KiB redraws the bar.
    for (; a < end4k; a += FLASH_SECTOR_SIZE)
        plan.push_back({FLASH_ERASE_4K_COMMAND, a, (a & 0x3000) == 0x3000});
    return plan;
}

void erase_range(const session &s, uint32_t address, uint32_t count) {
    const uint32_t end = address + count;
    bool progress = false;
    for (const flash_erase_step &step : plan_erase(address, count)) {
        erase_with(s, step.command == FLASH_ERASE_64K_COMMAND ? FLASH_ERASE_64K : FLASH_ERASE_4K,
                   step.address);
        if (step.progress) {
            s.progress("Erase", static_cast<double>(step.address) / end);
            progress = true;
        }
    }
    if (progress) s.progress("Erase", 1.0);
}

} // namespace zflash
