// The state behind one opened board, and the hooks tests use to reach it.
#pragma once

#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "byte_port.h"
#include "hid_device.h"
#include "io_report.h"
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
// a read into the caller's buffer is sent without waiting for its answer. The answers form a
// sliding window: once `depth` of them are outstanding the oldest is taken, so the next request
// goes out while the others are still on their way. Any other answer first takes all that are
// pending, in order, and so does the end. The input is purged when the window opens and not
// again until it has drained: a purge in between would throw away answers on their way.
struct Pipeline {
    int depth = 0; // 0: every answer is taken before the next packet
    bool active = false;
    std::span<uint8_t> deferrable;
    bool window_open = false;
    struct Pending {
        std::span<uint8_t> into;
        AnswerKind kind;
    };
    std::deque<Pending> pending; // requests sent whose answers are not taken yet, oldest first
    // The first answer that failed since begin; the end reports it again, so a caller that looks
    // only at the end's result does not take a failed read for a good one.
    int failure = 0;
};

} // namespace zio

struct zelp_win32_io_state_s {
    std::unique_ptr<zio::BytePort> spifd;       // closed: null
    int usb_dev_spi = 0;                        // 1 once the port is open and its speeds are set
    std::unique_ptr<zio::HidDevice> hid_handle; // closed: null
    zio::WaitLock rx_mutex;                     // serialises interrupt waits
    zio::SerialLock serial_mutex;               // serialises whole packet exchanges
    int vendor = 0;
    // The serial device as it was opened, which ties the board to its raw HID function; empty for
    // a byte stream a host brought.
    std::string port;
    // Bound on the wait for one whole answer, so a silent bridge fails instead of hanging: a fixed
    // part plus time for each byte, enough for the chip's SPI link at 100 kbit/s.
    zio::Millis answer_limit{3000};
    std::chrono::microseconds answer_time_per_byte{80};
    // Bound on moving one packet out; a port nobody drains must not hang the caller either.
    zio::Millis send_limit{3000};
    zio::Pipeline pipeline;
    zio::Reporter report; // where this board's lines go, as the host said at init
};

namespace zio {

// A ready record around `port`, as init leaves it but without any bytes sent, its lines going to
// `report`. For tests and for hosts that bring their own byte stream. Null when out of memory.
morvel_evb_io_handle_t io_open_with_port(std::unique_ptr<BytePort> port,
                                         const zelp_io_report_s &report = {});

void set_answer_limit(morvel_evb_io_handle_t d, Millis limit);

// What the board parameter pipeline=N sets at init.
void set_pipeline_depth(morvel_evb_io_handle_t d, int depth);

// The simulated board behind a "sim" port, or null for any other port.
zsim::Board *sim_board(morvel_evb_io_handle_t d);

} // namespace zio
