// The Linux serial backend on real pseudo-terminals: raw bytes, open failures, a bridge that
// never answers, and the interrupt wait on a descriptor.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "io_internal.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "support/process/tool_process.h"
#include "zelp_linux_io.h"

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

namespace {

// The master side of a pseudo-terminal; the port under test opens its path.
class Pty {
  public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master_);
        unlockpt(master_);
        path_ = ptsname(master_);
    }
    ~Pty() { close_master(); }
    const std::string &path() const { return path_; }
    int master() const { return master_; }
    void close_master() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    Bytes read_master(size_t n) {
        Bytes out;
        while (out.size() < n) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0) break;
            uint8_t buf[512];
            const ssize_t r = ::read(master_, buf, std::min(sizeof buf, n - out.size()));
            if (r <= 0) break;
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }

  private:
    int master_ = -1;
    std::string path_;
};

Bytes every_byte_value() {
    Bytes b(256);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i);
    return b;
}

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

} // namespace

class IoSerialPort : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(port_); }

    Pty pty_;
    std::unique_ptr<zio::BytePort> port_ = zio::open_serial_port(pty_.path());
};

TEST_F(IoSerialPort, EveryByteValuePassesUnchangedBothWays) {
    const Bytes all = every_byte_value();
    ASSERT_EQ(port_->write(all, zio::Millis(1000)), 256);
    EXPECT_EQ(pty_.read_master(256), all);

    ASSERT_EQ(::write(pty_.master(), all.data(), all.size()), 256);
    Bytes in(256);
    size_t got = 0;
    while (got < in.size()) {
        const int n = port_->read(std::span(in).subspan(got), zio::Millis(1000));
        ASSERT_GT(n, 0);
        got += static_cast<size_t>(n);
    }
    EXPECT_EQ(in, all);
    EXPECT_TRUE(port_->close());
}

TEST_F(IoSerialPort, DiscardDropsUnreadInput) {
    const uint8_t stale[3] = {1, 2, 3};
    ASSERT_EQ(::write(pty_.master(), stale, 3), 3);
    usleep(50000);
    port_->discard_input();
    uint8_t b = 0;
    EXPECT_EQ(port_->read({&b, 1}, zio::Millis(50)), 0);
}

// The advisory lock binds the superuser too, where the exclusive terminal flag does not.
TEST_F(IoSerialPort, SecondOpenIsRefusedWhileTheFirstHoldsTheDevice) {
    zio::OpenFailure failure;
    EXPECT_FALSE(zio::open_serial_port(pty_.path(), &failure));
    EXPECT_EQ(failure.reason, "in use by another process");
    EXPECT_FALSE(failure.permission);
    port_->close();
    EXPECT_TRUE(zio::open_serial_port(pty_.path()));
}

TEST(IoSerialOpen, MissingDeviceOrNonTerminalDoesNotOpenAndSaysWhy) {
    const struct {
        const char *path;
        const char *reason;
    } cases[] = {{"/no/such/tty", "No such file or directory"},
                 {"/dev/null", "Inappropriate ioctl for device"}};
    for (const auto &c : cases) {
        zio::OpenFailure failure;
        EXPECT_FALSE(zio::open_serial_port(c.path, &failure));
        EXPECT_EQ(failure.reason, c.reason) << c.path;
    }
}

