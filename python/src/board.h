// zelp7x.Board: one evaluation board opened as zelp7x_host opens it, with the host tool's
// commands as methods. Every call that talks to a board lets go of the interpreter lock and
// takes the library lock instead: the device library has no locks of its own and keeps
// process-wide counters, so one board call runs at a time in the process.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "board_log.h"
#include "failure.h"
#include "morvel_host/morvel_zelp7x_host.h"

namespace zelp7x_py {

namespace py = pybind11;

// The lock every library call on any board runs under. Recursive, so that a board a progress
// callback lets go of closes; every other call from inside a board call is refused.
std::recursive_mutex &library_lock();

// The class names the chip stores, one NUL after each, as a list; the padding after the last is
// no name.
py::list label_names(const uint8_t *bytes, size_t size);

// Marks this thread as inside a board call for its lifetime; a board call made from inside one
// (a progress callback calling the board) raises RuntimeError instead of running half way
// through the first.
class board_call_scope {
  public:
    board_call_scope();
    ~board_call_scope();
    board_call_scope(const board_call_scope &) = delete;
    board_call_scope &operator=(const board_call_scope &) = delete;

    // Whether this thread is inside a board call.
    static bool active();
};

class Board {
  public:
    Board(std::optional<std::string> port, const std::string &mode, std::optional<int> input_freq,
          std::optional<unsigned int> device_type);
    ~Board();
    Board(const Board &) = delete;
    Board &operator=(const Board &) = delete;

    void close();
    bool closed() const { return closed_; }
    const std::optional<std::string> &port() const { return port_; }
    // <zelp7x.Board port='...' device_type=0x20 firmware=running>: what a notebook shows.
    py::str repr();

    size_t load(const py::object &package, size_t chunk);
    py::dict info();
    py::dict posterior(std::optional<uint32_t> state, std::optional<uint32_t> class_index);
    py::object extract(const std::string &kind, const std::string &start,
                       std::optional<size_t> count);
    // The tank for `seconds` without a break (record.cpp): (Audio, gaps).
    py::tuple record(double seconds, const std::string &start);
    py::dict gpio(std::optional<std::pair<uint32_t, uint32_t>> outputs,
                  std::optional<std::pair<uint32_t, uint32_t>> values,
                  std::optional<bool> input_enable);
    py::bytes serial(const std::string &interface, uint32_t address, const py::bytes &out,
                     size_t in_count);
    py::dict status(bool clear);

    // The flash behind the chip, over the flash library (flash.cpp).
    py::dict flash_id();
    void erase(uint32_t address, uint32_t count);
    py::object write(uint32_t address, const py::object &data, bool skip_unchanged,
                     const py::object &progress);
    py::bytes read(uint32_t address, uint32_t count);
    py::dict verify(uint32_t address, const py::object &data);
    // A whole zelp7x_flash run, the flash library's job (flash.cpp).
    py::dict flash_job(const py::object &write, uint32_t address, std::optional<int64_t> count,
                       bool erase, bool erase_chip, bool three_byte, bool dongle, bool checksum,
                       bool read, const py::object &verify, bool bridge, bool skip_unchanged,
                       const py::object &progress);

    // Runs `f(host)` on the open board's session without the interpreter lock and under the
    // library lock; its status fails `step`. The board is looked at under the lock too, as another
    // thread may close it meanwhile.
    template <typename F>
    void on_board(const char *step, F &&f) {
        int status = 0;
        bool open = true;
        std::string reason;
        {
            const board_call_scope scope;
            py::gil_scoped_release unlocked;
            const std::lock_guard lock(library_lock());
            if (session_ != nullptr) {
                log_->start_call();
                status = f(session_.get());
                if (status != 0) reason = log_->reason();
            } else {
                open = false;
            }
        }
        if (!open) throw py::value_error("the board is closed");
        check(step, status, reason);
    }

  private:
    void release();

    std::optional<std::string> port_;
    // Takes the board's lines until the session is closed, so it outlives it.
    std::unique_ptr<board_log> log_ = std::make_unique<board_log>();
    struct host_closer {
        void operator()(morvel_zelp7x_host_s *h) const { morvel_zelp7x_host_close(h); }
    };
    std::unique_ptr<morvel_zelp7x_host_s, host_closer> session_; // under the library lock
    std::atomic<bool> closed_ = false;
};

} // namespace zelp7x_py
