// Opening the board, waiting for its interrupt and closing it.
#include <array>
#include <memory>
#include <new>
#include <string>
#include <system_error>

#include "io_internal.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "zelp_linux_io.h"

namespace {

using StatePtr = std::unique_ptr<zelp_win32_io_state_s>;

// Room for any device path the search can report.
constexpr size_t kPortNameSize = 256;

constexpr const char *kInterruptSetUpFailed = "error initializing for interrupt over USB";

StatePtr allocate_state(int &status, const zio::Reporter &report) {
    try {
        status = MORVEL_ZELP_ERROR_NONE;
        auto state = std::make_unique<zelp_win32_io_state_s>();
        state->report = report;
        return state;
    } catch (const std::bad_alloc &) {
        status = MORVEL_ZELP_ERROR_NOMEM;
    } catch (const std::system_error &e) {
        report.reason("CreateMutex error: " + std::to_string(e.code().value()));
        status = MORVEL_ZELP_ERROR_FAIL;
    }
    return nullptr;
}

bool port_name_accepted(const std::string &name) {
    return zio::is_sim_port_name(name) || zio::is_rfc2217_port_name(name) ||
           !zio::serial_device_path(name).empty();
}

// The part of a port name before its board parameters.
std::string port_of(const std::string &name) {
    return name.substr(0, name.find(','));
}

// After the board I/O layer's own line, the device and the system's reason, and for missing
// rights what mends them.
void report_open_failure(const zio::Reporter &report, const std::string &path,
                         const zio::OpenFailure &failure) {
    report.reason("cannot open " + path + ": " + failure.reason);
    if (!failure.permission) return;
    // Joining the owning group helps only where that group may read and write the device.
    if (failure.group_may_open)
        report.advice("install the udev rules (60-zelp7x.rules) or join the group that owns " +
                      path + " (" + failure.group + "), then log in again");
    else
        report.advice("install the udev rules (60-zelp7x.rules), then unplug and replug the board");
}

int open_sim(zelp_win32_io_state_s &state, const std::string &name) {
    std::string reason;
    state.spifd = zio::open_sim_port(name, reason);
    if (!state.spifd) {
        state.report.reason(reason);
        return MORVEL_ZELP_ERROR_ARG;
    }
    return MORVEL_ZELP_ERROR_NONE;
}

// A device or connection that did not open is reported as a serial device always was: the
// layer's own line, then what did not open and why.
int take_port(zelp_win32_io_state_s &state, std::unique_ptr<zio::BytePort> port,
              const std::string &name, const zio::OpenFailure &failure) {
    state.spifd = std::move(port);
    if (state.spifd) return MORVEL_ZELP_ERROR_NONE;
    state.report.error("Error in opening serial port");
    report_open_failure(state.report, name, failure);
    return MORVEL_ZELP_ERROR_FAIL;
}

// A network port fails to open as a serial device does, naming the host and the port.
int open_network(zelp_win32_io_state_s &state, const std::string &name) {
    std::string reason;
    if (!zio::check_rfc2217_name(name, reason)) {
        state.report.reason(reason);
        return MORVEL_ZELP_ERROR_ARG;
    }
    zio::OpenFailure failure;
    auto port = zio::open_rfc2217_port(name, &failure);
    return take_port(state, std::move(port), name, failure);
}

int open_serial(zelp_win32_io_state_s &state, const std::string &name) {
    const std::string path = zio::serial_device_path(name);
    zio::OpenFailure failure;
    auto port = zio::open_serial_port(path, &failure);
    return take_port(state, std::move(port), path, failure);
}

int open_port(zelp_win32_io_state_s &state, const std::string &name) {
    if (zio::is_sim_port_name(name)) return open_sim(state, name);
    if (zio::is_rfc2217_port_name(name)) return open_network(state, name);
    return open_serial(state, name);
}

// The interrupt report comes on the bridge's raw HID function, which stays on the machine the
// bridge is plugged into: a network port has none to wait on.
int refuse_remote_interrupt(const zio::Reporter &report, const std::string &name) {
    report.reason(port_of(name) +
                  ": the bridge's interrupt report (its raw HID function) does not travel over "
                  "RFC 2217");
    report.error(kInterruptSetUpFailed);
    return MORVEL_ZELP_ERROR_UNSUP;
}

int set_up(zelp_io_init_args &args, zelp_win32_io_state_s &state) {
    std::array<char, kPortNameSize> found{};
    char *name = args.spidev;
    // A name that cannot name a port on this system is refused before anything is opened.
    if (name && !port_name_accepted(name)) return MORVEL_ZELP_ERROR_ARG;
    if (name && args.usb_int_enable && zio::is_rfc2217_port_name(name))
        return refuse_remote_interrupt(state.report, name);
    if (!name) {
        uint16_t vid = 0, pid = 0;
        uint32_t kind = 0;
        if (!zio::search_supported_bridge(reinterpret_cast<uint8_t *>(found.data()), found.size(),
                                          &vid, &pid, &kind, state.report)) {
            state.report.reason("ZELP USB device not found");
            return MORVEL_ZELP_ERROR_ARG;
        }
        name = found.data();
    }
    int status =
        zelp_win32_io_usb_spi_open(name, args.spi_default_speed, args.spi_pcm_input_speed, &state);
    if (status != MORVEL_ZELP_ERROR_NONE) {
        state.report.error(std::string("error opening spi: ") + error_name(status));
        return status;
    }
    state.usb_dev_spi = 1;
    if (args.usb_int_enable) {
        status = zelp_io_usb_int_init(&state);
        if (status != MORVEL_ZELP_ERROR_NONE) {
            state.report.error(kInterruptSetUpFailed);
            return status;
        }
    }
    return MORVEL_ZELP_ERROR_NONE;
}

} // namespace

