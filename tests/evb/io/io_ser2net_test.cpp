// Boards on another machine, as a lab serves them: Debian's ser2net in front of the board
// simulator daemon's terminals, and every tool and the board I/O layer through rfc2217://
// ports: transfers with every byte value, the purge, the refusals, the flash job on both paths,
// the host tool, the gang on four boards, and ser2net killed in the middle of a write.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <future>
#include <numeric>
#include <thread>

#include "io_internal.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "support/process/ser2net_process.h"
#include "support/process/tool_process.h"
#include "zelp_linux_io.h"

namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// Every byte value and a run of erased flash's 0xFF, which telnet doubles, in a larger image.
Bytes image_with_every_byte(size_t size, unsigned seed) {
    Bytes img = ztest::pseudo_random_bytes(size, seed);
    std::iota(img.begin(), img.begin() + 256, uint8_t{0});
    std::fill(img.begin() + 1000, img.begin() + 3000, 0xFF);
    return img;
}

// A rack of boards in one daemon, each behind a ser2net port of its own.
class Ser2netRack : public testing::Test {
  protected:
    ztest::TempDir dir{"io_ser2net"};
    std::unique_ptr<ztest::BoardSimProcess> sim;
    std::unique_ptr<ztest::Ser2netProcess> ser2net;

    void start(int boards, Args options = {}) {
        ASSERT_FALSE(ztest::ser2net_program().empty()) << "ser2net is not installed";
        options.insert(options.begin(), {"--boards", std::to_string(boards), "--image",
                                         (dir.path() / "flash").string()});
        sim = std::make_unique<ztest::BoardSimProcess>(ZELP_BOARD_SIM_BIN, options);
        ASSERT_TRUE(sim->running());
        std::vector<std::string> terminals;
        for (int k = 0; k < boards; ++k) terminals.push_back(sim->link() + std::to_string(k));
        ser2net = std::make_unique<ztest::Ser2netProcess>(terminals, dir.path());
        ASSERT_TRUE(ser2net->running()) << "ser2net did not come up; see ser2net.log";
    }
    std::string port(int k = 0, const std::string &params = "") const {
        return ser2net->port_name(static_cast<size_t>(k)) + params;
    }
    ztest::ToolOutcome run(const char *tool, const Args &args) {
        return ztest::run_program(tool, args, dir.path());
    }
    Bytes flash(int k = 0) const {
        return ztest::read_bytes(dir.path() / ("flash" + std::to_string(k)));
    }
    // The first `n` bytes of board k's flash, read without the rest (the flash is 4 MiB).
    Bytes flash_start(size_t n, int k = 0) const {
        std::ifstream in(dir.path() / ("flash" + std::to_string(k)), std::ios::binary);
        Bytes b(n);
        in.read(reinterpret_cast<char *>(b.data()), static_cast<std::streamsize>(n));
        b.resize(static_cast<size_t>(in.gcount()));
        return b;
    }
    bool holds(const Bytes &img, int k = 0) const {
        const Bytes cells = flash(k);
        return cells.size() >= img.size() && std::equal(img.begin(), img.end(), cells.begin());
    }
};

morvel_evb_io_handle_t open_io(const std::string &port, int usb_int_enable = 0) {
    zelp_io_init_args args{};
    args.spidev = const_cast<char *>(port.c_str());
    args.spi_default_speed = 1000000;
    args.usb_int_enable = usb_int_enable;
    morvel_evb_io_handle_t d = nullptr;
    return zelp_linux_io_init(&args, &d) == MORVEL_ZELP_ERROR_NONE ? d : nullptr;
}

} // namespace

// Chip memory written and read back with every byte value and with all 0xFF, erased flash through
// the bridge's own read; then an answer that comes too late for its read must not pass for the
// next read's answer: the purge drops it here and at the server.
TEST_F(Ser2netRack, TransfersCarryEveryByteValueAndThePurgeDropsALateAnswer) {
    start(1, {"--latency", "100000"});
    const morvel_evb_io_handle_t d = open_io(port());
    ASSERT_NE(d, nullptr);
    Bytes every(256), ones(256, 0xFF);
    std::iota(every.begin(), every.end(), uint8_t{0});
    for (Bytes *out : {&every, &ones}) {
        Bytes in(256);
        ASSERT_EQ(zelp_linux_io_transfer(d, 1, 0x20017000, out->data(), nullptr, 256), 0);
        ASSERT_EQ(zelp_linux_io_transfer(d, 1, 0x20017000, nullptr, in.data(), 256), 0);
        EXPECT_EQ(in, *out);
    }
    Bytes erased(256);
    ASSERT_EQ(zelp_linux_io_usb_serial_flash_rw_command(d, ATMEL_DONGLE_FW_FLASH_READ, 0x1000,
                                                        erased.data(), 256),
              0);
    EXPECT_EQ(erased, Bytes(256, 0xFF));

    const Bytes late = {1, 2, 3, 4}, wanted = {5, 6, 7, 8};
    ASSERT_EQ(
        zelp_linux_io_transfer(d, 1, 0x20017000, const_cast<uint8_t *>(late.data()), nullptr, 4),
        0);
    ASSERT_EQ(
        zelp_linux_io_transfer(d, 1, 0x20017004, const_cast<uint8_t *>(wanted.data()), nullptr, 4),
        0);
    zio::set_answer_limit(d, zio::Millis(20));
    Bytes in(4);
    testing::internal::CaptureStderr();
    EXPECT_NE(zelp_linux_io_transfer(d, 1, 0x20017000, nullptr, in.data(), 4), 0);
    testing::internal::GetCapturedStderr();
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the late answer arrives
    zio::set_answer_limit(d, zio::Millis(3000));
    ASSERT_EQ(zelp_linux_io_transfer(d, 1, 0x20017004, nullptr, in.data(), 4), 0);
    EXPECT_EQ(in, wanted);
    zelp_linux_io_uninit(d);
}

