// Where the board I/O layer's lines go: with a report callback every line reaches the callback,
// with its kind, stream and newline, and nothing reaches file descriptors 1 and 2; without one
// the same lines are printed, byte for byte, on the streams they name. One table of the layer's
// failures and traces drives both.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "io_internal.h"
#include "support/board/recording_port.h"
#include "support/process/fd_capture.h"
#include "zelp_linux_io.h"
#ifndef _WIN32
#include <unistd.h>

#include "support/board/fake_sysfs.h"
#endif

namespace {

using Bytes = std::vector<uint8_t>;

constexpr zelp_io_line_kind_e E = ZELP_IO_LINE_ERROR, R = ZELP_IO_LINE_REASON,
                              A = ZELP_IO_LINE_ADVICE, T = ZELP_IO_LINE_TRACE;
constexpr int out = 1, err = 2;

struct Line {
    zelp_io_line_kind_e kind;
    int stream;
    std::string text;
    bool newline = true;
    bool operator==(const Line &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Line &l) {
    return os << "{" << l.kind << ", " << l.stream << ", \"" << l.text << "\", " << l.newline
              << "}";
}

void collect(const zelp_io_line_s *line, void *user) {
    static_cast<std::vector<Line> *>(user)->push_back(
        {line->kind, line->stream, line->text, line->newline != 0});
}

// What the lines of `stream` look like printed.
std::string printed(const std::vector<Line> &lines, int stream) {
    std::string text;
    for (const Line &l : lines)
        if (l.stream == stream) text += l.text + (l.newline ? "\n" : "");
    return text;
}

int init(const char *port, const zelp_io_report_s &report, int interrupts = 0) {
    std::string name = port != nullptr ? port : "";
    zelp_io_init_args args{};
    args.spidev = port != nullptr ? name.data() : nullptr;
    args.usb_int_enable = interrupts;
    args.report = report;
    morvel_evb_io_handle_t d = nullptr;
    const int status = zelp_linux_io_init(&args, &d);
    zelp_linux_io_uninit(d);
    return status;
}

// A handle over a recording port whose writes stop after `write_cap` bytes.
struct Cramped {
    explicit Cramped(const zelp_io_report_s &report, int write_cap) : io(report) {
        io.log().write_cap = write_cap;
    }
    ztest::RecordedIo io;
};

// Sets a process-wide trace switch for one scenario.
struct Tracing {
    Tracing(int &flag, int level) : flag_(flag) { flag_ = level; }
    ~Tracing() { flag_ = 0; }
    int &flag_;
};

uint8_t g_out[4] = {1, 2, 3, 4};
uint8_t g_in[1];

struct Scenario {
    const char *what;
    std::function<void(const zelp_io_report_s &)> run;
    std::vector<Line> lines;
};

// The scenarios, with a fake device tree (where the system has one) that holds no supported
// bridge but a keyboard-like HID function on the same USB device as a serial port.
class IoReport : public testing::Test {
  protected:
#ifndef _WIN32
    IoReport() {
        sys_.add_tty("ttyUSB0", "1-1", 0x0403, 0x6001, 0);
        sys_.add_hidraw(
            "hidraw0", "1-1", 0x0403, 0x6001,
            {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0xC0});
    }
#endif

