// Bulk flash reads and page programming, over the MSPI port or through the bridge firmware's
// own flash commands.
#include <algorithm>
#include <array>

#include "flash_constants.h"
#include "flash_ops.h"
#include "mspi_access.h"
#include "zelp_linux_io.h"

namespace zflash {

namespace {

constexpr const char *read_step = "flash read";
constexpr const char *write_step = "flash program";
constexpr uint32_t bridge_block = ZELP_IO_FLASH_BLOCK_MAX; // the most one command carries
constexpr int progress_every = 1024;

void require_multiple_of_4(size_t count, const char *step) {
    if (count % 4 != 0)
        fail_argument(step, step == read_step ? "read size must be a multiple of 4 bytes"
                                              : "write size must be a multiple of 4 bytes");
}

// The bridge answers nothing to a flash write, so a failing command is the only sign that the
// flash did not get the data: the run ends rather than report success over it.
void bridge(const session &s, int command, uint32_t address, uint8_t *data, uint32_t len,
            const char *what) {
    check_call(
        what, s.board().bridge_command(s.io(), command, address, data, static_cast<uint16_t>(len)));
}

// With the board parameter pipeline=N, reads into `buf` go out while earlier answers are still on
// their way; a failing answer shows where it is taken, under the same message as a single read.
void begin_pipelined_reads(const session &s, std::span<uint8_t> buf, const char *what) {
    check_call(what, s.board().pipeline_begin(s.io(), buf.data(), static_cast<int>(buf.size())));
}
void end_pipelined_reads(const session &s, const char *what) {
    check_call(what, s.board().pipeline_end(s.io()));
}

void show_read_progress(const session &s, size_t offset, size_t count) {
    if (offset % progress_every != 0) return;
    s.progress("Read", static_cast<double>(offset) / static_cast<double>(count));
}

void read_through_bridge(const session &s, uint32_t address, std::span<uint8_t> buf) {
    begin_pipelined_reads(s, buf, "bridge flash read");
    for (size_t offset = 0; offset < buf.size();) {
        const uint32_t n =
            std::min<uint32_t>(static_cast<uint32_t>(buf.size() - offset), bridge_block);
        bridge(s, ATMEL_DONGLE_FW_FLASH_READ, address + static_cast<uint32_t>(offset),
               buf.data() + offset, n, "bridge flash read");
        show_read_progress(s, offset, buf.size());
        offset += n;
    }
    end_pipelined_reads(s, "bridge flash read");
}

// One SPI read command for the whole range, four bytes per MSPI transfer.
void read_through_mspi(const session &s, uint32_t address, std::span<uint8_t> buf) {
    mspi_write(s.zelp(), FLASH_READ_COMMAND << 24 | (address & (FLASH_ADDRESS_LIMIT - 1)), 4);
    begin_pipelined_reads(s, buf, "mspi read");
    for (size_t offset = 0; offset < buf.size(); offset += 4) {
        mspi_read_bytes(s.zelp(), buf.data() + offset, 4);
        show_read_progress(s, offset, buf.size());
    }
    end_pipelined_reads(s, "mspi read");
}

void program_through_bridge(const session &s, uint32_t address, std::span<const uint8_t> data) {
    mspi_mode(s.zelp(), MSPI_ENABLE);
    for (size_t offset = 0; offset < data.size();) {
        const uint32_t n =
            std::min<uint32_t>(static_cast<uint32_t>(data.size() - offset), bridge_block);
        // The bridge command's buffer is not const, but a write only sends from it.
        bridge(s, ATMEL_DONGLE_FW_FLASH_WRITE, address + static_cast<uint32_t>(offset),
               const_cast<uint8_t *>(data.data() + offset), n, "bridge flash write");
        offset += n;
        // A register read after each block: its answer comes back only once the bridge is done
        // with the block, so the next one does not overrun it.
        uint8_t discard = 0;
        check_call("bridge flash write sync", morvel_zelp_read(s.zelp(), 0, 0x00, &discard));
    }
    mspi_mode(s.zelp(), MSPI_IDLE);
}

void program_through_mspi(const session &s, uint32_t address, std::span<const uint8_t> data) {
    write_enable(s);
    mspi_mode(s.zelp(), MSPI_ENABLE);
    mspi_write(s.zelp(), FLASH_PROGRAM_COMMAND << 24 | (address & (FLASH_ADDRESS_LIMIT - 1)), 4);
    for (size_t i = 0; i < data.size(); i += 4) {
        mspi_write_next(s.zelp(),
                        uint32_t{data[i]} << 24 | uint32_t{data[i + 1]} << 16 |
                            uint32_t{data[i + 2]} << 8 | uint32_t{data[i + 3]},
                        4);
    }
    mspi_mode(s.zelp(), MSPI_IDLE);
    wait_ready(s, FLASH_PROGRAM_MAX_WAIT, nullptr);
}

constexpr std::array<flash_path, 2> paths = {{
    {read_through_mspi, program_through_mspi},     // MORVEL_ZELP7X_FLASH_PATH_MSPI
    {read_through_bridge, program_through_bridge}, // MORVEL_ZELP7X_FLASH_PATH_BRIDGE
}};

} // namespace

const flash_path &path_of(morvel_zelp7x_flash_path_e path) {
    return paths[path == MORVEL_ZELP7X_FLASH_PATH_BRIDGE ? 1 : 0];
}

void start_of_file(const session &s, uint32_t total) {
    bridge(s, ATMEL_DONGLE_FW_FLASH_START_OF_FILE, total, nullptr, 0, "bridge flash start of file");
}

void read_range(const session &s, uint32_t address, std::span<uint8_t> buf) {
    require_multiple_of_4(buf.size(), read_step);
    mspi_mode(s.zelp(), MSPI_ENABLE);
    s.path().read(s, address, buf);
    mspi_mode(s.zelp(), MSPI_IDLE);
    if (!buf.empty() && s.shows_progress()) s.progress("Read", 1.0);
}

void program_piece(const session &s, uint32_t address, std::span<const uint8_t> data) {
    require_multiple_of_4(data.size(), write_step);
    s.path().program(s, address, data);
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

void program_range(const session &s, uint32_t address, std::span<const uint8_t> data) {
    require_multiple_of_4(data.size(), write_step);
    const auto count = static_cast<uint32_t>(data.size());
    const uint32_t end = address + count;
    bool shown = false;
    for (const flash_program_piece &p : plan_program(address, count)) {
        program_piece(s, p.address, data.subspan(p.offset, p.count));
        if (p.page && p.offset % progress_every == 0) {
            s.progress("Program", static_cast<double>(p.address) / end);
            shown = true;
        }
    }
    if (shown) s.progress("Program", 1.0);
}

} // namespace zflash
