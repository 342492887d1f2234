// Init, reset, restart, interrupts, poll and reset-fix of the zelp7x driver: the exact bus
// sequences, then flows against the chip model with firmware and boot loader stand-ins.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_driver.h"
#include "morvel_packager/checksum.h"
#include "chip/chip.h"
#include "support/chip/chip_host.h"
#include "support/chip/chip_programs.h"
#include "support/board/fake_host.h"
#include "support/chip/zelp7x_transfers.h"

namespace {

using ztest::le32;
using ztest::mcu_write;
using ztest::Transfer;

Transfer spi_w(uint32_t address, uint8_t value) {
    return ztest::spi_write(address, {value});
}

const std::vector<Transfer> reset_prologue = {
    spi_w(0x04, 0x0A), spi_w(0x03, 0x00), spi_w(0x30, 0x00), spi_w(0x33, 0x00),
    spi_w(0x02, 0x7F), spi_w(0x02, 0x00), spi_w(0x04, 0x03), spi_w(0x05, 0x10),
};

// A host whose chip answers the slow-read window with `boot_word` for MCU address 0.
class ResetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        iif = host.iif();
        dev.iif = iif;
        dev.init = 1;
        host.on_write = [this](int mcu, uint32_t address, const uint8_t *out, unsigned) {
            if (!mcu && address == 0x40) std::memcpy(maddr.data(), out, 4);
            return 0;
        };
        host.on_read = [this](int mcu, uint32_t address, uint8_t *in, unsigned count) {
            if (!mcu && address == 0x40 && count == 8) {
                std::memcpy(in, maddr.data(), 4);
                const uint32_t a = in[0] | in[1] << 8 | in[2] << 16 | unsigned(in[3]) << 24;
                const auto w = le32(a == 0 ? boot_word : 0);
                std::memcpy(in + 4, w.data(), 4);
            }
            if (!mcu && address == 0x03) in[0] = intctl;
            if (!mcu && address == 0x02) in[0] = intsts;
            return 0;
        };
    }
    std::vector<Transfer> open_chip_reset(bool secured_request) const {
        std::vector<Transfer> t = reset_prologue;
        if (secured_request) t.push_back(mcu_write(0x40009048, 0x00010000));
        for (const Transfer &r : ztest::slow_read(0, boot_word)) t.push_back(r);
        if (boot_word == 0) return t;
        for (const Transfer &w : {mcu_write(0x4001F000, 0), mcu_write(0x4000C0A8, 0x8000),
                                  mcu_write(0x4000D004, 0x2801), mcu_write(0x20017004, 0)})
            t.push_back(w);
        return t;
    }
    void TearDown() override {
        if (zelp != nullptr) morvel_zelp_uninit(zelp, 1, MORVEL_ZELP_INIT_MODE_NO_TOUCH);
    }
    morvel_zelp7x_device_s &z() { return zelp->d.zelp7x; }

    ztest::FakeHost host;
    morvel_zelp_integration_interfaces_s iif{};
    morvel_zelp_device_s *zelp = nullptr;
    morvel_zelp_device_s dev{}; // a caller-owned handle, marked initialised
    std::array<uint8_t, 4> maddr{};
    uint32_t boot_word = 0x20018000;
    uint8_t intctl = 0;
    uint8_t intsts = 0;
};

TEST_F(ResetTest, InitInResetModePutsTheExactResetSequenceOnTheBus) {
    ASSERT_EQ(morvel_zelp_init(&zelp, &iif, MORVEL_ZELP_INIT_MODE_RESET), 0);
    EXPECT_EQ(host.transfers, open_chip_reset(false));
    EXPECT_EQ(zelp->init, 1);
    EXPECT_EQ(z().secured, 0u);
    EXPECT_EQ(z().input_clock_rate, 0u);
    EXPECT_EQ(z().tank_address, 0x20001000u);
    EXPECT_EQ(z().tank_max_size, 0x10000u);
    EXPECT_EQ(z().tank_size, 2048u);
    EXPECT_EQ(z().addrprotlo[1], 0x20017C00u);
    EXPECT_EQ(z().addrprothi[1], 0x20018000u);
}

TEST_F(ResetTest, SecuredChipStopsAfterTheBootRomRead) {
    boot_word = 0;
    ASSERT_EQ(morvel_zelp_init(&zelp, &iif, MORVEL_ZELP_INIT_MODE_RESET), 0);
    EXPECT_EQ(host.transfers, open_chip_reset(false));
    EXPECT_EQ(z().secured, 1u);
}

