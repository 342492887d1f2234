// Register transfers on the wire: headers, data pieces, argument checks, failures and the trace.
#include <gtest/gtest.h>

#include <mutex>
#include <numeric>
#include <thread>

#include "io_internal.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "support/board/recording_port.h"
#include "zelp_linux_io.h"

using ztest::bytes_of;
using ztest::RecordedIo;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes counting(size_t n) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), uint8_t{0});
    return b;
}

std::vector<size_t> write_sizes(const ztest::PortLog &log) {
    std::vector<size_t> sizes;
    for (const auto &w : log.writes) sizes.push_back(w.size());
    return sizes;
}

} // namespace

// MCU headers carry the address least significant byte first and the count big-endian, SPI
// headers a one-byte register; the data follows the header, the answer comes back in pieces.
TEST(IoTransferPackets, HeaderThenDataOrAnswer) {
    struct packet {
        int mcu;
        uint32_t addr;
        bool write;
        size_t count;
        Bytes header;
    };
    const packet packets[] = {
        {1, 0x20017004, true, 4, bytes_of({0x3A, 0x01, 0x04, 0x70, 0x01, 0x20, 0x00, 0x04})},
        {0, 0x00, false, 1, bytes_of({0x3A, 0x02, 0x00, 0x00, 0x01})},
        {1, 0x1FFFC000, false, 300, bytes_of({0x3A, 0x00, 0x00, 0xC0, 0xFF, 0x1F, 0x01, 0x2C})},
        {0, 0x30, true, 0, bytes_of({0x3A, 0x03, 0x30, 0x00, 0x00})}, // the header only
    };
    for (const packet &t : packets) {
        SCOPED_TRACE(testing::Message() << "addr " << t.addr << ", count " << t.count);
        RecordedIo io;
        const Bytes data = counting(t.count);
        Bytes buffer(t.count + 1); // never empty: a write of nothing still names a source
        if (t.write)
            std::copy(data.begin(), data.end(), buffer.begin());
        else
            io.log().reply(data);
        io.log().read_cap = 7;
        ASSERT_EQ(
            zelp_linux_io_transfer(io.handle(), t.mcu, t.addr, t.write ? buffer.data() : nullptr,
                                   t.write ? nullptr : buffer.data(), static_cast<int>(t.count)),
            MORVEL_ZELP_ERROR_NONE);
        EXPECT_EQ(io.log().writes[0], t.header);
        Bytes expected = t.header;
        if (t.write)
            expected.insert(expected.end(), data.begin(), data.end());
        else
            EXPECT_EQ(Bytes(buffer.begin(), buffer.end() - 1), data);
        EXPECT_EQ(io.log().written(), expected);
        EXPECT_EQ(io.log().purges, 1);
    }
}

TEST(IoTransferPieces, SixtyFourAndMultiplesOf128GoFourBytesShort) {
    const std::vector<std::pair<int, std::vector<size_t>>> cases = {
        {256, {8, 252, 4}}, {192, {8, 192}}, {64, {8, 60, 4}},
        {128, {8, 124, 4}}, {200, {8, 200}}, {4, {8, 4}},
    };
    for (const auto &[count, sizes] : cases) {
        RecordedIo io;
        Bytes data = counting(static_cast<size_t>(count));
        ASSERT_EQ(zelp_linux_io_transfer(io.handle(), 1, 0x20001000, data.data(), nullptr, count),
                  MORVEL_ZELP_ERROR_NONE);
        EXPECT_EQ(write_sizes(io.log()), sizes) << count << " bytes";
        const Bytes all = io.log().written();
        EXPECT_EQ(Bytes(all.begin() + 8, all.end()), data) << count << " bytes";
    }
}

TEST(IoTransferPieces, PartialWritesContinueWhereTheyStopped) {
    RecordedIo io;
    Bytes data = counting(256);
    io.log().write_cap = 8; // the header goes whole, every later call moves at most 100 bytes
    io.log().on_write = [](std::span<const uint8_t>, ztest::PortLog &log) { log.write_cap = 100; };
    ASSERT_EQ(zelp_linux_io_transfer(io.handle(), 1, 0, data.data(), nullptr, 256),
              MORVEL_ZELP_ERROR_NONE);
    // Each piece is worked out from what remains: 252 asked, 100 moved; 156, 100; then 56 whole.
    EXPECT_EQ(write_sizes(io.log()), (std::vector<size_t>{8, 100, 100, 56}));
}