// A second client while one is connected, a port nobody serves, a name without a port, and the
// interrupt over USB, which a network port cannot carry: each refused with what and where.
TEST_F(Ser2netRack, RefusalsNameTheServerAndThePort) {
    start(1);
    const morvel_evb_io_handle_t first = open_io(port());
    ASSERT_NE(first, nullptr);
    const std::string nobody = "rfc2217://127.0.0.1:" + std::to_string(ztest::free_tcp_port());
    struct Row {
        std::string port;
        std::string out, err;
    };
    const Row rows[] = {
        {port(), "io_init failed: fail\n",
         "Error in opening serial port\ncannot open " + port() +
             ": in use by another process (the server says \"Port already in use\")\n"
             "error opening spi: fail\n"},
        {nobody, "io_init failed: fail\n",
         "Error in opening serial port\ncannot open " + nobody +
             ": Connection refused\nerror opening spi: fail\n"},
        {"rfc2217://127.0.0.1", "io_init failed: arg\n",
         "a network port is rfc2217://HOST:PORT, PORT from 1 to 65535: rfc2217://127.0.0.1\n"
         "error opening spi: arg\n"},
    };
    for (const Row &r : rows) {
        const auto started = Clock::now();
        const auto o = run(ZELP_FLASH_BIN, {"-s", r.port, "-d"});
        EXPECT_LT(std::chrono::duration<double>(Clock::now() - started).count(), 5.0) << r.port;
        EXPECT_EQ(o.status, 1) << r.port;
        EXPECT_EQ(o.out, r.out) << r.port;
        EXPECT_EQ(o.err, r.err) << r.port;
    }
    zelp_linux_io_uninit(first);

    testing::internal::CaptureStderr();
    zelp_io_init_args args{};
    const std::string name = port(0, ",pipeline=8");
    args.spidev = const_cast<char *>(name.c_str());
    args.usb_int_enable = 1;
    morvel_evb_io_handle_t d = nullptr;
    EXPECT_EQ(zelp_linux_io_init(&args, &d), MORVEL_ZELP_ERROR_UNSUP);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              port() + ": the bridge's interrupt report (its raw HID function) does not travel "
                       "over RFC 2217\nerror initializing for interrupt over USB\n");
    // The port was left alone: the next client is served.
    d = open_io(port());
    EXPECT_NE(d, nullptr);
    zelp_linux_io_uninit(d);
}

// Clients one right after the other, as a script's runs follow each other: each is served,
// although ser2net is still closing the last one's session when the next connects.
TEST_F(Ser2netRack, ClientsThatFollowAtOnceAreEachServed) {
    start(1);
    for (int client = 0; client < 20; ++client) {
        const morvel_evb_io_handle_t d = open_io(port());
        ASSERT_NE(d, nullptr) << "client " << client;
        uint8_t type = 0;
        EXPECT_EQ(zelp_linux_io_transfer(d, 0, 0, nullptr, &type, 1), 0) << "client " << client;
        EXPECT_EQ(type, 0x20);
        zelp_linux_io_uninit(d);
    }
}

// The flash job through the network on the MSPI path and the bridge's, plainly and pipelined,
// verified, and what the flash holds checked; then the same image again with only the changes.
TEST_F(Ser2netRack, FlashJobOnBothPathsPlainAndPipelined) {
    start(1);
    struct Row {
        bool bridge;
        const char *params;
    };
    const Row rows[] = {{false, ""}, {false, ",pipeline=32"}, {true, ""}, {true, ",pipeline=32"}};
    unsigned seed = 1;
    for (const Row &row : rows) {
        const std::string what = std::string(row.bridge ? "-Q" : "MSPI") + row.params;
        const Bytes img = image_with_every_byte(20000, seed++);
        ztest::write_bytes(dir.path() / "img", img);
        Args args = {"-q", "-s", port(0, row.params), "-w", "img", "-v", "img"};
        args.push_back(row.bridge ? "-Q" : "-e");
        const auto o = run(ZELP_FLASH_BIN, args);
        EXPECT_EQ(o.status, 0) << what << ": " << o.out << o.err;
        EXPECT_TRUE(holds(img)) << what;
        EXPECT_EQ(o.err, "") << what;
    }
    const auto again = run(ZELP_FLASH_BIN, {"-q", "-s", port(0, ",pipeline=32"), "-w", "img", "-v",
                                            "img", "--skip-unchanged"});
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_NE(again.out.find("skip-unchanged: 5 of 5 sectors unchanged, 0 erased, 0 pages "
                             "programmed\n"),
              std::string::npos)
        << again.out;
}

