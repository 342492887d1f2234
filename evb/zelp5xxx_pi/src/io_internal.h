// Pieces of the board I/O layer shared between its files; not for hosts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "io_state.h"
#include "zelp_linux_io.h"
#include "zelp_usb_devices.h"

// The short name of a library error code; "*unknown*" for codes without one.
const char *error_name(int e);

// Says the calling thread's last system error as "err N: text", the reason a call failed.
void print_win32_err(const zio::Reporter &report);

// The trace's hex dump: groups of 8 bytes, each line indented by four spaces.
void dump_bytes(const zio::Reporter &report, const void *p, int count);
// The trace of a register read's answer.
void trace_answer(const zio::Reporter &report, const void *inp, int count);

// One write or read call on the port; the number of bytes moved, 0 when none moved in time or the
// link failed.
int serial_write(zelp_win32_io_state_s &state, std::span<const uint8_t> bytes);
int serial_read(zelp_win32_io_state_s &state, std::span<uint8_t> bytes, zio::Millis limit);

// Opens the named port, sets the bridge's clocks and probes the link.
int zelp_win32_io_usb_spi_open(char *spidev, int spi_speed, int spi_pcm_input_speed,
                               zelp_win32_io_state_s *state);

// The HID side: open the supported raw HID function of the opened port's USB device (1) or none
// (0); another board's function would report another chip's interrupt.
int rawhid_open(zelp_win32_io_state_s *state);
int zelp_win32_io_usb_hidraw_open(zelp_win32_io_state_s *state);
int zelp_io_usb_int_init(zelp_win32_io_state_s *state);

// One row of the serial-port search: 1 and the device path in pszComPort, else 0. A device the
// search could not ask is reported to `report`.
uint32_t search_comport_pidvid(uint8_t *pszComPort, uint32_t size,
                               const hid_Supported_PVID_t *pDevInfo,
                               const zio::Reporter &report = {});

namespace zio {
// search_supported_hid_pidvid, reporting to `report`.
int search_supported_bridge(uint8_t *pszComPort, uint32_t size, uint16_t *uspVid, uint16_t *uspPid,
                            uint32_t *upDevflag, const Reporter &report);
// The HID search's trace of a function it identified.
std::string found_hid_trace(const HIDD_ATTRIBUTES &attrib, const HIDP_CAPS &caps);
} // namespace zio

namespace zio {

// A data phase gives up after this many write or read calls.
inline constexpr int kMaxDataCalls = 5000;

// What a data phase that gave up says: after a register access without a newline, after a
// bridge command with one, as the two always printed it.
inline constexpr const char *kTransferError = "Error during transfer on the Serial/SPI device";

struct DataPhase {
    size_t moved = 0;
    int calls = 0;
    bool complete = false;
    bool failed() const { return calls >= kMaxDataCalls || !complete; }
};

// Sends `data` in as few calls as the bridge allows.
DataPhase send_data(zelp_win32_io_state_s &state, std::span<const uint8_t> data);
// Reads until `data` is full, the answer bound runs out or the call limit is reached.
DataPhase receive_data(zelp_win32_io_state_s &state, std::span<uint8_t> data);

// Starts a packet: drops stale input, unless a window of pipelined reads is open, whose answers
// may already be arriving.
void begin_packet(zelp_win32_io_state_s &state);
// The answer to the packet just sent goes into `into`: taken at once, after any answer still
// pending, or, for a pipelined read, later: the oldest pending answer is taken instead once the
// window holds `depth`. A library error code; a failure has been reported.
int take_answer(zelp_win32_io_state_s &state, std::span<uint8_t> into, AnswerKind kind);
// Takes every pending answer in order and closes the window; stops at the first that fails.
int take_pending(zelp_win32_io_state_s &state);

// A port name split into the parameters the I/O layer takes itself, whatever the port
// (pipeline=N), and the rest: the port and the parameters that belong to it.
struct BoardParams {
    std::string port;
    int pipeline = 0;
};
// False with the reason in `error` for a parameter the I/O layer cannot use, or one that a port
// without parameters of its own was given.
bool parse_board_params(const std::string &name, BoardParams &params, std::string &error);

} // namespace zio

// Reads the real-time clock; false when the system could not.
bool read_realtime_clock(zelp_linux_io_timer_t &out);

// Microseconds from start to now, as zelp_linux_io_timer_read computes them.
unsigned int timer_elapsed_us(const zelp_linux_io_timer_t &start, zelp_linux_io_timer_t now);

namespace zio {
// POSIX getline: the line with its newline and a NUL, its length, or -1 at end of file or on
// failure. The buffer is malloc'd and grown as needed.
long long read_line(char **lineptr, size_t *n, std::FILE *stream);
} // namespace zio
