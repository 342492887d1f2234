// The SPI NOR flash command set, its geometry and time limits, and the MSPI port modes: the
// flash and MSPI half of the tool's constants (the dongle half is in flash_dongle.h).
#pragma once

#include <array>
#include <cstdint>

#include "morvel_flash/morvel_zelp7x_flash.h"

enum zelp7x_flash_mspi_constants_e : uint32_t {
    FLASH_PROGRAM_COMMAND = 0x02,
    FLASH_READ_COMMAND = 0x03,
    FLASH_WRITE_DISABLE_COMMAND = 0x04,
    FLASH_READ_STATUS_COMMAND = 0x05,
    FLASH_WRITE_ENABLE_COMMAND = 0x06,
    FLASH_ERASE_4K_COMMAND = 0x20,
    FLASH_ERASE_CHIP_COMMAND = 0x60,
    FLASH_ERASE_64K_COMMAND = 0xD8,
    FLASH_READ_ID_COMMAND = 0x9F,
    FLASH_STATUS_BUSY = 1,
    FLASH_SECTOR_SIZE = 4096,
    FLASH_BLOCK_SIZE = 65536,
    FLASH_PAGE_SIZE = 256,
    FLASH_ERASE_4K_MAX_WAIT = 240,
    FLASH_ERASE_64K_MAX_WAIT = 4000,
    FLASH_ERASE_CHIP_MAX_WAIT = 240000,
    FLASH_PROGRAM_MAX_WAIT = 500,
    MSPI_IDLE = 0,
    MSPI_ENABLE = 1,
    MSPI_TRANSFER = 2,
    MSPI_UPDATE = 3,
};

// Commands carry a 3-byte address, so this is all the flash the tool can reach.
constexpr uint32_t FLASH_ADDRESS_LIMIT = MORVEL_ZELP7X_FLASH_ADDRESS_LIMIT;

// The JEDEC ID's third byte: a code from 0x10 to 0x18 says the flash holds 2^code bytes (64 KiB
// to 16 MiB). Parts outside that range encode their size in ways the tool does not know.
constexpr uint8_t FLASH_CAPACITY_CODE_MIN = 0x10;
constexpr uint8_t FLASH_CAPACITY_CODE_MAX = 0x18;

// The two sized erases: which command clears how much, and how long the flash may stay busy.
struct flash_erase_kind {
    uint32_t command;
    uint32_t size;
    int max_wait_ms;
};

constexpr std::array<flash_erase_kind, 2> flash_erase_kinds = {{
    {FLASH_ERASE_4K_COMMAND, FLASH_SECTOR_SIZE, FLASH_ERASE_4K_MAX_WAIT},
    {FLASH_ERASE_64K_COMMAND, FLASH_BLOCK_SIZE, FLASH_ERASE_64K_MAX_WAIT},
}};
inline constexpr const flash_erase_kind &FLASH_ERASE_4K = flash_erase_kinds[0];
inline constexpr const flash_erase_kind &FLASH_ERASE_64K = flash_erase_kinds[1];
