// Pieces of the board I/O layer shared between its files; not for hosts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "io_state.h"
#include "zelp_linux_io.h"
#include "zelp_usb_devices.h"

// The short name of a library error code; "*unknown*" for codes without one.
const char *error_name(int e);

// Prints the calling thread's last system error as "err N: text" on the error stream.
void print_win32_err();

// The trace's hex dump: groups of 8 bytes, each line indented by four spaces.
void dump_bytes(const void *p, int count);

// One write or read call on the port; the number of bytes moved, 0 when none moved in time or the
// link failed.
int serial_write(zelp_win32_io_state_s &state, std::span<const uint8_t> bytes);
int serial_read(zelp_win32_io_state_s &state, std::span<uint8_t> bytes, zio::Millis limit);

// Opens the named port, sets the bridge's clocks and probes the link.
int zelp_win32_io_usb_spi_open(char *spidev, int spi_speed, int spi_pcm_input_speed,
                               zelp_win32_io_state_s *state);

// The HID side: open the first supported raw HID device (1) or none (0).
int rawhid_open(zelp_win32_io_state_s *state);
int zelp_win32_io_usb_hidraw_open(zelp_win32_io_state_s *state);
int zelp_io_usb_int_init(zelp_win32_io_state_s *state);

// One row of the serial-port search: 1 and the device path in pszComPort, else 0.
uint32_t search_comport_pidvid(uint8_t *pszComPort, uint32_t size,
                               const hid_Supported_PVID_t *pDevInfo);

namespace zio {

// A data phase gives up after this many write or read calls.
inline constexpr int kMaxDataCalls = 5000;

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