int zelp_win32_io_usb_spi_open(char *spidev, int spi_speed, int spi_pcm_input_speed,
                               zelp_win32_io_state_s *state) {
    zio::BoardParams params;
    std::string reason;
    if (!zio::parse_board_params(spidev, params, reason)) {
        state->report.reason(reason);
        return MORVEL_ZELP_ERROR_ARG;
    }
    state->pipeline.depth = params.pipeline;
    const int status = open_port(*state, params.port);
    if (status != MORVEL_ZELP_ERROR_NONE) return status;
    state->port = params.port;
    // Neither the clock commands nor the probe decide the open: a bridge that missed them still
    // carries transfers.
    zelp_win32_io_usb_serial_set_spi_speed(state, spi_speed);
    zelp_win32_io_usb_serial_set_spi_sample_reg_speed(state,
                                                      static_cast<uint32_t>(spi_pcm_input_speed));
    uint8_t device_type = 0;
    zelp_linux_io_transfer(state, 0, 0x00, nullptr, &device_type, 1);
    return MORVEL_ZELP_ERROR_NONE;
}

extern "C" {

int zelp_linux_io_init(zelp_io_init_args *init_args, morvel_evb_io_handle_t *d) {
    if (!init_args || !d) return MORVEL_ZELP_ERROR_ARG;
    const zio::Reporter report(init_args->report);
    // A host that takes the lines itself keeps its streams as they are.
    if (report.prints()) zelp_linux_io_unbuffer_stdout();
    int status = MORVEL_ZELP_ERROR_NONE;
    StatePtr state = allocate_state(status, report);
    if (!state) return status;
    status = set_up(*init_args, *state);
    if (status != MORVEL_ZELP_ERROR_NONE) {
        if (zelp_linux_io_uninit(state.release()) != MORVEL_ZELP_ERROR_NONE)
            report.error(std::string("error uninitializing linux io state on error: ") +
                         error_name(status));
        return status;
    }
    init_args->device_type = ZELP_IO_DEVICE_TYPE_USB;
    *d = state.release();
    return MORVEL_ZELP_ERROR_NONE;
}

int zelp_linux_io_wait(morvel_evb_io_handle_t d, int timeout, unsigned int) {
    if (!d || !d->usb_dev_spi || !d->hid_handle) return MORVEL_ZELP_ERROR_UNINIT;
    return zelp_win32_io_usb_wait(d, timeout);
}

int zelp_win32_io_usb_wait(morvel_evb_io_handle_t d, int timeout) {
    if (!d || !d->hid_handle) return MORVEL_ZELP_ERROR_UNINIT;
    std::lock_guard lock(d->rx_mutex);
    return d->hid_handle->wait_report(timeout, d->report);
}

int zelp_linux_io_uninit(morvel_evb_io_handle_t d) {
    if (!d) return MORVEL_ZELP_ERROR_NONE;
    const StatePtr state(d);
    int status = MORVEL_ZELP_ERROR_NONE;
    if (state->spifd) {
        if (!state->spifd->close()) {
            state->report.system_error("unable to close the SPI device");
            status = MORVEL_ZELP_ERROR_FAIL;
        }
        state->spifd.reset();
    }
    return status;
}

} // extern "C"

namespace zio {

morvel_evb_io_handle_t io_open_with_port(std::unique_ptr<BytePort> port,
                                         const zelp_io_report_s &report) {
    int status = MORVEL_ZELP_ERROR_NONE;
    StatePtr state = allocate_state(status, Reporter(report));
    if (!state) return nullptr;
    state->spifd = std::move(port);
    state->usb_dev_spi = 1;
    return state.release();
}

void set_answer_limit(morvel_evb_io_handle_t d, Millis limit) {
    if (d) d->answer_limit = limit;
}

} // namespace zio
