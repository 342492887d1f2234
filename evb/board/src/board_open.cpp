// Opening and closing a board: the port chosen and opened, the device library started over the
// board's callbacks, and the chip put on its input clock.
#include <new>

#include "board_record.h"
#include "morvel_devlib/morvel_zelp7x_config.h"
#include "morvel_devlib/morvel_zelp_error.h"

namespace {

constexpr int usb_input_freq = 32768;
constexpr int spi_input_freq = 16000000;

constexpr const char *io_step = "io_init";
constexpr const char *init_step = "zelp_init";
constexpr const char *clock_step = "zelp7x_config input set";

struct step_failure {
    const char *step;
    int status;
    std::string reason;
};

void check(const char *step, int status) {
    if (status != 0) throw step_failure{step, status, ""};
}

bool firmware_runs(const morvel_zelp7x_device_s &z) {
    return z.fw_loaded != 0 || z.fw_state_addr != 0;
}

// A configuration call with only the input clock flagged, so every other setting of the chip
// stays as it is.
int set_input_clock(morvel_zelp_device_s *zelp, int input_freq) {
    morvel_zelp7x_config_s config{};
    config.set = MORVEL_ZELP7X_CONFIG_SET_INPUT_CLOCK_RATE;
    config.input_clock_rate = static_cast<unsigned int>(input_freq);
    return morvel_zelp7x_config(zelp, &config);
}

void say(const morvel_zelp7x_board_options_s &o, const std::string &line) {
    if (!line.empty() && o.message != nullptr) o.message(line.c_str(), o.message_user);
}

void open_io(morvel_zelp7x_board_s &b, const morvel_zelp7x_board_options_s &o) {
    zboard::port_choice choice = zboard::choose_port(o.port);
    say(o, choice.note);
    if (choice.status != 0) throw step_failure{io_step, choice.status, choice.note};
    b.port = choice.port.value_or("");
    zelp_io_init_args args{};
    args.spidev = choice.port ? b.port.data() : nullptr;
    args.spi_default_speed = o.spi_default_speed;
    args.spi_mcu_read_speed = o.spi_mcu_read_speed;
    args.spi_pcm_input_speed = o.spi_sample_write_speed;
    args.spi_split = o.spi_split;
    args.spi_read_delay = o.spi_read_delay;
    args.gpio = -1;
    args.usb_int_enable = o.usb_interrupts != 0 ? 1 : 0;
    args.report = zboard::io_report_of(b, o.io_report);
    if (const int s = zelp_linux_io_init(&args, &b.io); s != 0)
        throw step_failure{io_step, s, b.lines.reason};
    b.io_device_type = args.device_type;
    b.input_freq =
        o.input_freq >= 0 ? o.input_freq : morvel_zelp7x_board_default_input_freq(args.device_type);
}

void start_library(morvel_zelp7x_board_s &b) {
    b.zelp.reset(static_cast<morvel_zelp_device_s *>(std::calloc(1, sizeof(morvel_zelp_device_s))));
    if (!b.zelp) throw step_failure{init_step, MORVEL_ZELP_ERROR_NOMEM, ""};
    morvel_zelp_integration_interfaces_s iif = zboard::interfaces_of(b);
    morvel_zelp_device_s *zelp = b.zelp.get();
    // The library keeps its own copy of the record inside the handle.
    check(init_step, morvel_zelp_init(&zelp, &iif, b.init_mode));
}

void open_steps(morvel_zelp7x_board_s &b, const morvel_zelp7x_board_options_s &o) {
    b.device_type = o.device_type;
    b.init_mode = o.init_mode;
    b.clock = o.clock;
    b.wait_for_answers = o.wait_for_answers != 0;
    open_io(b, o);
    start_library(b);
    if (b.clock == MORVEL_ZELP7X_BOARD_CLOCK_AT_OPEN) {
        check(clock_step, set_input_clock(b.zelp.get(), b.input_freq));
    } else {
        b.clock_due = b.init_mode != MORVEL_ZELP_INIT_MODE_NO_TOUCH;
        check(clock_step, morvel_zelp7x_board_settle_clock(&b));
    }
    // From here the board may go to other threads, whose lines only pass.
    b.lines.opening = false;
}

// Closes what was opened of a board, whatever step it reached.
struct board_closer {
    void operator()(morvel_zelp7x_board_s *b) const { morvel_zelp7x_board_close(b); }
};

} // namespace

