// A byte port that records every call the board I/O layer makes and answers from a queue, so
// tests can check packets byte for byte.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "byte_port.h"
#include "morvel_evb_io.h"
#include "zelp_linux_io.h"

namespace ztest {

struct PortLog {
    std::vector<std::vector<uint8_t>> writes; // the bytes of each write call, in order
    std::deque<uint8_t> input;                // what reads hand out
    // Answers that arrive after write calls, one per call: purges do not reach them early.
    std::deque<std::vector<uint8_t>> replies;
    int purges = 0;
    int reads = 0;
    bool closed = false;
    bool dead = false;   // every call fails as on an unplugged device
    int close_error = 0; // when nonzero, closing fails with this errno
    int write_cap = -1;  // when >= 0, a write call moves at most this many bytes
    size_t read_cap = 0; // when > 0, a read call moves at most this many bytes
    // Called after each write, e.g. to queue the answer a bridge would give.
    std::function<void(std::span<const uint8_t> written, PortLog &log)> on_write;

    // Everything written, in one piece.
    std::vector<uint8_t> written() const;
    void reply(std::vector<uint8_t> bytes) { replies.push_back(std::move(bytes)); }
};

class RecordingPort final : public zio::BytePort {
  public:
    explicit RecordingPort(std::shared_ptr<PortLog> log) : log_(std::move(log)) {}
    int write(std::span<const uint8_t> bytes, zio::Millis limit) override;
    int read(std::span<uint8_t> bytes, zio::Millis limit) override;
    void discard_input() override;
    bool close() override;

  private:
    std::shared_ptr<PortLog> log_;
};

// A ready I/O handle over a recording port; uninit on destruction.
class RecordedIo {
  public:
    // The handle's lines go to `report` (all zero: printed).
    explicit RecordedIo(const zelp_io_report_s &report = {});
    ~RecordedIo();
    RecordedIo(const RecordedIo &) = delete;
    RecordedIo &operator=(const RecordedIo &) = delete;

    morvel_evb_io_handle_t handle() const { return handle_; }
    // Closes the handle now; its result.
    int uninit();
    PortLog &log() { return *log_; }
    // True when another thread can take the port's lock, i.e. no call left it held.
    bool lock_is_free() const;

  private:
    std::shared_ptr<PortLog> log_;
    morvel_evb_io_handle_t handle_;
};

std::vector<uint8_t> bytes_of(std::initializer_list<int> values);

} // namespace ztest
