#include "board.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "buffer_bytes.h"

namespace zelp7x_py {

namespace {

// The host tool's limits: a chunk is an int at the library's interface, and no device behind
// the chip answers more than this in one transfer.
constexpr size_t max_chunk = INT_MAX;
constexpr size_t max_serial_in = MORVEL_ZELP7X_HOST_SERIAL_MAX;
constexpr uint32_t pins_mask = 0xFF;

// A text the chip stores, or None when no package stored it.
py::object text_or_none(const char *text, unsigned int stored) {
    if (stored == 0) return py::none();
    return py::reinterpret_steal<py::object>(
        PyUnicode_DecodeLatin1(text, static_cast<Py_ssize_t>(std::strlen(text)), nullptr));
}

// (type, argument), the type by name or, without one, its number in words.
py::tuple action_of(const morvel_zelp7x_host_action_s &a) {
    return py::make_tuple(a.name != nullptr ? std::string(a.name) : std::to_string(a.type), a.arg);
}

// (mask, bits) of eight pins each, as the changes' masks and bits.
void pins_of(const char *what, std::optional<std::pair<uint32_t, uint32_t>> setting, uint32_t &mask,
             uint32_t &bits) {
    if (!setting) return;
    if (setting->first > pins_mask || setting->second > pins_mask)
        throw py::value_error(std::string(what) + ": mask and bits are 8-bit numbers");
    mask = setting->first;
    bits = setting->second;
}

// What a firmware that runs takes at most to answer, as info() waits for it.
constexpr unsigned int firmware_answer_ms = 250;

py::dict direction(uint32_t req, uint32_t rsp, uint32_t unexpected, uint32_t error) {
    py::dict d;
    d["requests"] = req;
    d["responses"] = rsp;
    d["unexpected"] = unexpected;
    d["errors"] = error;
    return d;
}

} // namespace

py::list label_names(const uint8_t *bytes, size_t size) {
    py::list names;
    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) continue;
        if (i > start)
            names.append(
                py::str(PyUnicode_DecodeLatin1(reinterpret_cast<const char *>(bytes) + start,
                                               static_cast<Py_ssize_t>(i - start), nullptr)));
        start = i + 1;
    }
    return names;
}

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

bool board_call_scope::active() {
    return inside_board_call;
}

