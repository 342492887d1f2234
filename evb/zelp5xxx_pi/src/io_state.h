// The state behind one opened board, and the hooks tests use to reach it.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "byte_port.h"
#include "hid_device.h"
#include "morvel_evb_io.h"
#ifdef _WIN32
#include "win32/os_locks.h"
#else
#include "linux/os_locks.h"
#endif

namespace zsim {
class Board;
}

namespace zio {

// Whose answer a packet waits for decides how its failure is reported.
enum class AnswerKind { register_read, bridge_command };

// Pipelined reads (board parameter pipeline=N). Between zelp_linux_io_pipeline_begin and _end,
// a read into the caller's buffer is sent without waiting for its answer; the answers are taken
// in order once `depth` of them are outstanding, before any other answer, and at the end. The
// input is purged once per batch: a purge in between would throw away answers on their way.
struct Pipeline {
    int depth = 0; // 0: every answer is taken before the next packet
    bool active = false;
    std::span<uint8_t> deferrable;
    bool batch_open = false;
    struct Pending {
        std::span<uint8_t> into;
        AnswerKind kind;
    };
    std::vector<Pending> pending;
};

} // namespace zio

struct zelp_win32_io_state_s {
    std::unique_ptr<zio::BytePort> spifd;       // closed: null
    int usb_dev_spi = 0;                        // 1 once the port is open and its speeds are set
    std::unique_ptr<zio::HidDevice> hid_handle; // closed: null
    zio::WaitLock rx_mutex;                     // serialises interrupt waits
    zio::SerialLock serial_mutex;               // serialises whole packet exchanges
    int vendor = 0;
    // Bound on the wait for one whole answer, so a silent bridge fails instead of hanging: a fixed
    // part plus time for each byte, enough for the chip's SPI link at 100 kbit/s.
    zio::Millis answer_limit{3000};
    std::chrono::microseconds answer_time_per_byte{80};
    // Bound on moving one packet out; a port nobody drains must not hang the caller either.
    zio::Millis send_limit{3000};
    zio::Pipeline pipeline;
};

namespace zio {

// A ready record around `port`, as init leaves it but without any bytes sent. For tests and for
// hosts that bring their own byte stream. Null when out of memory.
morvel_evb_io_handle_t io_open_with_port(std::unique_ptr<BytePort> port);

void set_answer_limit(morvel_evb_io_handle_t d, Millis limit);

// What the board parameter pipeline=N sets at init.
void set_pipeline_depth(morvel_evb_io_handle_t d, int depth);

// The simulated board behind a "sim" port, or null for any other port.
zsim::Board *sim_board(morvel_evb_io_handle_t d);

} // namespace zio
