// Bulk flash reads and page programming, over the MSPI port or through the bridge firmware's
// own flash commands (-Q).
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "check_status.h"
#include "flash_constants.h"
#include "flash_ops.h"
#include "mspi_access.h"

namespace {

constexpr uint32_t bridge_block = 256; // the most one bridge flash command carries
constexpr int progress_every = 1024;

constexpr flash_board_calls board_io_calls = {zelp_linux_io_usb_serial_flash_rw_command,
                                              zelp_linux_io_pipeline_begin,
                                              zelp_linux_io_pipeline_end};
flash_board_calls board = board_io_calls;

morvel_evb_io_handle_t io_of(morvel_zelp_device_s *zelp) {
    return static_cast<morvel_evb_io_handle_t>(zelp->iif.d);
}

void require_multiple_of_4(int count, const char *message) {
    if (count % 4 != 0) {
        std::fputs(message, stderr);
        std::exit(1);
    }
}

// The bridge answers nothing to a flash write, so a failing command is the only sign that the
// flash did not get the data: the run ends rather than report success over it.
void bridge(morvel_zelp_device_s *zelp, int command, uint32_t address, uint8_t *data, uint32_t len,
            const char *what) {
    check_status(what, board.bridge_command(io_of(zelp), command, address, data,
                                            static_cast<uint16_t>(len)));
}

// With the board parameter pipeline=N, reads into `buf` go out without waiting for each answer;
// a failing answer then shows at the batch's end, under the same message as a single read.
void begin_pipelined_reads(morvel_zelp_device_s *zelp, uint8_t *buf, int count, const char *what) {
    check_status(what, board.pipeline_begin(io_of(zelp), buf, count));
}
void end_pipelined_reads(morvel_zelp_device_s *zelp, const char *what) {
    check_status(what, board.pipeline_end(io_of(zelp)));
}

void show_read_progress(int quiet, int offset, int count, bool &shown) {
    if (quiet || offset % progress_every != 0) return;
    print_progress(static_cast<double>(offset) / count, "Read");
    shown = true;
}

void read_through_bridge(morvel_zelp_device_s *zelp, uint32_t address, uint8_t *buf, int count,
                         int quiet, bool &shown) {
    begin_pipelined_reads(zelp, buf, count, "bridge flash read");
    for (int offset = 0; offset < count;) {
        const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(count - offset), bridge_block);
        bridge(zelp, ATMEL_DONGLE_FW_FLASH_READ, address + static_cast<uint32_t>(offset),
               buf + offset, n, "bridge flash read");
        show_read_progress(quiet, offset, count, shown);
        offset += static_cast<int>(n);
    }
    end_pipelined_reads(zelp, "bridge flash read");
}

// One SPI read command for the whole range, four bytes per MSPI transfer.
void read_through_mspi(morvel_zelp_device_s *zelp, uint32_t address, uint8_t *buf, int count,
                       int quiet, bool &shown) {
    mspi_write(zelp, FLASH_READ_COMMAND << 24 | (address & (FLASH_ADDRESS_LIMIT - 1)), 4);
    begin_pipelined_reads(zelp, buf, count, "mspi read");
    for (int offset = 0; offset < count; offset += 4) {
        mspi_read_bytes(zelp, buf + offset, 4);
        show_read_progress(quiet, offset, count, shown);
    }
    end_pipelined_reads(zelp, "mspi read");
}

void program_through_bridge(morvel_zelp_device_s *zelp, uint32_t address, uint8_t *buf, int count) {
    for (int offset = 0; offset < count;) {
        const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(count - offset), bridge_block);
        bridge(zelp, ATMEL_DONGLE_FW_FLASH_WRITE, address + static_cast<uint32_t>(offset),
               buf + offset, n, "bridge flash write");
        offset += static_cast<int>(n);
        // A register read after each block: its answer comes back only once the bridge is done
        // with the block, so the next one does not overrun it.
        uint8_t discard = 0;
        check_status("bridge flash write sync", morvel_zelp_read(zelp, 0, 0x00, &discard));
    }
}

