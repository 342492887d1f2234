#include "board.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "buffer_bytes.h"
#include "chip_info.h"
#include "gpio_pins.h"
#include "host_command_line.h"
#include "package_load.h"
#include "posterior_tables.h"
#include "serial_transfer.h"

namespace zelp7x_py {

namespace {

// The host tool's limits: a chunk is an int at the library's interface, and no device behind
// the chip answers more than this in one transfer.
constexpr size_t max_chunk = INT_MAX;
constexpr size_t max_serial_in = size_t{1} << 16;
constexpr uint32_t pins_mask = 0xFF;

// The labels' names, one NUL after each; the padding after the last is no name.
py::list label_names(const std::vector<uint8_t> &bytes) {
    py::list names;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != 0) continue;
        if (i > start)
            names.append(
                py::str(PyUnicode_DecodeLatin1(reinterpret_cast<const char *>(bytes.data()) + start,
                                               static_cast<Py_ssize_t>(i - start), nullptr)));
        start = i + 1;
    }
    return names;
}

py::object text_or_none(const std::optional<std::string> &text) {
    if (!text) return py::none();
    return py::reinterpret_steal<py::object>(
        PyUnicode_DecodeLatin1(text->data(), static_cast<Py_ssize_t>(text->size()), nullptr));
}

py::tuple action_of(const action_text &a) {
    return py::make_tuple(a.type, a.arg);
}

std::optional<pin_setting> pins_of(const char *what,
                                   std::optional<std::pair<uint32_t, uint32_t>> setting) {
    if (!setting) return std::nullopt;
    if (setting->first > pins_mask || setting->second > pins_mask)
        throw py::value_error(std::string(what) + ": mask and bits are 8-bit numbers");
    return pin_setting{setting->first, setting->second};
}

py::dict direction(uint32_t req, uint32_t rsp, uint32_t unexpected, uint32_t error) {
    py::dict d;
    d["requests"] = req;
    d["responses"] = rsp;
    d["unexpected"] = unexpected;
    d["errors"] = error;
    return d;
}

} // namespace

std::recursive_mutex &library_lock() {
    static std::recursive_mutex lock;
    return lock;
}

namespace {
thread_local bool inside_board_call = false;
}

board_call_scope::board_call_scope() {
    if (inside_board_call)
        throw std::runtime_error("a board cannot be called from inside one of its calls");
    inside_board_call = true;
}

board_call_scope::~board_call_scope() {
    inside_board_call = false;
}

Board::Board(std::optional<std::string> port, const std::string &mode,
             std::optional<int> input_freq, std::optional<unsigned int> device_type)
    : port_(std::move(port)) {
    const auto init_mode = init_mode_named(mode);
    if (!init_mode)
        throw py::value_error("mode must be 'reset', 'restart', 'no-touch' or 'reset-secured'");
    if (input_freq && *input_freq < 0) throw py::value_error("input_freq must not be negative");
    if (device_type && *device_type > 0xFF) throw py::value_error("device_type is one byte");
    board_settings settings;
    settings.spi_dev = port_;
    settings.input_freq = input_freq.value_or(-1);
    settings.device_type = static_cast<int>(device_type.value_or(0));
    auto session = std::make_unique<host_session>();
    int status = 0;
    {
        const board_call_scope scope;
        py::gil_scoped_release unlocked;
        const std::lock_guard lock(library_lock());
        status = session->open(settings, *init_mode);
        // A failed open gives back what it had opened, under the lock as every close does.
        if (status != 0) session.reset();
    }
    check("open", status);
    session_ = std::move(session);
}

// A board a progress callback lets go of is not the one whose call runs (that call holds it), so
// closing it there is safe.
Board::~Board() {
    release();
}

void Board::close() {
    const board_call_scope scope;
    release();
}

void Board::release() {
    if (closed_.exchange(true)) return;
    py::gil_scoped_release unlocked;
    const std::lock_guard lock(library_lock());
    session_.reset();
}

size_t Board::load(const py::object &package, size_t chunk) {
    if (chunk < 1 || chunk > max_chunk) throw py::value_error("chunk must be 1 to 2**31 - 1");
    size_t loaded = 0;
    if (!names_file(package)) {
        const std::vector<uint8_t> copy = bytes_of(package);
        on_board("load", [&](host_session &s) {
            int st = load_package(s.zelp(), copy, chunk, loaded);
            // A secured chip's firmware has just started: its clock can be set now.
            return st == 0 ? s.settle_input_clock() : st;
        });
        return loaded;
    }
    const std::string path = path_of(package);
    mvpkg::input_read read{};
    on_board("load", [&](host_session &s) {
        int st = load_package_file(s.zelp(), path.c_str(), chunk, loaded, read);
        if (read.failed()) return 0;
        return st == 0 ? s.settle_input_clock() : st;
    });
    if (read.failed()) raise_unreadable(path, read);
    return loaded;
}