Board::Board(std::optional<std::string> port, const std::string &mode,
             std::optional<int> input_freq, std::optional<unsigned int> device_type)
    : port_(std::move(port)) {
    morvel_zelp7x_board_options_s options;
    morvel_zelp7x_host_options_init(&options);
    if (morvel_zelp7x_host_init_mode_named(mode.c_str(), &options.init_mode) != 0)
        throw py::value_error("mode must be 'reset', 'restart', 'no-touch' or 'reset-secured'");
    if (input_freq && *input_freq < 0) throw py::value_error("input_freq must not be negative");
    if (device_type && *device_type > 0xFF) throw py::value_error("device_type is one byte");
    options.port = port_ ? port_->c_str() : nullptr;
    options.input_freq = input_freq.value_or(-1);
    options.device_type = device_type.value_or(0);
    options.message = board_log::message;
    options.io_report = log_->io_report();
    morvel_zelp7x_host_s *host = nullptr;
    morvel_zelp7x_board_failure_s failure{};
    int status = 0;
    {
        const board_call_scope scope;
        py::gil_scoped_release unlocked;
        const std::lock_guard lock(library_lock());
        status = morvel_zelp7x_host_open(&options, &host, &failure);
    }
    check("open", status, failure.reason);
    session_.reset(host);
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

// Asks the firmware, so that the state shown is the chip's now; never raises, as a repr must not.
// From inside a board call (a progress callback) the board is not asked: that call holds it.
py::str Board::repr() {
    const py::object port = port_ ? py::object(system_text(*port_)) : py::object(py::none());
    if (closed_) return py::str("<zelp7x.Board port={!r} closed>").format(port);
    unsigned int type = 0;
    int answers = -1;
    if (!board_call_scope::active()) {
        py::gil_scoped_release unlocked;
        const std::lock_guard lock(library_lock());
        if (session_ != nullptr) {
            morvel_zelp7x_board_s *board = morvel_zelp7x_host_board(session_.get());
            type = morvel_zelp7x_board_device(board)->device_type;
            if (morvel_zelp7x_board_probe_firmware(board, firmware_answer_ms, &answers) != 0)
                answers = -1;
        }
    }
    static constexpr const char *states[] = {"unknown", "stopped", "running"};
    return py::str("<zelp7x.Board port={!r} device_type={} firmware={}>")
        .format(port, type != 0 ? py::str("{:#04x}").format(type) : py::str("unknown"),
                states[answers + 1]);
}

size_t Board::load(const py::object &package, size_t chunk) {
    if (chunk < 1 || chunk > max_chunk) throw py::value_error("chunk must be 1 to 2**31 - 1");
    size_t loaded = 0;
    if (!names_file(package)) {
        const std::vector<uint8_t> copy = bytes_of(package);
        on_board("load", [&](morvel_zelp7x_host_s *h) {
            return morvel_zelp7x_host_load(h, copy.data(), copy.size(), chunk, &loaded);
        });
        return loaded;
    }
    const std::string path = path_of(package);
    morvel_zelp7x_host_input_s input{};
    on_board("load", [&](morvel_zelp7x_host_s *h) {
        const int st = morvel_zelp7x_host_load_file(h, path.c_str(), chunk, &loaded, &input);
        return input.result != MORVEL_ZELP7X_HOST_INPUT_READ ? 0 : st;
    });
    if (input.result != MORVEL_ZELP7X_HOST_INPUT_READ) raise_os_error(path, input.system_error);
    return loaded;
}

py::dict Board::info() {
    const auto c = std::make_unique<morvel_zelp7x_host_info_s>();
    on_board("info", [&](morvel_zelp7x_host_s *h) { return morvel_zelp7x_host_info(h, c.get()); });
    py::dict d;
    d["device_type"] = c->device_type;
    d["secured"] = c->secured != 0;
    d["firmware_running"] = c->firmware_running != 0;
    d["firmware_version"] = text_or_none(c->firmware_version, c->firmware_version_len);
    d["parameters_version"] = text_or_none(c->parameters_version, c->parameters_version_len);
    d["package_version"] = text_or_none(c->package_version, c->package_version_len);
    d["labels"] = label_names(c->labels, c->labels_read);
    return d;
}

py::dict Board::posterior(std::optional<uint32_t> state, std::optional<uint32_t> class_index) {
    if (class_index && !state) throw py::value_error("a class is one of a state's: give state too");
    morvel_zelp7x_posterior_config_s c{};
    on_board("posterior", [&](morvel_zelp7x_host_s *h) {
        return morvel_zelp7x_host_posterior(h, state ? &*state : nullptr,
                                            class_index ? &*class_index : nullptr, &c);
    });
    py::dict d;
    d["states"] = c.states;
    d["classes"] = c.classes;
    d["type"] = c.ph_type;
    morvel_zelp7x_host_action_s action{};
    if (state) {
        py::dict st;
        st["index"] = c.state;
        st["timeout"] = c.timeout;
        morvel_zelp7x_host_state_timeout_action(&c, &action);
        st["timeout_action"] = action_of(action);
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
        morvel_zelp7x_host_class_action(&c, &action);
        cl["action"] = action_of(action);
        d["class"] = cl;
    }
    return d;
}

py::dict Board::gpio(std::optional<std::pair<uint32_t, uint32_t>> outputs,
                     std::optional<std::pair<uint32_t, uint32_t>> values,
                     std::optional<bool> input_enable) {
    morvel_zelp7x_host_pins_s changes{};
    pins_of("outputs", outputs, changes.outputs_mask, changes.outputs);
    pins_of("values", values, changes.values_mask, changes.values);
    changes.set_input_enable = input_enable.has_value();
    changes.input_enable = input_enable.value_or(false) ? 1 : 0;
    morvel_zelp7x_host_pin_state_s state{};
    on_board("gpio",
             [&](morvel_zelp7x_host_s *h) { return morvel_zelp7x_host_gpio(h, &changes, &state); });
    py::dict d;
    d["outputs"] = state.outputs;
    d["values"] = state.values;
    d["input_enable"] = state.input_enable != 0;
    return d;
}

py::bytes Board::serial(const std::string &interface, uint32_t address, const py::bytes &out,
                        size_t in_count) {
    unsigned int ifc = 0;
    if (morvel_zelp7x_host_serial_interface_named(interface.c_str(), &ifc) != 0)
        throw py::value_error("interface must be 'i2c' or 'spi0' to 'spi3'");
    if (in_count > max_serial_in) throw py::value_error("read at most 65536 bytes");
    const std::string out_bytes = out;
    if (out_bytes.size() > max_serial_in) throw py::value_error("write at most 65536 bytes");
    const std::vector<uint8_t> o(out_bytes.begin(), out_bytes.end());
    std::vector<uint8_t> in(in_count);
    on_board("serial", [&](morvel_zelp7x_host_s *h) {
        return morvel_zelp7x_host_serial(h, ifc, address, o.data(), static_cast<uint32_t>(o.size()),
                                         in.data(), static_cast<uint32_t>(in.size()));
    });
    return py::bytes(reinterpret_cast<const char *>(in.data()), in.size());
}

py::dict Board::status(bool clear) {
    morvel_zelp7x_status_s st{};
    on_board("status",
             [&](morvel_zelp7x_host_s *h) { return morvel_zelp7x_host_status(h, clear, &st); });
    py::dict d;
    d["h2m"] = direction(st.h2m_mailbox_req, st.h2m_mailbox_rsp, st.h2m_mailbox_unexpected,
                         st.h2m_mailbox_error);
    d["m2h"] = direction(st.m2h_mailbox_req, st.m2h_mailbox_rsp, st.m2h_mailbox_unexpected,
                         st.m2h_mailbox_error);
    d["missed_frames"] = st.missed_frames;
    return d;
}

} // namespace zelp7x_py
