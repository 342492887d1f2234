// Board's flash calls: the flash behind the chip through the flash library, over the chip's MSPI
// registers, on the board's own device handle and under the library lock like every board call.
#include <cstdint>
#include <optional>
#include <vector>

#include "board.h"
#include "buffer_bytes.h"
#include "morvel_flash/morvel_zelp7x_flash.h"

namespace zelp7x_py {

namespace {

// What 3-byte flash addresses reach; a range past it is refused before any buffer is made.
constexpr uint64_t flash_limit = uint64_t{1} << 24;

void check_range(uint32_t address, uint64_t count) {
    if (address + count > flash_limit) throw py::value_error("the range goes beyond 16 MiB");
}

uint32_t checked_size(uint32_t address, const std::vector<uint8_t> &data) {
    check_range(address, data.size());
    return static_cast<uint32_t>(data.size());
}

// Carries the library's progress into a Python callable, which runs with the interpreter lock
// taken back. The flash operation cannot be stopped half way, so an exception the callable
// raises ends its calls and is raised once the operation is over.
struct progress_relay {
    py::object callable;
    std::optional<py::error_already_set> raised;

    static void call(const char *phase, double fraction, void *user) {
        auto &relay = *static_cast<progress_relay *>(user);
        const py::gil_scoped_acquire held;
        if (relay.raised) return;
        try {
            relay.callable(phase, fraction);
        } catch (py::error_already_set &e) {
            relay.raised = std::move(e);
        }
    }
};

py::dict stats_of(const morvel_zelp7x_flash_write_stats_s &st) {
    py::dict d;
    d["sectors"] = st.sectors;
    d["unchanged"] = st.sectors_unchanged;
    d["erased"] = st.sectors_erased;
    d["pages"] = st.pages_programmed;
    return d;
}

} // namespace

// Runs `f(flash, failure)` as a board call; a failure raises zelp7x.Error with the flash
// library's message.
template <typename F>
void on_flash(Board &board, const char *step, F &&f, progress_relay *relay = nullptr) {
    morvel_zelp7x_flash_failure_s failure{};
    try {
        board.on_board(step, [&](morvel_zelp7x_host_s *h) {
            morvel_zelp7x_flash_s flash{};
            flash.zelp = morvel_zelp7x_board_device(morvel_zelp7x_host_board(h));
            flash.path = MORVEL_ZELP7X_FLASH_PATH_MSPI;
            if (relay != nullptr) {
                flash.progress = &progress_relay::call;
                flash.progress_user = relay;
            }
            return f(flash, failure);
        });
    } catch (board_failure &e) {
        e.message = failure.message;
        throw;
    }
}

py::dict Board::flash_id() {
    uint8_t vendor = 0;
    uint16_t device = 0;
    uint32_t capacity = 0;
    on_flash(*this, "flash_id", [&](auto &flash, auto &failure) {
        return morvel_zelp7x_flash_read_id(&flash, &vendor, &device, &capacity, &failure);
    });
    py::dict d;
    d["vendor"] = vendor;
    d["device_id"] = device;
    d["capacity"] = capacity != 0 ? py::int_(capacity) : py::object(py::none());
    return d;
}

void Board::erase(uint32_t address, uint32_t count) {
    check_range(address, count);
    on_flash(*this, "erase", [&](auto &flash, auto &failure) {
        return morvel_zelp7x_flash_erase(&flash, address, count, &failure);
    });
}

py::object Board::write(uint32_t address, const py::object &data, bool skip_unchanged,
                        const py::object &progress) {
    const std::vector<uint8_t> bytes = bytes_or_file(data);
    const uint32_t count = checked_size(address, bytes);
    progress_relay relay{progress, std::nullopt};
    morvel_zelp7x_flash_write_options_s options{};
    options.skip_unchanged = skip_unchanged ? 1 : 0;
    morvel_zelp7x_flash_write_stats_s stats{};
    on_flash(
        *this, "write",
        [&](auto &flash, auto &failure) {
            return morvel_zelp7x_flash_write(&flash, address, bytes.data(), count, &options, &stats,
                                             &failure);
        },
        progress.is_none() ? nullptr : &relay);
    if (relay.raised) throw *relay.raised;
    // Only the changed-only write counts what it did.
    return skip_unchanged ? py::object(stats_of(stats)) : py::object(py::none());
}

py::bytes Board::read(uint32_t address, uint32_t count) {
    check_range(address, count);
    std::vector<uint8_t> buf(count);
    on_flash(*this, "read", [&](auto &flash, auto &failure) {
        return morvel_zelp7x_flash_read(&flash, address, buf.data(), count, &failure);
    });
    return {reinterpret_cast<const char *>(buf.data()), buf.size()};
}

py::dict Board::verify(uint32_t address, const py::object &data) {
    const std::vector<uint8_t> bytes = bytes_or_file(data);
    const uint32_t count = checked_size(address, bytes);
    morvel_zelp7x_flash_verify_s result{};
    on_flash(*this, "verify", [&](auto &flash, auto &failure) {
        return morvel_zelp7x_flash_verify(&flash, address, bytes.data(), count, &result, &failure);
    });
    py::dict d;
    d["differences"] = result.differences;
    d["first_difference"] =
        result.differences != 0 ? py::int_(result.first_difference) : py::object(py::none());
    return d;
}

} // namespace zelp7x_py