extern "C" {

void morvel_zelp7x_board_options_init(morvel_zelp7x_board_options_s *options) {
    if (options == nullptr) return;
    *options = {};
    options->spi_default_speed = 1000000;
    options->spi_read_delay = 1;
    options->input_freq = -1;
    options->init_mode = MORVEL_ZELP_INIT_MODE_RESET;
    options->clock = MORVEL_ZELP7X_BOARD_CLOCK_AT_OPEN;
}

int morvel_zelp7x_board_open(const morvel_zelp7x_board_options_s *options,
                             morvel_zelp7x_board_s **board,
                             morvel_zelp7x_board_failure_s *failure) {
    zboard::fill_failure(failure, nullptr, 0, "");
    if (board == nullptr || options == nullptr) {
        zboard::fill_failure(failure, io_step, MORVEL_ZELP_ERROR_ARG, "");
        return MORVEL_ZELP_ERROR_ARG;
    }
    *board = nullptr;
    std::unique_ptr<morvel_zelp7x_board_s, board_closer> b;
    try {
        b.reset(std::make_unique<morvel_zelp7x_board_s>().release());
        open_steps(*b, *options);
    } catch (const step_failure &f) {
        zboard::fill_failure(failure, f.step, f.status, f.reason);
        return f.status;
    } catch (const std::bad_alloc &) {
        zboard::fill_failure(failure, io_step, MORVEL_ZELP_ERROR_NOMEM, "");
        return MORVEL_ZELP_ERROR_NOMEM;
    }
    *board = b.release();
    return MORVEL_ZELP_ERROR_NONE;
}

void morvel_zelp7x_board_close(morvel_zelp7x_board_s *board) {
    if (board == nullptr) return;
    const std::unique_ptr<morvel_zelp7x_board_s> owned(board);
    // NO_TOUCH: the chip stays as the host left it; only the handle is given back.
    if (board->zelp && board->zelp->init)
        morvel_zelp_uninit(board->zelp.get(), 0, MORVEL_ZELP_INIT_MODE_NO_TOUCH);
    board->zelp.reset();
    if (board->io != nullptr) zelp_linux_io_uninit(board->io);
}

morvel_zelp_device_s *morvel_zelp7x_board_device(const morvel_zelp7x_board_s *board) {
    return board != nullptr ? board->zelp.get() : nullptr;
}

morvel_evb_io_handle_t morvel_zelp7x_board_io(const morvel_zelp7x_board_s *board) {
    return board != nullptr ? board->io : nullptr;
}

const char *morvel_zelp7x_board_port(const morvel_zelp7x_board_s *board) {
    return board != nullptr ? board->port.c_str() : nullptr;
}

int morvel_zelp7x_board_input_freq(const morvel_zelp7x_board_s *board) {
    return board != nullptr ? board->input_freq : 0;
}

int morvel_zelp7x_board_settle_clock(morvel_zelp7x_board_s *board) {
    if (board == nullptr || !board->zelp) return MORVEL_ZELP_ERROR_ARG;
    const morvel_zelp7x_device_s &z = board->zelp->d.zelp7x;
    if (!board->clock_due || (z.secured && !firmware_runs(z))) return MORVEL_ZELP_ERROR_NONE;
    board->clock_due = false;
    return set_input_clock(board->zelp.get(), board->input_freq);
}

morvel_evb_io_handle_t morvel_zelp7x_board_device_io(const morvel_zelp_device_s *zelp) {
    if (zelp == nullptr) return nullptr;
    if (const morvel_zelp7x_board_s *b = zboard::board_of(zelp)) return b->io;
    return static_cast<morvel_evb_io_handle_t>(zelp->iif.d);
}

int morvel_zelp7x_board_default_input_freq(int io_device_type) {
    return io_device_type == ZELP_IO_DEVICE_TYPE_USB ? usb_input_freq : spi_input_freq;
}

} // extern "C"