// zelp7x_host loads the sample package, shows what the chip then holds and waits for matches, on
// a board that outlives each run, reached over the network every time.
TEST_F(Ser2netRack, HostToolLoadsShowsAndWatches) {
    start(1, {"--match-every", "100"});
    ASSERT_EQ(run(ZELP_PKG_SAMPLE_BIN, {"sample.pkg"}).status, 0);
    const auto load = run(ZELP_HOST_BIN, {"-s", port(), "load", "sample.pkg"});
    EXPECT_EQ(load.status, 0) << load.out << load.err;
    const std::string loaded =
        "sample.pkg: " + std::to_string(fs::file_size(dir.path() / "sample.pkg")) +
        " bytes loaded\n";
    EXPECT_TRUE(load.out.starts_with(loaded)) << load.out;
    const auto info = run(ZELP_HOST_BIN, {"-s", port(), "info"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("firmware: running\nfirmware version: sample-fw 1.0\n"),
              std::string::npos)
        << info.out;
    const auto watch = run(ZELP_HOST_BIN, {"-s", port(), "watch", "-n", "2", "-w", "5000"});
    EXPECT_EQ(watch.status, 0) << watch.err;
    EXPECT_EQ(std::count(watch.out.begin(), watch.out.end(), '\n'), 2) << watch.out;
    EXPECT_EQ(watch.out.rfind("match: summary 0x00c81e0", 0), 0u) << watch.out;
}

// Four boards behind four ser2net ports, flashed at once by the gang, which reports each by the
// name it was given.
TEST_F(Ser2netRack, GangFlashesFourBoardsBehindFourPorts) {
    start(4);
    const Bytes img = image_with_every_byte(6000, 9);
    ztest::write_bytes(dir.path() / "img", img);
    Args args = {"-q"};
    for (int k = 0; k < 4; ++k) args.insert(args.end(), {"-s", port(k, ",pipeline=16")});
    args.insert(args.end(), {"-e", "-w", "img", "-v", "img", "--json", "report.json"});
    const auto o = run(ZELP_GANG_BIN, args);
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_NE(o.out.find("4 of 4 boards passed"), std::string::npos) << o.out;
    const Bytes report = ztest::read_bytes(dir.path() / "report.json");
    const std::string json(report.begin(), report.end());
    for (int k = 0; k < 4; ++k) {
        EXPECT_TRUE(holds(img, k)) << "board " << k;
        EXPECT_NE(json.find("\"" + port(k, ",pipeline=16") + "\""), std::string::npos) << json;
    }
    size_t passes = 0;
    for (size_t at = json.find("\"result\": \"pass\""); at != std::string::npos;
         at = json.find("\"result\": \"pass\"", at + 1))
        ++passes;
    EXPECT_EQ(passes, 4u) << json;
}

// ser2net dies while the bridge takes a write: the run ends at once with status 1 and its step's
// message, as when a bridge is unplugged; once ser2net is back, a run with --skip-unchanged
// completes the image.
TEST_F(Ser2netRack, KilledMidWriteFailsAtOnceAndARerunCompletesTheImage) {
    start(1, {"--rate", "100000"});
    const Bytes img = image_with_every_byte(128 * 1024, 3);
    ztest::write_bytes(dir.path() / "img", img);
    const Args args = {"-q", "-s", port(), "-Q", "-w", "img", "-v", "img"};
    auto first = std::async(std::launch::async, [&] { return run(ZELP_FLASH_BIN, args); });
    // The first block in the flash: the write is under way.
    const auto give_up = Clock::now() + std::chrono::seconds(10);
    while (flash_start(256) != Bytes(img.begin(), img.begin() + 256) && Clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ser2net->kill();
    const auto killed = Clock::now();
    const auto o = first.get();
    const double took = std::chrono::duration<double>(Clock::now() - killed).count();
    EXPECT_LT(took, 2.0);
    EXPECT_EQ(o.status, 1) << o.out << o.err;
    EXPECT_TRUE(o.out.ends_with(" failed: fail\n")) << o.out;
    EXPECT_FALSE(holds(img)) << "the write was to be cut short";

    ASSERT_TRUE(ser2net->restart());
    const auto rerun = run(
        ZELP_FLASH_BIN, {"-q", "-s", port(), "-Q", "-w", "img", "-v", "img", "--skip-unchanged"});
    EXPECT_EQ(rerun.status, 0) << rerun.out << rerun.err;
    EXPECT_TRUE(holds(img));
    EXPECT_NE(rerun.out.find("skip-unchanged: "), std::string::npos) << rerun.out;
}
