// A board opened for flash work: the board library's open with zelp7x_flash's options, under the
// flash library's names and failure record, and the flash's capacity read from its ID.
#include <cstdio>
#include <memory>
#include <new>

#include "flash_session.h"
#include "morvel_board/morvel_zelp7x_board.h"
#include "morvel_devlib/morvel_zelp_error.h"

struct morvel_zelp7x_flash_board_s {
    morvel_zelp7x_board_s *board = nullptr;
    uint32_t capacity = 0; // as the flash's ID gave it; 0 when not read or not known
};

namespace {

// A board failure in the flash library's terms: a failed call of the step the board names, for
// the reason the board gives.
void record_board_failure(morvel_zelp7x_flash_failure_s *out,
                          const morvel_zelp7x_board_failure_s &f) {
    zflash::record_failure(
        out, zflash::flash_failure{MORVEL_ZELP7X_FLASH_FAILED_CALL, f.status, f.step, f.message});
    if (out != nullptr) std::snprintf(out->reason, sizeof out->reason, "%s", f.reason);
}

morvel_zelp7x_board_options_s board_options(const morvel_zelp7x_flash_board_options_s &o) {
    morvel_zelp7x_board_options_s b;
    morvel_zelp7x_board_options_init(&b);
    b.port = o.port;
    b.input_freq = o.input_freq > 0 ? o.input_freq : -1;
    b.device_type = o.device_type & 0xFF;
    b.spi_default_speed = o.spi_default_speed;
    b.spi_mcu_read_speed = o.spi_mcu_read_speed;
    b.spi_sample_write_speed = o.spi_sample_write_speed;
    b.spi_split = o.spi_split;
    b.spi_read_delay = o.spi_read_delay;
    b.io_report = o.io_report;
    return b;
}

// Closes what was opened of a board.
struct board_closer {
    void operator()(morvel_zelp7x_flash_board_s *b) const {
        const std::unique_ptr<morvel_zelp7x_flash_board_s> owned(b);
        morvel_zelp7x_board_close(b->board);
    }
};
using board_ptr = std::unique_ptr<morvel_zelp7x_flash_board_s, board_closer>;

// The flash's size, from its ID; a board without a flash that answers still opens.
int read_capacity(morvel_zelp7x_flash_board_s &b, morvel_zelp7x_flash_failure_s *failure) {
    morvel_zelp7x_flash_s flash{};
    flash.zelp = morvel_zelp7x_board_device(b.board);
    uint8_t vendor = 0;
    uint16_t id = 0;
    const int s = morvel_zelp7x_flash_read_id(&flash, &vendor, &id, &b.capacity, failure);
    if (s != 0) return s;
    if (vendor == 0 || vendor == 0xFF) b.capacity = 0;
    return MORVEL_ZELP_ERROR_NONE;
}

} // namespace

extern "C" {

void morvel_zelp7x_flash_board_options_init(morvel_zelp7x_flash_board_options_s *options) {
    if (options == nullptr) return;
    // zelp7x_flash's defaults, as the board library keeps them.
    morvel_zelp7x_board_options_s board;
    morvel_zelp7x_board_options_init(&board);
    *options = {};
    options->spi_default_speed = board.spi_default_speed;
    options->spi_read_delay = board.spi_read_delay;
    options->read_id = 1;
}

int morvel_zelp7x_flash_board_open_with(const morvel_zelp7x_flash_board_options_s *options,
                                        morvel_zelp7x_flash_board_s **board,
                                        morvel_zelp7x_flash_failure_s *failure) {
    if (failure != nullptr) *failure = {};
    if (board == nullptr || options == nullptr) return MORVEL_ZELP_ERROR_ARG;
    *board = nullptr;
    try {
        board_ptr b(std::make_unique<morvel_zelp7x_flash_board_s>().release());
        const morvel_zelp7x_board_options_s o = board_options(*options);
        morvel_zelp7x_board_failure_s f{};
        if (const int s = morvel_zelp7x_board_open(&o, &b->board, &f); s != 0) {
            record_board_failure(failure, f);
            return s;
        }
        if (options->read_id) {
            if (const int s = read_capacity(*b, failure); s != 0) return s;
        }
        *board = b.release();
    } catch (const std::bad_alloc &) {
        return MORVEL_ZELP_ERROR_NOMEM;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_flash_default_input_freq(int io_device_type) {
    return morvel_zelp7x_board_default_input_freq(io_device_type);
}

int morvel_zelp7x_flash_board_open(const char *port, int input_freq,
                                   morvel_zelp7x_flash_board_s **board,
                                   morvel_zelp7x_flash_failure_s *failure) {
    morvel_zelp7x_flash_board_options_s options;
    morvel_zelp7x_flash_board_options_init(&options);
    options.port = port;
    options.input_freq = input_freq;
    return morvel_zelp7x_flash_board_open_with(&options, board, failure);
}

morvel_zelp_device_s *morvel_zelp7x_flash_board_device(const morvel_zelp7x_flash_board_s *board) {
    return board != nullptr ? morvel_zelp7x_board_device(board->board) : nullptr;
}

void morvel_zelp7x_flash_board_session(const morvel_zelp7x_flash_board_s *board,
                                       morvel_zelp7x_flash_s *flash) {
    if (flash == nullptr) return;
    *flash = {};
    if (board == nullptr) return;
    flash->zelp = morvel_zelp7x_board_device(board->board);
    flash->path = MORVEL_ZELP7X_FLASH_PATH_MSPI;
    flash->capacity = board->capacity;
}

void morvel_zelp7x_flash_board_close(morvel_zelp7x_flash_board_s *board) {
    if (board != nullptr) board_closer{}(board);
}

} // extern "C"