TEST(IoTransferArguments, RejectedCallsSendNothingAndLeaveTheLockFree) {
    RecordedIo io;
    Bytes buf(8);
    EXPECT_EQ(zelp_linux_io_transfer(io.handle(), 1, 0x20017000, nullptr, buf.data(), 6),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(zelp_linux_io_transfer(io.handle(), 0, 0x100, nullptr, buf.data(), 1),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(zelp_linux_io_transfer(io.handle(), 0, 0x10, buf.data(), buf.data(), 1),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(zelp_linux_io_transfer(io.handle(), 0, 0x10, nullptr, nullptr, 1),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(zelp_linux_io_transfer(io.handle(), 0, 0x10, nullptr, buf.data(), -1),
              MORVEL_ZELP_ERROR_ARG);
    Bytes big(0x10000); // more than the header's sixteen bits of count
    EXPECT_EQ(zelp_linux_io_transfer(io.handle(), 1, 0, big.data(), nullptr, 0x10000),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(zelp_linux_io_transfer(nullptr, 0, 0, nullptr, buf.data(), 1),
              MORVEL_ZELP_ERROR_UNINIT);
    EXPECT_TRUE(io.log().writes.empty());
    EXPECT_TRUE(io.lock_is_free());
    // Only the calls that got as far as the header checks purged the port.
    EXPECT_EQ(io.log().purges, 2);
}

TEST(IoTransferFailures, ShortHeaderIsReportedWithTheBytesWritten) {
    RecordedIo io;
    io.log().write_cap = 3;
    Bytes data(4);
    testing::internal::CaptureStderr();
    EXPECT_EQ(zelp_linux_io_transfer(io.handle(), 1, 0, data.data(), nullptr, 4),
              MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Problem sending MCU out cmd n=3\n");
    io.log().dead = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(zelp_linux_io_transfer(io.handle(), 0, 0, nullptr, data.data(), 1),
              MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Problem sending MCU in cmd n=0\n");
    EXPECT_TRUE(io.lock_is_free());
}

TEST(IoTransferFailures, MissingOrShortAnswerFailsAndTheNextTransferStartsClean) {
    RecordedIo io;
    Bytes in(4);
    io.log().reply({1, 2}); // two of four bytes
    testing::internal::CaptureStderr();
    EXPECT_EQ(zelp_linux_io_transfer(io.handle(), 1, 0, nullptr, in.data(), 4),
              MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error during transfer on the Serial/SPI device");
    EXPECT_TRUE(io.lock_is_free());

    // Late bytes of the failed answer are purged before the next packet.
    io.log().input.assign({3, 4});
    io.log().reply({9, 8, 7, 6});
    EXPECT_EQ(zelp_linux_io_transfer(io.handle(), 1, 0, nullptr, in.data(), 4),
              MORVEL_ZELP_ERROR_NONE);
    EXPECT_EQ(in, bytes_of({9, 8, 7, 6}));
}

TEST(IoTransferFailures, DataPhaseGivesUpAtTheFiveThousandthCall) {
    RecordedIo io;
    // One byte per read: the 5000th call completes the data but the limit still ends the transfer.
    io.log().reply(Bytes(5000, 0x55));
    io.log().read_cap = 1;
    Bytes in(5000);
    testing::internal::CaptureStderr();
    EXPECT_EQ(zelp_linux_io_transfer(io.handle(), 0, 0x20, nullptr, in.data(), 5000),
              MORVEL_ZELP_ERROR_FAIL);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(io.log().reads, 5000);

    io.log().read_cap = 0;
    io.log().reply(Bytes(4999, 0x55));
    io.log().read_cap = 1;
    EXPECT_EQ(zelp_linux_io_transfer(io.handle(), 0, 0x20, nullptr, in.data(), 4999),
              MORVEL_ZELP_ERROR_NONE);
}

TEST(IoTransferTrace, LevelTwoDumpsTheBytesBothWays) {
    RecordedIo io;
    Bytes data = {1, 2, 3, 4};
    io.log().reply({0xAA});
    uint8_t in = 0;
    zelp_linux_io_transfer_debug = 2;
    testing::internal::CaptureStdout();
    zelp_linux_io_transfer(io.handle(), 1, 0x20017004, data.data(), nullptr, 4);
    const std::string written = testing::internal::GetCapturedStdout();
    io.log().reply({0xAA});
    testing::internal::CaptureStdout();
    zelp_linux_io_transfer(io.handle(), 0, 0, nullptr, &in, 1);
    const std::string read = testing::internal::GetCapturedStdout();
    zelp_linux_io_transfer_debug = 0;

    // How %p shows a pointer is the C library's affair.
    EXPECT_NE(written.find("transfer mcu 1, count 4, addr 0x20017004, out "), std::string::npos);
    EXPECT_NE(written.find("\n    out:\n    0x01 0x02 0x03 0x04 \n"), std::string::npos) << written;
    EXPECT_NE(read.find("1 bytes    in:\n    0xaa \n"), std::string::npos) << read;
}

TEST(IoTransferTrace, DumpBreaksLinesAfterEightBytes) {
    const Bytes nine = counting(9);
    testing::internal::CaptureStdout();
    const zio::Reporter printed;
    dump_bytes(printed, nine.data(), 9);
    dump_bytes(printed, nine.data(), 8);
    dump_bytes(printed, nine.data(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "    0x00 0x01 0x02 0x03 0x04 0x05 0x06 0x07 \n    0x08 \n"
              "    0x00 0x01 0x02 0x03 0x04 0x05 0x06 0x07 \n");
}
