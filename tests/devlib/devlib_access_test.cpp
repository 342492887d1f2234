// Register access of the zelp7x driver: piece rule, indata streaming, slow reads before the
// clock runs, and the secure memory access path of a secured chip.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_driver.h"
#include "chip/chip.h"
#include "support/chip/chip_host.h"
#include "support/chip/zelp7x_transfers.h"

// The secured path's internals, exercised directly.
extern "C" int morvel_zelp7x_check_open_mcu(morvel_zelp_device_s *zelp, uint32_t address,
                                            unsigned int count);
extern "C" int morvel_zelp7x_run_smap_op(morvel_zelp_device_s *zelp, int op, uint32_t address,
                                         unsigned int count);

namespace {

using namespace ztest;

class AccessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        zelp.iif = host.iif();
        zelp.driver = morvel_zelp7x_get_driver();
        zelp.init = 1;
        z().input_clock_rate = 32768;
    }
    morvel_zelp7x_device_s &z() { return zelp.d.zelp7x; }

    FakeHost host;
    morvel_zelp_device_s zelp{};
};

// MCU blocks are cut at every 2048-byte boundary; the SPI indata register streams everything
// through one address in pieces of at most 2016 bytes.
TEST_F(AccessTest, BlockWritesAreCutIntoTransportPiecesInOrder) {
    using P = std::pair<uint32_t, unsigned>;
    struct Case {
        int mcu;
        uint32_t address;
        unsigned count;
        std::vector<P> pieces;
    };
    const Case cases[] = {
        {1,
         0x20000700,
         5000,
         {{0x20000700, 256}, {0x20000800, 2048}, {0x20001000, 2048}, {0x20001800, 648}}},
        {0, 0x20, 4096, {{0x20, 2016}, {0x20, 2016}, {0x20, 64}}},
    };
    for (const Case &c : cases) {
        host.clear_log();
        std::vector<uint8_t> data(c.count);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
        ASSERT_EQ(morvel_zelp7x_write_block(&zelp, c.mcu, c.address, data.data(), c.count), 0);
        std::vector<P> pieces;
        std::vector<uint8_t> sent;
        for (const Transfer &t : host.transfers) {
            EXPECT_TRUE(t.write);
            EXPECT_EQ(t.mcu, c.mcu);
            pieces.emplace_back(t.address, static_cast<unsigned>(t.data.size()));
            sent.insert(sent.end(), t.data.begin(), t.data.end());
        }
        EXPECT_EQ(pieces, c.pieces) << c.address;
        EXPECT_EQ(sent, data);
    }
}

TEST_F(AccessTest, SingleAccessesMoveOneUnitLittleEndian) {
    ASSERT_EQ(morvel_zelp7x_write(&zelp, 0, 0x30, 0x1234), 0);
    ASSERT_EQ(morvel_zelp7x_write(&zelp, 1, 0x4000C0A8, 0x00008000), 0);
    EXPECT_EQ(host.transfers,
              (std::vector<Transfer>{spi_write(0x30, {0x34}), mcu_write(0x4000C0A8, 0x8000)}));

    host.on_read = [](int, uint32_t, uint8_t *in, unsigned count) {
        for (unsigned i = 0; i < count; ++i) in[i] = static_cast<uint8_t>(0xA0 + i);
        return 0;
    };
    uint32_t word = 0;
    uint8_t byte = 0;
    ASSERT_EQ(morvel_zelp7x_read(&zelp, 1, 0x20017000, &word), 0);
    ASSERT_EQ(morvel_zelp7x_read(&zelp, 0, 0x04, &byte), 0);
    EXPECT_EQ(word, 0xA3A2A1A0u);
    EXPECT_EQ(byte, 0xA0);
}

TEST_F(AccessTest, TransferFailureEndsTheBlockWithItsCode) {
    int calls = 0;
    host.on_write = [&calls](int, uint32_t, const uint8_t *, unsigned) {
        return ++calls == 2 ? MORVEL_ZELP_ERROR_TIMEOUT : 0;
    };
    std::vector<uint8_t> data(5000);
    EXPECT_EQ(morvel_zelp7x_write_block(&zelp, 1, 0x20000700, data.data(), 5000),
              MORVEL_ZELP_ERROR_TIMEOUT);
    EXPECT_EQ(host.transfers.size(), 2u);
}