    std::vector<Scenario> scenarios() const;

#ifndef _WIN32
    ztest::FakeSysfs sys_;
#endif
};

std::vector<Scenario> IoReport::scenarios() const {
    const std::string transfer = "Error during transfer on the Serial/SPI device";
    std::vector<Scenario> s = {
        {"a board parameter the layer cannot use",
         [](auto &r) { init("sim:,pipeline=0", r); },
         {{R, err, "pipeline needs a count from 1 to 256: 0"}, {E, err, "error opening spi: arg"}}},
        {"a simulated board its options cannot make",
         [](auto &r) { init("sim:,size=3", r); },
         {{R, err, "flash size must be a power of two from 64K to 16M"},
          {E, err, "error opening spi: arg"}}},
        {"a network port without its port number",
         [](auto &r) { init("rfc2217://host", r); },
         {{R, err, "a network port is rfc2217://HOST:PORT, PORT from 1 to 65535: rfc2217://host"},
          {E, err, "error opening spi: arg"}}},
        {"interrupts over a network port",
         [](auto &r) { init("rfc2217://127.0.0.1:9,pipeline=4", r, 1); },
         {{R, err,
           "rfc2217://127.0.0.1:9: the bridge's interrupt report (its raw HID function) does not "
           "travel over RFC 2217"},
          {E, err, "error initializing for interrupt over USB"}}},
        {"interrupts on a board without its HID function",
         [](auto &r) { init("sim", r, 1); },
         {{R, err, "Error opening RAW HID device"},
          {E, out, "Error calling io_usb_hidraw_open"},
          {E, err, "error initializing for interrupt over USB"}}},
        {"the bridge's commands cut short",
         [](auto &r) {
             Cramped c(r, 2);
             uint32_t speed = 0;
             Bytes block(16);
             const auto d = c.io.handle();
             zelp_win32_io_usb_serial_set_spi_speed(d, 5);
             zelp_win32_io_usb_serial_set_spi_sample_reg_speed(d, 5);
             zelp_win32_io_usb_serial_get_spi_speed(d, &speed);
             zelp_win32_io_usb_serial_get_spi_sample_reg_speed(d, &speed);
             zelp_win32_io_usb_serial_zelp_state(d, 5);
             for (int command : {ATMEL_DONGLE_FW_FLASH_WRITE, ATMEL_DONGLE_FW_FLASH_READ,
                                 ATMEL_DONGLE_FW_FLASH_START_OF_FILE})
                 zelp_linux_io_usb_serial_flash_rw_command(d, command, 0, block.data(), 16);
             block.resize(257);
             zelp_linux_io_usb_serial_flash_rw_command(d, ATMEL_DONGLE_FW_FLASH_WRITE, 0,
                                                       block.data(), 257);
             zelp_linux_io_transfer(d, 0, 0, nullptr, g_in, 1);
         },
         {{E, err, "Error setting SPI Speed"},
          {E, err, "Error setting SPI Speed (SPI Sample reg)"},
          {E, err, "Error getting SPI Speed"},
          {E, err, "Error during write to get SPI Speed (SPI Sample reg.) n=2"},
          {E, err, "Error setting ZELP State"},
          {E, out, "Error sending FLASH Write cmd"},
          {E, out, "Error sending FLASH Read cmd"},
          {E, out, "Error sending FLASH SOF cmd"},
          {E, out, "Error: Buffer too big"},
          {E, err, "Problem sending MCU in cmd n=2"}}},
        {"answers that never come, and a port that does not close",
         [](auto &r) {
             ztest::RecordedIo io(r);
             uint32_t speed = 0;
             zelp_linux_io_transfer(io.handle(), 0, 0, nullptr, g_in, 1);
             zelp_win32_io_usb_serial_get_spi_speed(io.handle(), &speed);
             io.log().close_error = EIO;
             io.uninit();
         },
         {{E, err, transfer, false},
          {E, err, transfer},
          {R, err, std::string("unable to close the SPI device: ") + std::strerror(EIO)}}},
        {"the transfer trace",
         [](auto &r) {
             ztest::RecordedIo io(r);
             const Tracing trace(zelp_linux_io_transfer_debug, 2);
             zelp_linux_io_transfer(io.handle(), 1, 0x20017004, g_out, nullptr, 4);
             io.log().reply({0xAA});
             zelp_linux_io_transfer(io.handle(), 0, 0, nullptr, g_in, 1);
         },
         {{T, out,
           zio::format("transfer mcu 1, count 4, addr 0x20017004, out %p, in %p",
                       static_cast<void *>(g_out), static_cast<void *>(nullptr))},
          {T, out, "    out:"},
          {T, out, "    0x01 0x02 0x03 0x04 "},
          {T, out,
           zio::format("transfer mcu 0, count 1, addr 0x00000000, out %p, in %p",
                       static_cast<void *>(nullptr), static_cast<void *>(g_in))},
          {T, out, "1 bytes    in:"},
          {T, out, "    0xaa "}}},
    };
#ifndef _WIN32
    s.push_back({"a device that does not open",
                 [](auto &r) { init("/no/such/tty", r); },
                 {{E, err, "Error in opening serial port"},
                  {R, err, "cannot open /no/such/tty: No such file or directory"},
                  {E, err, "error opening spi: fail"}}});
    s.push_back({"no bridge to find",
                 [](auto &r) { init(nullptr, r); },
                 {{R, err, "ZELP USB device not found"}}});
    const std::string port = sys_.dev("ttyUSB0");
    s.push_back(
        {"the HID search's trace",
         [port](auto &r) {
             zelp_win32_io_state_s state;
             state.report = zio::Reporter(r);
             state.port = port;
             const Tracing trace(zelp_usb_debug, 1);
             zelp_io_usb_int_init(&state);
         },
         {{T, out, "ifdetails->DevicePath = " + sys_.dev("hidraw0")},
          {T, out, "Found vid=403  pid=6001 versionNumber=102 usagepage=1 usage=6 reportlen = 2"},
          {T, out, "0 rawhid devices found"},
          {R, err, "Error opening RAW HID device"},
          {E, out, "Error calling io_usb_hidraw_open"}}});
    s.push_back({"an interrupt wait on a device that went",
                 [](auto &r) {
                     int fds[2];
                     ASSERT_EQ(::pipe(fds), 0);
                     const morvel_evb_io_handle_t d = zio::io_open_with_port(nullptr, r);
                     d->hid_handle = zio::hid_device_from_fd(fds[0]);
                     ::close(fds[1]);
                     zelp_win32_io_usb_wait(d, 1000);
                     zelp_linux_io_uninit(d);
                 },
                 {{R, err, "err " + std::to_string(ENODEV) + ": " + std::strerror(ENODEV)}}});
#endif
    return s;
}

TEST_F(IoReport, WithACallbackEveryLineGoesThereAndNothingToTheProcesssStreams) {
    for (const Scenario &s : scenarios()) {
        std::vector<Line> lines;
        ztest::FdCapture capture;
        s.run({collect, &lines});
        const ztest::FdCapture::Output o = capture.finish();
        EXPECT_EQ(o.out, "") << s.what;
        EXPECT_EQ(o.err, "") << s.what;
        EXPECT_EQ(lines, s.lines) << s.what;
    }
}

TEST_F(IoReport, WithoutOneTheSameLinesArePrintedOnTheirStreams) {
    for (const Scenario &s : scenarios()) {
        ztest::FdCapture capture;
        s.run({});
        const ztest::FdCapture::Output o = capture.finish();
        EXPECT_EQ(o.out, printed(s.lines, out)) << s.what;
        EXPECT_EQ(o.err, printed(s.lines, err)) << s.what;
    }
}

// The default printer is what a host's callback can hand lines back to.
TEST(IoReportPrint, PrintLineWritesTheTextAndItsNewlineOnItsStream) {
    ztest::FdCapture capture;
    const zelp_io_line_s lines[] = {
        {R, err, "why", 1}, {E, err, "no newline", 0}, {T, out, "trace", 1}};
    for (const zelp_io_line_s &l : lines) zelp_linux_io_print_line(&l);
    zelp_linux_io_print_line(nullptr);
    const ztest::FdCapture::Output o = capture.finish();
    EXPECT_EQ(o.out, "trace\n");
    EXPECT_EQ(o.err, "why\nno newline");
}

} // namespace
