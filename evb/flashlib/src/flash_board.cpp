// Opening a board for a host program: the board I/O layer, the device library over callbacks of
// the board's own, and the input clock, in the order the flash tool takes them.
#include <array>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "flash_session.h"
#include "morvel_devlib/morvel_zelp7x_config.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "zelp_linux_io.h"

struct morvel_zelp7x_flash_board_s {
    morvel_evb_io_handle_t io = nullptr;
    morvel_zelp_device_s *zelp = nullptr;
    uint32_t capacity = 0; // as the flash's ID gave it; 0 when not read or not known
};

namespace {

constexpr int usb_input_freq = 32768;
constexpr int spi_input_freq = 16000000;

morvel_evb_io_handle_t io_of(morvel_zelp_handle_t d) {
    return static_cast<morvel_evb_io_handle_t>(d);
}

void *board_malloc(int size) {
    return size < 0 ? nullptr : std::malloc(static_cast<size_t>(size));
}
void board_free(void *p) {
    std::free(p);
}
// Flash work posts no mailbox requests, so there is no answer to wait for.
int board_mbwait(morvel_zelp_handle_t) {
    return 0;
}
// The chip names its type in SPI register 0.
int board_get_type(morvel_zelp_handle_t d, unsigned int *type) {
    uint8_t id = 0;
    const int status = zelp_linux_io_transfer(io_of(d), 0, 0x00, nullptr, &id, 1);
    *type = id;
    return status;
}

// A type the host gives instead. The library asks through a callback that sees only the board
// I/O handle, so each of the 256 types has an answer of its own; no state is shared between
// boards.
using get_type_f = int (*)(morvel_zelp_handle_t, unsigned int *);
template <unsigned int Type>
int given_type(morvel_zelp_handle_t, unsigned int *type) {
    *type = Type;
    return 0;
}
template <size_t... Types>
constexpr std::array<get_type_f, sizeof...(Types)> given_types(std::index_sequence<Types...>) {
    return {given_type<static_cast<unsigned int>(Types)>...};
}
constexpr auto given_type_calls = given_types(std::make_index_sequence<256>{});

get_type_f type_call(unsigned int device_type) {
    const unsigned int type = device_type & 0xFF;
    return type == 0 ? board_get_type : given_type_calls[type];
}
// The board I/O layer serialises its own transfers; one board is one handle, so nothing more.
int board_no_lock(morvel_zelp_handle_t) {
    return 0;
}
int board_transfer(morvel_zelp_handle_t d, int mcu, uint32_t address, void *out, void *in,
                   unsigned int count) {
    if (count > static_cast<unsigned int>(INT_MAX)) return MORVEL_ZELP_ERROR_ARG;
    return zelp_linux_io_transfer(io_of(d), mcu, address, out, in, static_cast<int>(count));
}

// Closes what was opened of a board, in reverse order.
struct board_closer {
    void operator()(morvel_zelp7x_flash_board_s *b) const {
        std::unique_ptr<morvel_zelp7x_flash_board_s> owned(b);
        if (b->zelp != nullptr) morvel_zelp_uninit(b->zelp, 1, MORVEL_ZELP_INIT_MODE_NO_TOUCH);
        if (b->io != nullptr) zelp_linux_io_uninit(b->io);
    }
};
using board_ptr = std::unique_ptr<morvel_zelp7x_flash_board_s, board_closer>;

// The flash's size, from its ID; a board without a flash that answers still opens.
void read_capacity(morvel_zelp7x_flash_board_s &b) {
    morvel_zelp7x_flash_s flash{};
    flash.zelp = b.zelp;
    uint8_t vendor = 0;
    uint16_t id = 0;
    morvel_zelp7x_flash_failure_s failure{};
    if (morvel_zelp7x_flash_read_id(&flash, &vendor, &id, &b.capacity, &failure) != 0)
        throw zflash::flash_failure{failure.kind, failure.status, failure.step, failure.message};
    if (vendor == 0 || vendor == 0xFF) b.capacity = 0;
}

void open_steps(morvel_zelp7x_flash_board_s &b, const morvel_zelp7x_flash_board_options_s &o) {
    std::string name = o.port != nullptr ? o.port : "";
    zelp_io_init_args args{};
    args.spidev = o.port != nullptr ? name.data() : nullptr;
    args.spi_default_speed = o.spi_default_speed;
    args.spi_mcu_read_speed = o.spi_mcu_read_speed;
    args.spi_pcm_input_speed = o.spi_sample_write_speed;
    args.spi_split = o.spi_split;
    args.spi_read_delay = o.spi_read_delay;
    args.gpio = -1;
    zflash::check_call("io_init", zelp_linux_io_init(&args, &b.io));
    morvel_zelp_integration_interfaces_s iif{};
    iif.d = b.io;
    iif.malloc = board_malloc;
    iif.free = board_free;
    iif.mbwait = board_mbwait;
    iif.get_type = type_call(o.device_type);
    iif.sync = board_no_lock;
    iif.unsync = board_no_lock;
    iif.transfer = board_transfer;
    zflash::check_call("zelp_init", morvel_zelp_init(&b.zelp, &iif, MORVEL_ZELP_INIT_MODE_RESET));
    int input_freq = o.input_freq;
    if (input_freq <= 0) input_freq = morvel_zelp7x_flash_default_input_freq(args.device_type);
    morvel_zelp7x_config_s config{};
    config.set = MORVEL_ZELP7X_CONFIG_SET_INPUT_CLOCK_RATE;
    config.input_clock_rate = static_cast<unsigned int>(input_freq);
    zflash::check_call("zelp7x_config input set", morvel_zelp7x_config(b.zelp, &config));
    if (o.read_id) read_capacity(b);
}

} // namespace

extern "C" {

void morvel_zelp7x_flash_board_options_init(morvel_zelp7x_flash_board_options_s *options) {
    if (options == nullptr) return;
    *options = {};
    options->spi_default_speed = 1000000;
    options->spi_read_delay = 1;
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
        open_steps(*b, *options);
        *board = b.release();
    } catch (const zflash::flash_failure &f) {
        zflash::record_failure(failure, f);
        return f.status;
    } catch (const std::bad_alloc &) {
        return MORVEL_ZELP_ERROR_NOMEM;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

int morvel_zelp7x_flash_default_input_freq(int io_device_type) {
    return io_device_type == ZELP_IO_DEVICE_TYPE_USB ? usb_input_freq : spi_input_freq;
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
    return board != nullptr ? board->zelp : nullptr;
}

void morvel_zelp7x_flash_board_session(const morvel_zelp7x_flash_board_s *board,
                                       morvel_zelp7x_flash_s *flash) {
    if (flash == nullptr) return;
    *flash = {};
    if (board == nullptr) return;
    flash->zelp = board->zelp;
    flash->path = MORVEL_ZELP7X_FLASH_PATH_MSPI;
    flash->capacity = board->capacity;
}

void morvel_zelp7x_flash_board_close(morvel_zelp7x_flash_board_s *board) {
    if (board != nullptr) board_closer{}(board);
}

} // extern "C"