TEST_F(AccessTest, UnsafeArgumentsAreRefusedWithoutTouchingTheBus) {
    std::array<uint8_t, 16> buf{};
    EXPECT_EQ(morvel_zelp7x_write_block(&zelp, 1, 0x1000, nullptr, 4), MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(morvel_zelp7x_read_block(&zelp, 1, 0x1000, nullptr, 4), MORVEL_ZELP_ERROR_ARG);
    // Ranges that would wrap past the top of the address space.
    EXPECT_EQ(morvel_zelp7x_write_block(&zelp, 1, 0xFFFFFFF8, buf.data(), 16),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(morvel_zelp7x_read_block(&zelp, 1, 0xFFFFFFF8, buf.data(), 16),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(morvel_zelp7x_op_size(&zelp, 1, nullptr), MORVEL_ZELP_ERROR_ARG);
    EXPECT_TRUE(host.transfers.empty());
    // Nothing to move is not an error.
    EXPECT_EQ(morvel_zelp7x_read_block(&zelp, 1, 0x1000, buf.data(), 0), 0);
    EXPECT_TRUE(host.transfers.empty());
}

// Whatever the request and the chip's state (secured or not, clock or none, any windows), every
// transfer respects the transport's limits and a read never writes past the caller's count.
TEST_F(AccessTest, AnyRequestStaysInsideTheTransportsLimitsAndTheCallersBuffer) {
    std::mt19937 rng(7);
    host.on_read = [](int, uint32_t, uint8_t *in, unsigned count) {
        std::memset(in, 0x5A, count);
        return 0;
    };
    constexpr unsigned guard = 8;
    for (int i = 0; i < 3000; ++i) {
        host.clear_log();
        z().secured = rng() % 2;
        z().fw_loaded = rng() % 2;
        z().input_clock_rate = rng() % 2 ? 32768 : 0;
        for (int w = 0; w < 2; ++w) {
            z().addrprotlo[w] = static_cast<uint32_t>(rng());
            z().addrprothi[w] = z().addrprotlo[w] + rng() % 8192;
        }
        const int mcu = static_cast<int>(rng() % 2);
        const uint32_t address = rng() % 3 == 0 ? 0x20 : static_cast<uint32_t>(rng());
        const unsigned count = rng() % 6000;
        std::vector<uint8_t> buf(count + guard, 0xEE);
        if (rng() % 2)
            morvel_zelp7x_read_block(&zelp, mcu, address, buf.data(), count);
        else
            morvel_zelp7x_write_block(&zelp, mcu, address, buf.data(), count);
        for (unsigned k = 0; k < guard; ++k) ASSERT_EQ(buf[count + k], 0xEE) << "request " << i;
        for (const Transfer &t : host.transfers) {
            ASSERT_LE(t.data.size(), 2048u) << "request " << i;
            if (t.mcu || t.address != 0x20) {
                ASSERT_LE(t.address % 2048 + t.data.size(), 2048u) << "request " << i;
            }
        }
    }
}

// ---- Slow reads while the chip has no input clock -------------------------------------------

class SlowReadTest : public AccessTest {
  protected:
    void SetUp() override {
        AccessTest::SetUp();
        z().input_clock_rate = 0;
        // The window answers with the address just written plus 0x11111111.
        host.on_write = [this](int, uint32_t, const uint8_t *out, unsigned) {
            std::memcpy(&last_, out, 4);
            return 0;
        };
        host.on_read = [this](int, uint32_t, uint8_t *in, unsigned) {
            std::memcpy(in, &last_, 4);
            const auto w = le32(last_ + 0x11111111);
            std::copy(w.begin(), w.end(), in + 4);
            return 0;
        };
    }
    uint32_t last_ = 0;
};

TEST_F(SlowReadTest, OnlyMcuReadsGoWordByWordThroughTheWindow) {
    std::array<uint8_t, 8> out{};
    ASSERT_EQ(morvel_zelp7x_read_block(&zelp, 1, 0x20017000, out.data(), 8), 0);
    std::vector<Transfer> expected = slow_read(0x20017000, 0x31128111);
    for (const Transfer &t : slow_read(0x20017004, 0x31128115)) expected.push_back(t);
    EXPECT_EQ(host.transfers, expected);
    const auto w0 = le32(0x31128111), w1 = le32(0x31128115);
    EXPECT_TRUE(std::equal(w0.begin(), w0.end(), out.begin()));
    EXPECT_TRUE(std::equal(w1.begin(), w1.end(), out.begin() + 4));

    host.clear_log();
    ASSERT_EQ(morvel_zelp7x_read_block(&zelp, 0, 0x10, out.data(), 8), 0);
    ASSERT_EQ(morvel_zelp7x_write_block(&zelp, 1, 0x20017000, out.data(), 8), 0);
    ASSERT_EQ(host.transfers.size(), 2u);
    EXPECT_EQ(host.transfers[0].address, 0x10u);
    EXPECT_EQ(host.transfers[1].address, 0x20017000u);
}

TEST_F(SlowReadTest, OddCountNeverWritesPastTheCallersBuffer) {
    std::array<uint8_t, 10> out;
    out.fill(0xEE);
    ASSERT_EQ(morvel_zelp7x_read_block(&zelp, 1, 0x20017000, out.data(), 6), 0);
    EXPECT_EQ(out[4], 0x15);
    EXPECT_EQ(out[5], 0x81);
    EXPECT_EQ(out[6], 0xEE);
    EXPECT_EQ(out[7], 0xEE);
}

// ---- Secured chip ----------------------------------------------------------------------------

// The secure memory access block's head: length, operation and RUN, then the address.
std::vector<uint8_t> smap_head(uint32_t length, uint32_t op, uint32_t address) {
    std::vector<uint8_t> head = le32(length << 16 | op << 1 | 1);
    const auto a = le32(address);
    head.insert(head.end(), a.begin(), a.end());
    return head;
}

class SecuredTest : public AccessTest {
  protected:
    void SetUp() override {
        AccessTest::SetUp();
        morvel_zelp7x_reset_firmware_state(&zelp); // default windows
        z().secured = 1;
        z().fw_loaded = 1;
    }
};

TEST_F(SecuredTest, ClosedReadRunsFirmwarePiecesOf1016Bytes) {
    std::vector<uint8_t> out(2048);
    ASSERT_EQ(morvel_zelp7x_read_block(&zelp, 1, 0x1FFFC000, out.data(), 2048), 0);
    // Each piece: 8-byte block head, mailbox NOP on mbin, control read, piece read.
    const std::array<std::pair<uint32_t, unsigned>, 3> expected = {
        {{0x1FFFC000, 1016}, {0x1FFFC000 + 1016, 1016}, {0x1FFFC000 + 2032, 16}}};
    ASSERT_EQ(host.transfers.size(), 4 * expected.size());
    uint8_t owner = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        const Transfer *t = &host.transfers[4 * i];
        EXPECT_EQ(t[0], (Transfer{1, 0x20017C00, true,
                                  smap_head(expected[i].second, 0, expected[i].first)}));
        owner ^= 0x08;
        EXPECT_EQ(t[1], (Transfer{0, 0x30, true, {owner}}));
        EXPECT_EQ(t[2].address, 0x20017C00u);
        EXPECT_FALSE(t[2].write);
        EXPECT_EQ(t[3].address, 0x20017C08u);
        EXPECT_EQ(t[3].data.size(), expected[i].second);
    }
    EXPECT_EQ(host.mbwaits, 3);
}

TEST_F(SecuredTest, ClosedWriteCopiesDataBeforeRunningTheOperation) {
    std::vector<uint8_t> data(8, 0x42);
    ASSERT_EQ(morvel_zelp7x_write_block(&zelp, 1, 0x60000000, data.data(), 8), 0);
    ASSERT_EQ(host.transfers.size(), 4u);
    EXPECT_EQ(host.transfers[0], (Transfer{1, 0x20017C08, true, data}));
    EXPECT_EQ(host.transfers[1], (Transfer{1, 0x20017C00, true, smap_head(8, 1, 0x60000000)}));
}

TEST_F(SecuredTest, WithoutFirmwareClosedAccessIsUninitAndOpenAccessIsDirect) {
    z().fw_loaded = 0;
    std::array<uint8_t, 8> buf{};
    EXPECT_EQ(morvel_zelp7x_read_block(&zelp, 1, 0x1FFFC000, buf.data(), 8),
              MORVEL_ZELP_ERROR_UNINIT);
    EXPECT_EQ(morvel_zelp7x_write_block(&zelp, 1, 0x1FFFC000, buf.data(), 8),
              MORVEL_ZELP_ERROR_UNINIT);
    EXPECT_TRUE(host.transfers.empty());
    ASSERT_EQ(morvel_zelp7x_read_block(&zelp, 1, 0x20017C00, buf.data(), 8), 0);
    ASSERT_EQ(host.transfers.size(), 1u);
    EXPECT_EQ(host.transfers[0].address, 0x20017C00u);
}

TEST_F(SecuredTest, OpenWindowBoundsAreInclusiveAndNeverWrap) {
    EXPECT_EQ(morvel_zelp7x_check_open_mcu(&zelp, 0x20017C00, 1024), 1);
    EXPECT_EQ(morvel_zelp7x_check_open_mcu(&zelp, 0x20017C00, 1028), 0);
    EXPECT_EQ(morvel_zelp7x_check_open_mcu(&zelp, 0x20017BFC, 8), 0);
    // An end that would wrap past 4 GiB back under the window's top.
    EXPECT_EQ(morvel_zelp7x_check_open_mcu(&zelp, 0x20017C00, 0xF0000000u), 0);
    z().addrprotlo[1] = 0x60000000;
    z().addrprothi[1] = 0x60001000;
    EXPECT_EQ(morvel_zelp7x_check_open_mcu(&zelp, 0x60000FF0, 16), 1);
    z().secured = 0;
    EXPECT_EQ(morvel_zelp7x_check_open_mcu(&zelp, 0, 0xFFFFFFFFu), 1);
}

TEST_F(SecuredTest, WindowsThatExcludeOpenRamDoNotRecurse) {
    for (int i = 0; i < 2; ++i) z().addrprotlo[i] = z().addrprothi[i] = 0x60000000;
    std::array<uint8_t, 8> buf{};
    ASSERT_EQ(morvel_zelp7x_read_block(&zelp, 1, 0x1FFFC000, buf.data(), 8), 0);
    EXPECT_EQ(host.transfers.size(), 4u);
}

TEST_F(SecuredTest, FirmwareStatusMapsToErrorCodes) {
    uint32_t control = 0;
    host.on_read = [&control](int, uint32_t address, uint8_t *in, unsigned) {
        if (address == 0x20017C00) {
            const auto w = le32(control);
            std::copy(w.begin(), w.end(), in);
        }
        return 0;
    };
    struct Case {
        uint32_t control;
        int op;
        int expected;
    };
    const Case cases[] = {
        {0x0, 0, MORVEL_ZELP_ERROR_NONE},       {0x1, 0, MORVEL_ZELP_ERROR_FAIL}, // RUN left set
        {1 << 3, 0, MORVEL_ZELP_ERROR_FAIL},    {2 << 3, 1, MORVEL_ZELP_ERROR_FAIL},
        {3 << 3, 0, MORVEL_ZELP_ERROR_FAIL},    {3 << 3, 2, MORVEL_ZELP_ERROR_PACKAGE},
        {4 << 3, 0, MORVEL_ZELP_ERROR_PACKAGE}, {5 << 3, 2, MORVEL_ZELP_ERROR_MORE},
        {6 << 3, 0, MORVEL_ZELP_ERROR_FAIL},    {7 << 3, 0, MORVEL_ZELP_ERROR_FAIL},
    };
    for (const Case &c : cases) {
        control = c.control;
        EXPECT_EQ(morvel_zelp7x_run_smap_op(&zelp, c.op, 0x1000, 4), c.expected)
            << "control " << c.control << " op " << c.op;
    }
    EXPECT_EQ(morvel_zelp7x_run_smap_op(&zelp, 0, 0x1000, 1017), MORVEL_ZELP_ERROR_ARG);
    z().fw_loaded = 0;
    EXPECT_EQ(morvel_zelp7x_run_smap_op(&zelp, 0, 0x1000, 4), MORVEL_ZELP_ERROR_UNINIT);
}

TEST_F(AccessTest, MailboxWaitReportsTheHostsCodeOrTheRequestsError) {
    host.mbwait_result = MORVEL_ZELP_ERROR_TIMEOUT;
    z().mb[0].error = MORVEL_ZELP_ERROR_FAIL;
    EXPECT_EQ(morvel_zelp7x_mbwait(&zelp), MORVEL_ZELP_ERROR_TIMEOUT);
    host.mbwait_result = 0;
    EXPECT_EQ(morvel_zelp7x_mbwait(&zelp), MORVEL_ZELP_ERROR_FAIL);
    z().mb[0].error = 0;
    EXPECT_EQ(morvel_zelp7x_mbwait(&zelp), 0);
}

// ---- Against the chip model ------------------------------------------------------------------

TEST(AccessOnChip, SlowAndDirectReadsAgreeAndGenericWritesLand) {
    zsim::Chip chip;
    ChipHost host(chip);
    morvel_zelp_device_s *zelp = host.device();
    zelp->init = 1;
    chip.poke_mcu(0x20017000, 0xCAFEF00D);
    chip.poke_mcu(0x20017004, 0x12345678);
    std::array<uint8_t, 8> slow{}, fast{};
    ASSERT_EQ(morvel_zelp7x_read_block(zelp, 1, 0x20017000, slow.data(), 8), 0);
    EXPECT_EQ(chip.slow_reads(), 2);
    zelp->d.zelp7x.input_clock_rate = 32768;
    ASSERT_EQ(morvel_zelp7x_read_block(zelp, 1, 0x20017000, fast.data(), 8), 0);
    EXPECT_EQ(slow, fast);
    EXPECT_EQ(fast[0] | fast[1] << 8 | fast[2] << 16 | unsigned(fast[3]) << 24, 0xCAFEF00Du);

    ASSERT_EQ(morvel_zelp_write(zelp, 1, 0x4000D004, 0x2801), 0);
    ASSERT_EQ(morvel_zelp_write(zelp, 0, 0x10, 0x1234), 0);
    EXPECT_EQ(chip.peek_mcu(0x4000D004), 0x2801u);
    EXPECT_EQ(chip.peek_spi(0x10), 0x34);
}

} // namespace

// Firmware stand-in for a secured chip: every mailbox request runs the operation waiting in the
// secure memory access block, on the chip's memory, before it answers.
class SmapFirmware {
  public:
    explicit SmapFirmware(zsim::Chip &chip) : chip_(chip) {
        chip.on_host_write = [this](uint8_t address, uint8_t value) {
            if (address == zsim::Chip::MBIN && ((value ^ last_) & 0x08)) {
                last_ = value;
                run();
                const uint8_t resp = chip_.peek_spi(zsim::Chip::MBIN_RESP);
                chip_.chip_post(zsim::Chip::MBIN_RESP, static_cast<uint8_t>((resp & 0xF8) ^ 0x08));
            }
        };
    }
    int operations = 0;

  private:
    void run() {
        const uint32_t control = chip_.mcu_read(0x20017C00);
        const uint32_t address = chip_.mcu_read(0x20017C04);
        const uint32_t len = (control >> 16) & 0x3FF;
        const uint32_t op = (control >> 1) & 3;
        for (uint32_t i = 0; i < len; i += 4) {
            if (op == 0) chip_.mcu_write(0x20017C08 + i, chip_.mcu_read(address + i));
            if (op == 1) chip_.mcu_write(address + i, chip_.mcu_read(0x20017C08 + i));
        }
        chip_.mcu_write(0x20017C00, control & ~0x3Fu); // RUN cleared, STATUS success
        ++operations;
    }
    zsim::Chip &chip_;
    uint8_t last_ = 0;
};

TEST(AccessOnChip, SecuredChipMovesClosedMemoryThroughTheFirmware) {
    zsim::Chip chip(0x22, true);
    SmapFirmware fw(chip);
    ChipHost host(chip);
    morvel_zelp_device_s *zelp = host.device();
    ASSERT_EQ(morvel_zelp7x_init(zelp, MORVEL_ZELP_INIT_MODE_RESET), 0);
    ASSERT_EQ(zelp->d.zelp7x.secured, 1u);
    zelp->d.zelp7x.fw_loaded = 1;
    zelp->d.zelp7x.input_clock_rate = 32768;

    std::vector<uint8_t> image(3000);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + 5);
    ASSERT_EQ(morvel_zelp7x_write_block(zelp, 1, 0x60000000, image.data(), 3000), 0);
    EXPECT_EQ(chip.peek_mcu(0x60000000), 0x2C1F1205u);
    std::vector<uint8_t> back(3000);
    ASSERT_EQ(morvel_zelp7x_read_block(zelp, 1, 0x60000000, back.data(), 3000), 0);
    EXPECT_EQ(back, image);
    EXPECT_EQ(fw.operations, 6) << "1016 + 1016 + 968 bytes each way";
}