TEST_F(ResetTest, ResetSecuredAsksForASecuredBootBeforeTheRead) {
    ASSERT_EQ(morvel_zelp_init(&zelp, &iif, MORVEL_ZELP_INIT_MODE_RESET_SECURED), 0);
    EXPECT_EQ(host.transfers, open_chip_reset(true));
    EXPECT_EQ(z().secured, 0u) << "the chip still booted open";
}

TEST_F(ResetTest, ModesThatLeaveTheChipAloneMakeNoAccess) {
    ASSERT_EQ(morvel_zelp_init(&zelp, &iif, MORVEL_ZELP_INIT_MODE_NO_TOUCH), 0);
    EXPECT_TRUE(host.transfers.empty());
    EXPECT_EQ(z().tank_address, 0x20001000u);
    zelp->init = 1;
    EXPECT_EQ(morvel_zelp7x_uninit(zelp, MORVEL_ZELP_INIT_MODE_RESTART), 0);
    EXPECT_EQ(morvel_zelp7x_uninit(zelp, MORVEL_ZELP_INIT_MODE_NO_TOUCH), 0);
    EXPECT_TRUE(host.transfers.empty());
    EXPECT_EQ(morvel_zelp7x_uninit(zelp, MORVEL_ZELP_INIT_MODE_RESET), 0);
    EXPECT_EQ(host.transfers, open_chip_reset(false));
}