TEST(IoSerialInit, MissingDeviceFailsWithBothMessages) {
    char name[] = "/no/such/tty";
    zelp_io_init_args args{};
    args.spidev = name;
    args.spi_default_speed = 1000000;
    morvel_evb_io_handle_t d = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(zelp_linux_io_init(&args, &d), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error in opening serial port\n"
              "cannot open /no/such/tty: No such file or directory\n"
              "error opening spi: fail\n");
    EXPECT_EQ(d, nullptr);

    char empty[] = "";
    args.spidev = empty;
    EXPECT_EQ(zelp_linux_io_init(&args, &d), MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(zelp_linux_io_init(nullptr, &d), MORVEL_ZELP_ERROR_ARG);
}

TEST(IoSerialInit, OpenSendsTheClocksAndProbesRegisterZero) {
    Pty pty;
    std::string path = pty.path();
    zelp_io_init_args args{};
    args.spidev = path.data();
    args.spi_default_speed = 1000000;
    args.spi_pcm_input_speed = 0;
    morvel_evb_io_handle_t d = nullptr;
    // Answer the probe from the master side while init waits for it.
    std::thread bridge([&] {
        const Bytes got = pty.read_master(11);
        EXPECT_EQ(got, (Bytes{0x3A, 0x09, 0x00, 0x0F, 0x42, 0x40, 0x3A, 0x02, 0x00, 0x00, 0x01}));
        const uint8_t type = 0x20;
        EXPECT_EQ(::write(pty.master(), &type, 1), 1);
    });
    ASSERT_EQ(zelp_linux_io_init(&args, &d), MORVEL_ZELP_ERROR_NONE);
    bridge.join();
    EXPECT_EQ(args.device_type, ZELP_IO_DEVICE_TYPE_USB);
    EXPECT_EQ(zelp_linux_io_uninit(d), MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(zelp_linux_io_uninit(nullptr), MORVEL_ZELP_ERROR_NONE);
}

TEST(IoSerialDeadLink, SilentBridgeFailsWithinAFewSeconds) {
    Pty pty;
    std::string path = pty.path();
    zelp_io_init_args args{};
    args.spidev = path.data();
    morvel_evb_io_handle_t d = nullptr;
    testing::internal::CaptureStderr();
    // The probe goes unanswered; that does not fail the open.
    ASSERT_EQ(zelp_linux_io_init(&args, &d), MORVEL_ZELP_ERROR_NONE);

    uint8_t b = 0;
    auto start = Clock::now();
    EXPECT_EQ(zelp_linux_io_transfer(d, 0, 0, nullptr, &b, 1), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_LT(seconds_since(start), 5.0);
    uint32_t speed = 0;
    start = Clock::now();
    EXPECT_EQ(zelp_win32_io_usb_serial_get_spi_speed(d, &speed), 1);
    EXPECT_LT(seconds_since(start), 5.0);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("Error during transfer on the Serial/SPI device"), std::string::npos);
    zelp_linux_io_uninit(d);
}

TEST(IoSerialDeadLink, UnpluggedBridgeFailsAtOnce) {
    Pty pty;
    auto port = zio::open_serial_port(pty.path());
    ASSERT_TRUE(port);
    morvel_evb_io_handle_t d = zio::io_open_with_port(std::move(port));
    pty.close_master();
    uint8_t b = 0;
    const auto start = Clock::now();
    testing::internal::CaptureStderr();
    EXPECT_EQ(zelp_linux_io_transfer(d, 0, 0, nullptr, &b, 1), MORVEL_ZELP_ERROR_FAIL);
    testing::internal::GetCapturedStderr();
    EXPECT_LT(seconds_since(start), 1.0);
    zelp_linux_io_uninit(d);
}

class IoInterruptWait : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(pipe(fds_), 0);
        d_ = zio::io_open_with_port(nullptr);
        d_->hid_handle = zio::hid_device_from_fd(fds_[0]);
    }
    void TearDown() override {
        if (fds_[1] >= 0) ::close(fds_[1]);
        zelp_linux_io_uninit(d_);
    }
    void report() { ASSERT_EQ(::write(fds_[1], "\x01\x02", 2), 2); }
    void unplug() {
        ::close(fds_[1]);
        fds_[1] = -1;
    }

    int fds_[2] = {-1, -1};
    morvel_evb_io_handle_t d_ = nullptr;
};

TEST_F(IoInterruptWait, TimeOutIsKeptAndAReportEndsTheWait) {
    auto start = Clock::now();
    EXPECT_EQ(zelp_linux_io_wait(d_, 0, 0), MORVEL_ZELP_ERROR_TIMEOUT);
    EXPECT_LT(seconds_since(start), 0.05);
    start = Clock::now();
    EXPECT_EQ(zelp_linux_io_wait(d_, 100, 0), MORVEL_ZELP_ERROR_TIMEOUT);
    EXPECT_GE(seconds_since(start), 0.09);
    report();
    EXPECT_EQ(zelp_linux_io_wait(d_, -1, 0), MORVEL_ZELP_ERROR_NONE);
    // The report was consumed.
    EXPECT_EQ(zelp_linux_io_wait(d_, 0, 0), MORVEL_ZELP_ERROR_TIMEOUT);
    EXPECT_EQ(zelp_linux_io_wait(nullptr, 0, 0), MORVEL_ZELP_ERROR_UNINIT);
}

TEST_F(IoInterruptWait, LostDeviceFailsWithTheSystemError) {
    unplug();
    testing::internal::CaptureStderr();
    EXPECT_EQ(zelp_win32_io_usb_wait(d_, 1000), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("err ", 0), 0u);
}

// Two tools on one bridge, as root too: the second is refused at once and says why, and once the
// first lets go the port serves again.
TEST(IoSerialOpen, ASecondProcessOnAHeldPortIsRefusedWithTheReason) {
    ztest::TempDir dir("held_port");
    ztest::BoardDaemon daemon(ZELP_BOARD_SIM_BIN, dir.path(), dir.path() / "flash.bin");
    ASSERT_FALSE(daemon.port().empty());
    auto held = zio::open_serial_port(daemon.port());
    ASSERT_TRUE(held);
    auto r = ztest::run_program(ZELP_FLASH_BIN, {"-s", daemon.port(), "-d"}, dir.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error in opening serial port\ncannot open " + daemon.port() +
                         ": in use by another process\n"),
              std::string::npos)
        << r.err;
    held->close();
    r = ztest::run_program(ZELP_FLASH_BIN, {"-s", daemon.port(), "-d"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
}