void program_through_mspi(morvel_zelp_device_s *zelp, uint32_t address, uint8_t *buf, int count) {
    flash_write_enable(zelp);
    mspi_mode(zelp, MSPI_ENABLE);
    mspi_write(zelp, FLASH_PROGRAM_COMMAND << 24 | (address & (FLASH_ADDRESS_LIMIT - 1)), 4);
    for (int i = 0; i < count; i += 4) {
        mspi_write_next(zelp,
                        uint32_t{buf[i]} << 24 | uint32_t{buf[i + 1]} << 16 |
                            uint32_t{buf[i + 2]} << 8 | uint32_t{buf[i + 3]},
                        4);
    }
    mspi_mode(zelp, MSPI_IDLE);
    flash_wait(zelp, FLASH_PROGRAM_MAX_WAIT, nullptr);
}

} // namespace

void set_flash_board_calls(const flash_board_calls *calls) {
    board = calls != nullptr ? *calls : board_io_calls;
}

void flash_start_of_file(morvel_zelp_device_s *zelp, uint32_t total) {
    bridge(zelp, ATMEL_DONGLE_FW_FLASH_START_OF_FILE, total, nullptr, 0,
           "bridge flash start of file");
}

uint16_t bsd_sum(uint16_t csum, uint8_t c) {
    csum = static_cast<uint16_t>(csum >> 1 | (csum & 1) << 15);
    return static_cast<uint16_t>(csum + c);
}

void flash_read(morvel_zelp_device_s *zelp, int address, uint8_t *buf, int count, int quiet,
                int fw_rw_op) {
    require_multiple_of_4(count, "read size must be a multiple of 4 bytes\n");
    bool shown = false;
    mspi_mode(zelp, MSPI_ENABLE);
    if (fw_rw_op)
        read_through_bridge(zelp, static_cast<uint32_t>(address), buf, count, quiet, shown);
    else
        read_through_mspi(zelp, static_cast<uint32_t>(address), buf, count, quiet, shown);
    mspi_mode(zelp, MSPI_IDLE);
    if (shown) {
        print_progress(1.0, "Read");
        std::printf("\n");
    }
}

void flash_program(morvel_zelp_device_s *zelp, int address, uint8_t *buf, int count, int fw_rw_op) {
    require_multiple_of_4(count, "write size must be a multiple of 4 bytes\n");
    if (fw_rw_op) {
        mspi_mode(zelp, MSPI_ENABLE);
        program_through_bridge(zelp, static_cast<uint32_t>(address), buf, count);
        mspi_mode(zelp, MSPI_IDLE);
    } else {
        program_through_mspi(zelp, static_cast<uint32_t>(address), buf, count);
    }
}

std::vector<flash_program_piece> plan_program(uint32_t address, uint32_t count) {
    std::vector<flash_program_piece> pieces;
    const uint32_t end = address + count;
    const uint32_t first = (address + FLASH_PAGE_SIZE - 1) & ~(FLASH_PAGE_SIZE - 1);
    const uint32_t last = end & ~(FLASH_PAGE_SIZE - 1);
    uint32_t a = address;
    uint32_t i = 0;
    // An empty write programs nothing, not even an empty head.
    if (address < first && count > 0) {
        const uint32_t n = std::min(first, end) - address;
        pieces.push_back({a, i, n, false});
        a += n;
        i += n;
    }
    for (; a < last; a += FLASH_PAGE_SIZE, i += FLASH_PAGE_SIZE)
        pieces.push_back({a, i, FLASH_PAGE_SIZE, true});
    if (end > a) pieces.push_back({a, i, end - a, false});
    return pieces;
}

void flash_write(morvel_zelp_device_s *zelp, uint32_t address, uint8_t *b, uint32_t count,
                 int quiet, int fw_rw_op) {
    require_multiple_of_4(static_cast<int>(count % 4),
                          "write size must be a multiple of 4 bytes\n");
    const uint32_t end = address + count;
    bool shown = false;
    for (const flash_program_piece &p : plan_program(address, count)) {
        flash_program(zelp, static_cast<int>(p.address), b + p.offset, static_cast<int>(p.count),
                      fw_rw_op);
        if (p.page && !quiet && p.offset % progress_every == 0) {
            print_progress(static_cast<double>(p.address) / end, "Program");
            shown = true;
        }
    }
    if (shown) {
        print_progress(1.0, "Program");
        std::printf("\n");
    }
}