py::dict Board::info() {
    chip_info c;
    on_board("info", [&](host_session &s) { return read_chip_info(s.board(), c); });
    py::dict d;
    d["device_type"] = c.device_type;
    d["secured"] = c.secured;
    d["firmware_running"] = c.firmware_running;
    d["firmware_version"] = text_or_none(c.firmware_version);
    d["parameters_version"] = text_or_none(c.parameters_version);
    d["package_version"] = text_or_none(c.package_version);
    d["labels"] = label_names(c.labels);
    return d;
}

py::dict Board::posterior(std::optional<uint32_t> state, std::optional<uint32_t> class_index) {
    if (class_index && !state) throw py::value_error("a class is one of a state's: give state too");
    morvel_zelp7x_posterior_config_s c{};
    on_board("posterior", [&](host_session &s) {
        return read_posterior_tables(s.zelp(), state, class_index, c);
    });
    py::dict d;
    d["states"] = c.states;
    d["classes"] = c.classes;
    d["type"] = c.ph_type;
    if (state) {
        py::dict st;
        st["index"] = c.state;
        st["timeout"] = c.timeout;
        st["timeout_action"] = action_of(state_timeout_action(c));
        d["state"] = st;
    }
    if (class_index) {
        py::dict cl;
        cl["index"] = c.class_index;
        cl["window"] = c.window;
        cl["threshold"] = c.threshold;
        cl["backoff"] = c.backoff;
        cl["queue"] = c.smoothing_queue_size;
        cl["adaptive"] = c.adaptive_threshold_on;
        cl["action"] = action_of(class_action(c));
        d["class"] = cl;
    }
    return d;
}

py::dict Board::gpio(std::optional<std::pair<uint32_t, uint32_t>> outputs,
                     std::optional<std::pair<uint32_t, uint32_t>> values,
                     std::optional<bool> input_enable) {
    const auto outs = pins_of("outputs", outputs);
    const auto pins = pins_of("values", values);
    const std::optional<uint32_t> enable =
        input_enable ? std::optional<uint32_t>(*input_enable ? 1 : 0) : std::nullopt;
    pin_state state{};
    on_board("gpio", [&](host_session &s) {
        const int st = set_pins(s.zelp(), outs, pins, enable);
        return st == 0 ? read_pins(s.zelp(), state) : st;
    });
    py::dict d;
    d["outputs"] = state.outs;
    d["values"] = state.values;
    d["input_enable"] = state.input_enable != 0;
    return d;
}

py::bytes Board::serial(const std::string &interface, uint32_t address, const py::bytes &out,
                        size_t in_count) {
    const auto ifc = serial_interface_named(interface);
    if (!ifc) throw py::value_error("interface must be 'i2c' or 'spi0' to 'spi3'");
    if (in_count > max_serial_in) throw py::value_error("read at most 65536 bytes");
    const std::string out_bytes = out;
    if (out_bytes.size() > max_serial_in) throw py::value_error("write at most 65536 bytes");
    std::vector<uint8_t> o(out_bytes.begin(), out_bytes.end());
    std::vector<uint8_t> in(in_count);
    on_board("serial", [&](host_session &s) {
        return morvel_zelp7x_serial_transfer(s.zelp(), *ifc, address, o.data(),
                                             static_cast<unsigned int>(o.size()), in.data(),
                                             static_cast<unsigned int>(in.size()), 0);
    });
    return py::bytes(reinterpret_cast<const char *>(in.data()), in.size());
}

py::dict Board::status(bool clear) {
    morvel_zelp7x_status_s st{};
    st.set = clear ? MORVEL_ZELP7X_STATUS_SET_CLEAR : 0;
    on_board("status", [&](host_session &s) { return morvel_zelp7x_status(s.zelp(), &st); });
    py::dict d;
    d["h2m"] = direction(st.h2m_mailbox_req, st.h2m_mailbox_rsp, st.h2m_mailbox_unexpected,
                         st.h2m_mailbox_error);
    d["m2h"] = direction(st.m2h_mailbox_req, st.m2h_mailbox_rsp, st.m2h_mailbox_unexpected,
                         st.m2h_mailbox_error);
    d["missed_frames"] = st.missed_frames;
    return d;
}

} // namespace zelp7x_py
