// SPI NOR flash commands as MSPI transactions: ID, status, write enable, busy wait and erases.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "elapsed.h"
#include "flash_constants.h"
#include "flash_ops.h"
#include "mspi_access.h"

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

void erase_with(morvel_zelp_device_s *zelp, const flash_erase_kind &kind, uint32_t address) {
    flash_write_enable(zelp);
    mspi_rw(zelp, command_word(kind.command, address), nullptr, 4);
    flash_wait(zelp, kind.max_wait_ms, nullptr);
}

} // namespace

int flash_read_id(morvel_zelp_device_s *zelp, uint8_t *mfg, uint16_t *id) {
    uint32_t r = 0;
    mspi_rw(zelp, FLASH_READ_ID_COMMAND << 24, &r, 4);
    *mfg = static_cast<uint8_t>(r >> 8);
    *id = static_cast<uint16_t>((r >> 16 & 0xFF) << 8 | (r >> 24 & 0xFF));
    return 0;
}

uint32_t flash_capacity(uint16_t id) {
    const auto code = static_cast<uint8_t>(id & 0xFF);
    if (code < FLASH_CAPACITY_CODE_MIN || code > FLASH_CAPACITY_CODE_MAX) return 0;
    return uint32_t{1} << code;
}

int flash_read_status(morvel_zelp_device_s *zelp, uint8_t *status) {
    uint32_t r = 0;
    mspi_rw(zelp, FLASH_READ_STATUS_COMMAND << 8, &r, 2);
    *status = static_cast<uint8_t>(r >> 8);
    return 0;
}

int flash_write_enable(morvel_zelp_device_s *zelp) {
    mspi_rw(zelp, FLASH_WRITE_ENABLE_COMMAND, nullptr, 1);
    return 0;
}

// No sleep between polls: the status command's own round trip through the bridge paces it.
int flash_wait(morvel_zelp_device_s *zelp, int max_ms, const char *ping) {
    const stopwatch watch;
    int elapsed = 0;
    do {
        uint8_t status = 0;
        flash_read_status(zelp, &status);
        if ((status & FLASH_STATUS_BUSY) == 0) break;
        elapsed = watch.elapsed_ms();
        if (elapsed % 1000 == 0 && ping != nullptr)
            print_progress(static_cast<double>(elapsed) / max_ms, ping);
    } while (elapsed < max_ms);
    if (elapsed >= max_ms) {
        std::fprintf(stderr, " flash wait expired after %d MS\n", elapsed);
        std::exit(1);
    }
    if (ping != nullptr) print_progress(1.0, ping);
    return 0;
}

int flash_chip_erase(morvel_zelp_device_s *zelp, int quiet) {
    flash_write_enable(zelp);
    mspi_rw(zelp, FLASH_ERASE_CHIP_COMMAND, nullptr, 1);
    flash_wait(zelp, FLASH_ERASE_CHIP_MAX_WAIT, quiet ? nullptr : "Erase");
    std::printf("\n");
    return 0;
}

int flash_4k_erase(morvel_zelp_device_s *zelp, uint32_t address) {
    erase_with(zelp, FLASH_ERASE_4K, address);
    return 0;
}

int flash_64k_erase(morvel_zelp_device_s *zelp, uint32_t address) {
    erase_with(zelp, FLASH_ERASE_64K, address);
    return 0;
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

int flash_erase(morvel_zelp_device_s *zelp, uint32_t address, uint32_t count, int quiet) {
    if (address > FLASH_ADDRESS_LIMIT || count > FLASH_ADDRESS_LIMIT - address)
        return MORVEL_ZELP_ERROR_ARG;
    const uint32_t end = address + count;
    bool progress = false;
    for (const flash_erase_step &step : plan_erase(address, count)) {
        erase_with(zelp, step.command == FLASH_ERASE_64K_COMMAND ? FLASH_ERASE_64K : FLASH_ERASE_4K,
                   step.address);
        if (!quiet && step.progress) {
            print_progress(static_cast<double>(step.address) / end, "Erase");
            progress = true;
        }
    }
    if (progress) {
        print_progress(1.0, "Erase");
        std::printf("\n");
    }
    return 0;
}