TEST_F(ResetTest, UnknownModeIsRefusedWithTheRecordStillCleared) {
    dev.d.zelp7x.fw_loaded = 1;
    EXPECT_EQ(morvel_zelp7x_init(&dev, static_cast<morvel_zelp_init_mode_e>(7)),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(morvel_zelp7x_init(&dev, static_cast<morvel_zelp_init_mode_e>(-1)),
              MORVEL_ZELP_ERROR_ARG);
    EXPECT_TRUE(host.transfers.empty());
    EXPECT_EQ(dev.init, 0);
    EXPECT_EQ(dev.d.zelp7x.fw_loaded, 0u);
    EXPECT_EQ(dev.d.zelp7x.tank_size, 2048u);
}

TEST_F(ResetTest, FailureMidResetIsReturnedAndEarlierStepsStay) {
    int writes = 0;
    host.on_write = [&writes](int mcu, uint32_t, const uint8_t *, unsigned) {
        return mcu && ++writes == 1 ? MORVEL_ZELP_ERROR_TIMEOUT : 0;
    };
    dev.d.zelp7x.matches = 9;
    dev.d.zelp7x.prev_matches = 4;
    EXPECT_EQ(morvel_zelp7x_reset(&dev, 0), MORVEL_ZELP_ERROR_TIMEOUT);
    ASSERT_EQ(host.transfers.size(), reset_prologue.size() + 3);
    EXPECT_EQ(host.transfers[6], spi_w(0x04, 0x03));
    EXPECT_EQ(dev.d.zelp7x.matches, 4u) << "matches already handed out are forgotten";
}

// ---- Interrupts and poll ---------------------------------------------------------------------

class InterruptTest : public ResetTest {};

TEST_F(InterruptTest, EnablesFollowTheRequestedCauses) {
    intctl = 0xC2;
    struct Case {
        int causes;
        std::vector<Transfer> writes;
    };
    const Case cases[] = {
        {0x100, {spi_w(0x03, 0x42)}}, {0xFF, {spi_w(0x03, 0x7F)}},
        {0x80, {spi_w(0x03, 0x00)}},  {-1, {}},
        {0, {spi_w(0x03, 0x00)}},
    };
    for (const Case &c : cases) {
        host.clear_log();
        int causes = c.causes;
        ASSERT_EQ(morvel_zelp7x_interrupts(&dev, &causes), 0);
        EXPECT_EQ(host.writes(), c.writes) << "causes " << c.causes;
        EXPECT_EQ(causes, 0x42) << "the previously enabled causes come back";
        EXPECT_EQ(host.transfers.front(), (Transfer{0, 0x03, false, {0xC2}}));
    }
    host.clear_log();
    int bad = 0x1FF;
    EXPECT_EQ(morvel_zelp7x_interrupts(&dev, &bad), MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(morvel_zelp7x_interrupts(&dev, nullptr), MORVEL_ZELP_ERROR_ARG);
    EXPECT_TRUE(host.transfers.empty());
}

TEST_F(InterruptTest, PollReportsStatusCausesWithoutTouchingTheMailboxes) {
    intsts = 0x44;
    uint32_t n = 0;
    ASSERT_EQ(morvel_zelp7x_poll(&dev, &n, 1), 0);
    EXPECT_EQ(n,
              uint32_t{MORVEL_ZELP_NOTIFICATION_MAILBOX_OUT | MORVEL_ZELP_NOTIFICATION_WATER_MARK});
    EXPECT_EQ(host.transfers, (std::vector<Transfer>{{0, 0x02, false, {0x44}}, spi_w(0x02, 0x44)}));

    host.clear_log();
    intsts = 0x10;
    dev.d.zelp7x.match_producer = 2;
    ASSERT_EQ(morvel_zelp7x_poll(&dev, &n, 0), 0);
    EXPECT_EQ(n, uint32_t{MORVEL_ZELP_NOTIFICATION_FEATURE | MORVEL_ZELP_NOTIFICATION_MATCH});
    EXPECT_EQ(host.transfers.size(), 1u) << "without clear nothing is acknowledged";
    EXPECT_EQ(morvel_zelp7x_poll(&dev, nullptr, 0), MORVEL_ZELP_ERROR_ARG);
}

TEST_F(InterruptTest, PollWithoutClearKeepsReportingNewMatches) {
    intsts = 0x02;
    dev.d.zelp7x.fw_state_addr = 0x20002000;
    dev.d.zelp7x.matches = 1;
    uint32_t n = 0;
    ASSERT_EQ(morvel_zelp7x_poll(&dev, &n, 0), 0);
    EXPECT_TRUE(n & MORVEL_ZELP_NOTIFICATION_DNN);
    ASSERT_EQ(morvel_zelp7x_poll(&dev, &n, 1), 0);
    EXPECT_TRUE(n & MORVEL_ZELP_NOTIFICATION_DNN);
    ASSERT_EQ(morvel_zelp7x_poll(&dev, &n, 1), 0);
    EXPECT_FALSE(n & MORVEL_ZELP_NOTIFICATION_DNN);
}

TEST_F(InterruptTest, FirmwarePointerTableSetsAddressesAndTank) {
    auto &z = dev.d.zelp7x;
    EXPECT_EQ(morvel_zelp7x_load_fw_pointers(&dev), 0);
    EXPECT_TRUE(host.transfers.empty()) << "no table address, nothing to read";

    z.input_clock_rate = 32768;
    z.fw_pointers_addr = 0x1FFFC0C0;
    uint32_t tank_end = 0x20009000;
    host.on_read = [&tank_end](int, uint32_t address, uint8_t *in, unsigned) {
        if (address == 0x1FFFC0C0) {
            const std::array<uint32_t, 8> table = {0x20002000, 0, 0, 0, 0, 0x20005000, tank_end, 0};
            for (int i = 0; i < 8; ++i) std::memcpy(in + 4 * i, le32(table[i]).data(), 4);
        }
        if (address == 0x20002004) std::memcpy(in, le32(10).data(), 4);
        return 0;
    };
    ASSERT_EQ(morvel_zelp7x_load_fw_pointers(&dev), 0);
    EXPECT_EQ(z.fw_state_addr, 0x20002000u);
    EXPECT_EQ(z.fw_agc_addr, 0x20002000u + 6644);
    EXPECT_EQ(z.fw_posterior_state_addr, 0x20002000u + 6840);
    EXPECT_EQ(z.fw_posterior_parameters_addr, 0x20002000u + 952);
    EXPECT_EQ(z.tank_address, 0x20005000u);
    EXPECT_EQ(z.tank_max_size, 0x4000u);
    EXPECT_EQ(z.match_ring_size, 10u);

    tank_end = 0x20004000; // ends before it starts
    ASSERT_EQ(morvel_zelp7x_load_fw_pointers(&dev), 0);
    EXPECT_EQ(z.tank_max_size, 0u);
}

TEST_F(InterruptTest, BootLoaderWaitGivesUpAfter8000Reads) {
    uint8_t v = 0x77;
    EXPECT_EQ(morvel_zelp7x_wait_mb(&dev, 0x32, 0x80, &v), MORVEL_ZELP_ERROR_TIMEOUT);
    ASSERT_EQ(host.transfers.size(), 8002u);
    EXPECT_EQ(host.transfers[7999].address, 0x32u);
    EXPECT_EQ(host.transfers[8000], (Transfer{0, 0x02, false, {0x00}}));
    EXPECT_EQ(host.transfers[8001], spi_w(0x02, 0x00));
    EXPECT_EQ(v, 0x77) << "nothing stored on a time-out";
}

// ---- Reset-fix package -----------------------------------------------------------------------

uint32_t word_at(size_t offset) {
    const uint8_t *p = zelp7x_reset_fix_v1_mvpkg + offset;
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

TEST(ResetFixPackage, IsAWellFormedPackageWithAValidChecksum) {
    ASSERT_EQ(zelp7x_reset_fix_v1_mvpkg_size, 280u);
    const std::array<uint32_t, 8> headers = {1, 4, 2, 20, 8, 220, 4, 4};
    const std::array<size_t, 4> records = {0, 12, 40, 268};
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(word_at(records[i]), headers[2 * i]);
        EXPECT_EQ(word_at(records[i] + 4), headers[2 * i + 1]);
    }
    EXPECT_EQ(word_at(8), 0x53BDE5A1u);
    EXPECT_STREQ(reinterpret_cast<const char *>(zelp7x_reset_fix_v1_mvpkg + 20),
                 "zelp7x-reset-fix_v1");
    EXPECT_EQ(word_at(276), crc32_no_lib(zelp7x_reset_fix_v1_mvpkg, 276));
}

// ---- Flows on the chip model -----------------------------------------------------------------

class ChipFlowTest : public ::testing::Test {
  protected:
    zsim::Chip chip;
    ztest::ChipHost host{chip};
};

TEST_F(ChipFlowTest, ResetFixHandsThePackageToTheBootLoader) {
    ztest::ChipPrograms loader(chip);
    morvel_zelp_device_s *zelp = host.device();
    zelp->d.zelp7x.secured = 1;
    ASSERT_EQ(morvel_zelp7x_reset_fix(zelp), 0);
    EXPECT_EQ(zelp->d.zelp7x.secured, 0u);
    ASSERT_EQ(loader.windows.size(), 1u);
    EXPECT_TRUE(std::equal(zelp7x_reset_fix_v1_mvpkg, zelp7x_reset_fix_v1_mvpkg + 280,
                           loader.windows[0].begin()));
    EXPECT_EQ(host.transfers[0], spi_w(0x03, 0x00));
    EXPECT_EQ(host.transfers[1], spi_w(0x04, 0x00));
    EXPECT_EQ(host.transfers[2], spi_w(0x04, 0x03));
    EXPECT_EQ(chip.peek_spi(0x33), 0x80) << "the boot announcement was answered";
    size_t words = 0;
    for (const Transfer &t : host.transfers)
        if (t.mcu && t.write) {
            EXPECT_EQ(t.data.size(), 4u);
            ++words;
        }
    EXPECT_EQ(words, 70u);
}

TEST_F(ChipFlowTest, ResetFixReportsTheBootLoadersAnswerOrItsAbsence) {
    const std::pair<uint8_t, int> cases[] = {
        {1, MORVEL_ZELP_ERROR_MORE},
        {0x20, MORVEL_ZELP_ERROR_FAIL},
        {0x25, MORVEL_ZELP_ERROR_PACKAGE},
        {0x40, MORVEL_ZELP_ERROR_FAIL},
    };
    for (const auto &[answer, expected] : cases) {
        zsim::Chip c;
        ztest::ChipHost h(c);
        ztest::ChipPrograms loader(c);
        loader.answers = {answer};
        EXPECT_EQ(morvel_zelp7x_reset_fix(h.device()), expected) << "answer " << int(answer);
    }
    EXPECT_EQ(morvel_zelp7x_reset_fix(host.device()), MORVEL_ZELP_ERROR_TIMEOUT) << "no loader";
}

// A chip whose firmware runs: pointer table, state record, host configuration area.
void load_running_firmware(zsim::Chip &chip) {
    chip.poke_mcu(0x20017000, 32768);
    chip.poke_mcu(0x20017004, 0x1 | 0x2); // labels and firmware version valid
    chip.poke_mcu(0x20017008, 8);
    chip.poke_mcu(0x2001700C, 0x00736579); // "yes\0"
    chip.poke_mcu(0x20017010, 0x00006F6E); // "no\0\0"
    chip.poke_mcu(0x2001780C, 12);
    chip.poke_mcu(0x1FFFC0C0, 0x20002000);
    chip.poke_mcu(0x1FFFC0C0 + 20, 0x20005000);
    chip.poke_mcu(0x1FFFC0C0 + 24, 0x20007000);
    chip.poke_mcu(0x20002004, 10); // match ring size
    chip.poke_mcu(0x20002008, 6);  // match producer
    chip.poke_spi(0x30, 0x88);
    chip.chip_post(0x31, 0x88);
}

TEST_F(ChipFlowTest, RestartAdoptsARunningFirmwareWithoutDisturbingIt) {
    load_running_firmware(chip);
    morvel_zelp_device_s *zelp = host.device();
    ASSERT_EQ(morvel_zelp7x_init(zelp, MORVEL_ZELP_INIT_MODE_RESTART), 0);
    const morvel_zelp7x_device_s &z = zelp->d.zelp7x;
    EXPECT_EQ(z.input_clock_rate, 32768u);
    EXPECT_EQ(z.mbin, 0x88);
    EXPECT_EQ(z.mbin_resp, 0x88);
    EXPECT_EQ(z.labels_len, 8u);
    EXPECT_EQ(z.classes, 2u);
    EXPECT_EQ(z.fwver_len, 12u);
    EXPECT_EQ(z.fw_pointers_addr, 0x1FFFC0C0u);
    EXPECT_EQ(z.fw_state_addr, 0x20002000u);
    EXPECT_EQ(z.tank_address, 0x20005000u);
    EXPECT_EQ(z.tank_max_size, 0x2000u);
    EXPECT_EQ(z.match_ring_size, 10u);
    EXPECT_EQ(z.match_producer, 6u);
    EXPECT_EQ(z.match_consumer, 6u);
    // The only write is the poll acknowledging the pending mailbox interrupt.
    std::vector<Transfer> writes;
    for (const Transfer &t : host.transfers)
        if (t.write && !(t.mcu == 0 && t.address == 0x40)) writes.push_back(t);
    EXPECT_EQ(writes, (std::vector<Transfer>{spi_w(0x02, 0x02)}));
}

// A match the firmware reported before the restart, which no host answered, is answered now:
// the firmware holds back every later report until it is.
TEST_F(ChipFlowTest, RestartAnswersAFirmwareRequestLeftPending) {
    load_running_firmware(chip);
    chip.chip_post(0x31, 0x28); // MATCH, the m2h owner bit flipped against mbin's
    morvel_zelp_device_s *zelp = host.device();
    ASSERT_EQ(morvel_zelp7x_init(zelp, MORVEL_ZELP_INIT_MODE_RESTART), 0);
    EXPECT_EQ(chip.peek_spi(0x30), 0x08) << "SUCCESS, the host's m2h owner bit flipped";
    EXPECT_EQ(zelp->d.zelp7x.matches, 1u);
    EXPECT_EQ(zelp->d.zelp7x.mbin_resp, 0x28);
}

TEST_F(ChipFlowTest, RestartWithNoFirmwareFlagSkipsThePointers) {
    load_running_firmware(chip);
    chip.poke_spi(0x04, 0x0B);
    morvel_zelp_device_s *zelp = host.device();
    ASSERT_EQ(morvel_zelp7x_init(zelp, MORVEL_ZELP_INIT_MODE_RESTART), 0);
    EXPECT_EQ(zelp->d.zelp7x.fw_pointers_addr, 0u);
    EXPECT_EQ(zelp->d.zelp7x.fw_state_addr, 0u);
    EXPECT_EQ(zelp->d.zelp7x.labels_len, 8u);
    EXPECT_EQ(zelp->init, 0) << "the generic layer, not the driver, marks the handle usable";
}

TEST_F(ChipFlowTest, RestartPassesABusFailureUp) {
    load_running_firmware(chip);
    host.fail_after = 5;
    EXPECT_EQ(morvel_zelp7x_init(host.device(), MORVEL_ZELP_INIT_MODE_RESTART),
              MORVEL_ZELP_ERROR_TIMEOUT);
}

} // namespace
