// Mailbox protocol: the bytes the host writes for its requests and answers, both state machines
// with their error and flush handling, the trace lines and counters, and whole exchanges with a
// firmware model on the simulated chip.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_driver.h"
#include "chip/chip.h"
#include "support/chip/chip_host.h"
#include "support/board/fake_host.h"

namespace {

using ztest::Transfer;

void clear_counters() {
    for (uint32_t *counter : {morvel_zelp7x_mailbox_req_number, morvel_zelp7x_mailbox_rsp_number,
                              morvel_zelp7x_mailbox_unexpected, morvel_zelp7x_mailbox_error})
        counter[0] = counter[1] = 0;
}

class MailboxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        zelp.iif = host.iif();
        zelp.driver = morvel_zelp7x_get_driver();
        zelp.init = 1;
        zelp.d.zelp7x.input_clock_rate = 32768;
        clear_counters();
        morvel_zelp7x_mailbox_trace = 0;
        host.on_read = [this](int, uint32_t address, uint8_t *in, unsigned) {
            if (address == 0x31) in[0] = mbin_resp;
            return 0;
        };
    }
    void TearDown() override { morvel_zelp7x_mailbox_trace = 0; }
    morvel_zelp7x_device_s &z() { return zelp.d.zelp7x; }

    // Services the mailboxes once with the firmware's byte at `resp`.
    int service(uint8_t resp, int *wake = nullptr) {
        mbin_resp = resp;
        int w = -1;
        const int s = morvel_zelp7x_do_mailboxes(&zelp, &w);
        if (wake != nullptr) *wake = w;
        return s;
    }

    ztest::FakeHost host;
    morvel_zelp_device_s zelp{};
    uint8_t mbin_resp = 0;
};

TEST_F(MailboxTest, RequestsFlipTheOwnerBitAndKeepTheOtherHalf) {
    ASSERT_EQ(morvel_zelp7x_do_mailbox_req_no_sync(&zelp, 0), 0);
    ASSERT_EQ(morvel_zelp7x_do_mailbox_req_no_sync(&zelp, 0), 0);
    z().mbin = 0x8B;
    ASSERT_EQ(morvel_zelp7x_do_mailbox_req_no_sync(&zelp, 2), 0);
    EXPECT_EQ(host.writes(),
              (std::vector<Transfer>{
                  {0, 0x30, true, {0x08}}, {0, 0x30, true, {0x00}}, {0, 0x30, true, {0x82}}}));
    EXPECT_EQ(z().mbin, 0x82);
    EXPECT_EQ(host.mbwaits, 3);
    EXPECT_EQ(z().mb[0].op, MORVEL_ZELP7X_DEVICE_MB_OP_NONE);
    EXPECT_EQ(z().mb[0].phase, MORVEL_ZELP7X_DEVICE_MB_PHASE_IDLE);
}

TEST_F(MailboxTest, RefusedRequestsWriteNothingAndLeaveTheChannelIdle) {
    EXPECT_EQ(morvel_zelp7x_do_mailbox_req_no_sync(&zelp, 1), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(morvel_zelp7x_do_mailbox_req_no_sync(&zelp, 9), MORVEL_ZELP_ERROR_FAIL);
    z().mb[0].phase = MORVEL_ZELP7X_DEVICE_MB_PHASE_FLUSH; // a request still in progress
    EXPECT_EQ(morvel_zelp7x_do_mailbox_req_no_sync(&zelp, 0), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_TRUE(host.transfers.empty());
    EXPECT_EQ(z().mb[0].phase, MORVEL_ZELP7X_DEVICE_MB_PHASE_IDLE);

    host.on_write = [](int, uint32_t, const uint8_t *, unsigned) {
        return MORVEL_ZELP_ERROR_TIMEOUT;
    };
    EXPECT_EQ(morvel_zelp7x_do_mailbox_req_no_sync(&zelp, 0), MORVEL_ZELP_ERROR_TIMEOUT);
    EXPECT_EQ(z().mbin, 0x00) << "a failed write is not remembered";
    EXPECT_EQ(host.mbwaits, 0);
}

TEST_F(MailboxTest, LockedRequestTakesAndReleasesTheHostLock) {
    EXPECT_EQ(morvel_zelp7x_mb_nop(&zelp), 0);
    EXPECT_EQ(host.syncs, 1);
    EXPECT_EQ(host.unsyncs, 1);
    host.sync_result = MORVEL_ZELP_ERROR_BUSY;
    EXPECT_EQ(morvel_zelp7x_mb_nop(&zelp), MORVEL_ZELP_ERROR_BUSY);
    EXPECT_EQ(host.unsyncs, 1);
    EXPECT_EQ(host.writes().size(), 1u);
    host.sync_result = 0;
    host.unsync_result = MORVEL_ZELP_ERROR_FAIL;
    EXPECT_EQ(morvel_zelp7x_mb_nop(&zelp), MORVEL_ZELP_ERROR_FAIL);
    host.mbwait_result = MORVEL_ZELP_ERROR_TIMEOUT;
    EXPECT_EQ(morvel_zelp7x_mb_nop(&zelp), MORVEL_ZELP_ERROR_TIMEOUT) << "the request's code wins";
}

TEST_F(MailboxTest, MiaddrGoesOutAsExtopAndTracesBothLines) {
    morvel_zelp7x_mailbox_trace = 2;
    ::testing::internal::CaptureStdout();
    // The fake host's mbwait returns before any answer: no address may be taken from that.
    EXPECT_EQ(morvel_zelp7x_do_mailbox_req_no_sync(&zelp, 8), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "h2m req  0: miaddr\nh2m req  0: extop\n");
    EXPECT_EQ(host.writes(), (std::vector<Transfer>{{0, 0x30, true, {0x0B}}}));
    EXPECT_EQ(morvel_zelp7x_mailbox_req_number[0], 1u);
    EXPECT_EQ(z().fw_pointers_addr, 0u);
}

TEST_F(MailboxTest, OnlyAFlippedOwnerBitIsAMessageAndAMatchIsCountedAndAcknowledged) {
    ASSERT_EQ(service(0x20), 0);
    EXPECT_TRUE(host.writes().empty());
    EXPECT_EQ(z().mbin_resp, 0x20);
    EXPECT_EQ(z().matches, 0u);

    ASSERT_EQ(service(0xA0), 0);
    EXPECT_EQ(z().matches, 1u);
    EXPECT_EQ(host.writes(), (std::vector<Transfer>{{0, 0x30, true, {0x80}}}));
    EXPECT_EQ(z().mbin, 0x80);
    EXPECT_EQ(z().mbin_resp, 0xA0);
}

TEST_F(MailboxTest, UnexpectedAnswerFlushesWithNopThenEndsInFailure) {
    z().mbin = 0x08; // a NOP is out
    morvel_zelp7x_mailbox_trace = 2;
    ::testing::internal::CaptureStdout();
    int wake = -1;
    ASSERT_EQ(service(0x0C, &wake), 0); // DATA(0), nothing expected
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "h2m rsp  0: data(0)\n"
              "h2m unex 1: 4 message unexpected, 0 data bits remaining\n"
              "h2m req  0: nop\n");
    EXPECT_EQ(host.writes(), (std::vector<Transfer>{{0, 0x30, true, {0x00}}}));
    EXPECT_EQ(wake, 0);
    EXPECT_EQ(z().mb[0].error, MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(z().mb[0].phase, MORVEL_ZELP7X_DEVICE_MB_PHASE_FLUSH);
    EXPECT_EQ(z().mb[0].unexpected, 1);
    EXPECT_EQ(morvel_zelp7x_mailbox_unexpected[0], 1u);

    morvel_zelp7x_mailbox_trace = 0;
    ASSERT_EQ(service(0x00, &wake), 0); // SUCCESS to the flush
    EXPECT_EQ(wake, 1);
    EXPECT_EQ(z().mb[0].phase, MORVEL_ZELP7X_DEVICE_MB_PHASE_IDLE);
    EXPECT_EQ(host.writes().size(), 1u);
}

TEST_F(MailboxTest, UnexpectedCountSaturatesAt255) {
    z().mb[0].unexpected = 254;
    z().mb[1].unexpected = 255;
    ASSERT_EQ(service(0x0C), 0); // h2m DATA, unexpected
    ASSERT_EQ(service(0x00), 0); // SUCCESS ends the flush
    ASSERT_EQ(service(0x09), 0); // h2m CONT, unexpected
    EXPECT_EQ(z().mb[0].unexpected, 255);
    ASSERT_EQ(service(0x99), 0); // m2h CONT, unexpected
    EXPECT_EQ(z().mb[1].unexpected, 255);
    EXPECT_EQ(morvel_zelp7x_mailbox_unexpected[0], 2u);
    EXPECT_EQ(morvel_zelp7x_mailbox_unexpected[1], 1u);
}

TEST_F(MailboxTest, UnexpectedFirmwareRequestIsAnsweredWithErrorCodeBits) {
    morvel_zelp7x_mailbox_trace = 2;
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(service(0xC0), 0); // m2h DATA(0) out of the blue
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "m2h req  0: data(0)\n"
              "m2h unex 1: 4 message unexpected, 6 data bits remaining\n"
              "m2h rsp  0: error\n");
    morvel_zelp7x_mailbox_trace = 0;
    // The firmware pulls the 6 bits of UNEXPECTED (1) with CONT: data codes 5, 4, 4.
    ASSERT_EQ(service(0x10), 0);
    ASSERT_EQ(service(0x90), 0);
    ASSERT_EQ(service(0x10), 0);
    std::vector<uint8_t> mbin;
    for (const Transfer &t : host.writes()) mbin.insert(mbin.end(), t.data.begin(), t.data.end());
    EXPECT_EQ(mbin, (std::vector<uint8_t>{0xA0, 0x50, 0xC0, 0x40}));
}

TEST_F(MailboxTest, TerseTraceLeavesOutDataChatterButCountsIt) {
    morvel_zelp7x_mailbox_trace = 1;
    z().mbin = 0x08;
    z().mb[0].error = 0;
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(service(0x0A), 0); // ERROR answer: host sends CONT for the code bits
    ASSERT_EQ(service(0x05), 0); // DATA(1)
    ASSERT_EQ(service(0x0C), 0); // DATA(0)
    int wake = 0;
    ASSERT_EQ(service(0x04, &wake), 0); // DATA(0), last: error code 1
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "h2m err  4: unexpected\n");
    EXPECT_EQ(wake, 1);
    EXPECT_EQ(z().mb[0].error, MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(morvel_zelp7x_mailbox_rsp_number[0], 4u);
    EXPECT_EQ(morvel_zelp7x_mailbox_req_number[0], 3u);
    EXPECT_EQ(morvel_zelp7x_mailbox_error[0], 1u);
}

TEST_F(MailboxTest, FailingRegisterAccessLeavesTheRecordAlone) {
    host.on_write = [](int, uint32_t, const uint8_t *, unsigned) { return MORVEL_ZELP_ERROR_FAIL; };
    EXPECT_EQ(service(0xA0), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(z().mbin_resp, 0x00);
    EXPECT_EQ(z().mbin, 0x00);
    host.on_read = [](int, uint32_t, uint8_t *, unsigned) { return MORVEL_ZELP_ERROR_TIMEOUT; };
    EXPECT_EQ(service(0xA0), MORVEL_ZELP_ERROR_TIMEOUT);
}

// A confused or hostile firmware may write any byte: the state machines must keep every data
// step inside the 32-bit buffer, and each host request must still leave the channel idle.
TEST_F(MailboxTest, ArbitraryFirmwareBytesKeepBothChannelsInsideTheirBuffers) {
    std::mt19937 rng(1);
    constexpr std::array<uint8_t, 3> requests = {0, 2, 8};
    for (int i = 0; i < 20000; ++i) {
        if (rng() % 10 == 0) {
            morvel_zelp7x_do_mailbox_req_no_sync(&zelp, requests[rng() % requests.size()]);
            EXPECT_EQ(z().mb[0].op, MORVEL_ZELP7X_DEVICE_MB_OP_NONE);
            EXPECT_EQ(z().mb[0].phase, MORVEL_ZELP7X_DEVICE_MB_PHASE_IDLE);
        } else {
            ASSERT_EQ(service(static_cast<uint8_t>(rng())), 0);
        }
        for (const morvel_zelp7x_device_mb_state_s &mb : z().mb) {
            ASSERT_LE(mb.bits, MORVEL_ZELP7X_DEVICE_MAX_DATA) << "step " << i;
            ASSERT_LE(mb.index, mb.bits) << "step " << i;
            ASSERT_EQ(mb.index % 2, 0) << "step " << i;
        }
    }
}

// ---- Whole exchanges with a firmware model on the chip ---------------------------------------

// Answers the host's mailbox requests as the chip firmware does, immediately.
class FirmwareModel {
  public:
    explicit FirmwareModel(zsim::Chip &chip) : chip_(chip) {
        chip.on_host_write = [this](uint8_t address, uint8_t value) {
            if (address == zsim::Chip::MBIN) on_mbin(value);
        };
    }
    uint32_t address = 0x1FFFC0C0;
    int error_code = -1; // >= 0: answer NOP with ERROR and this code
    std::vector<uint8_t> requests;

    void post_match() {
        const uint8_t resp = chip_.peek_spi(zsim::Chip::MBIN_RESP);
        chip_.chip_post(zsim::Chip::MBIN_RESP, static_cast<uint8_t>(((resp & 0x8F) ^ 0x80) | 0x20));
    }

  private:
    void answer(uint8_t code) {
        const uint8_t resp = chip_.peek_spi(zsim::Chip::MBIN_RESP);
        chip_.chip_post(zsim::Chip::MBIN_RESP, static_cast<uint8_t>(((resp & 0xF8) ^ 0x08) | code));
    }
    void next_data() {
        answer(static_cast<uint8_t>(4 | (out_ & 3)));
        out_ >>= 2;
        out_bits_ -= 2;
    }
    void on_mbin(uint8_t mbin) {
        if (((mbin ^ last_mbin_) & 0x08) == 0) return;
        last_mbin_ = mbin;
        const uint8_t code = mbin & 7;
        requests.push_back(code);
        if (code == 0 || code == 2) {
            pending_error_ = error_code >= 0;
            answer(pending_error_ ? 2 : 0); // ERROR or SUCCESS
        } else if (code == 3) {
            ext_ = 0;
            ext_bits_ = 0;
            answer(1);
        } else if (code >= 4) {
            ext_ |= uint32_t(code & 3) << ext_bits_;
            ext_bits_ += 2;
            if (ext_bits_ < 6)
                answer(1);
            else if (ext_ == 8) { // MIADDR: the 32-bit address follows, two bits a DATA
                out_ = address;
                out_bits_ = 32;
                next_data();
            }
        } else if (code == 1) {
            if (pending_error_) {
                pending_error_ = false;
                out_ = static_cast<uint32_t>(error_code);
                out_bits_ = 6;
            }
            if (out_bits_ > 0) next_data();
        }
    }

    zsim::Chip &chip_;
    uint8_t last_mbin_ = 0;
    uint32_t ext_ = 0;
    int ext_bits_ = 0;
    uint32_t out_ = 0;
    int out_bits_ = 0;
    bool pending_error_ = false;
};

class MailboxOnChipTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clear_counters();
        zelp = host.device();
        zelp->init = 1;
        zelp->d.zelp7x.input_clock_rate = 32768;
        // A waiting host: poll until the request has ended.
        host.on_mbwait = [this]() {
            for (int i = 0; i < 100; ++i) {
                uint32_t n = 0;
                const int s = morvel_zelp7x_poll(zelp, &n, 1);
                if (s != 0) return s;
                notifications |= n;
                if (n & MORVEL_ZELP_NOTIFICATION_MAILBOX_IN) return 0;
            }
            return static_cast<int>(MORVEL_ZELP_ERROR_TIMEOUT);
        };
    }
    void TearDown() override { morvel_zelp7x_mailbox_trace = 0; }

    zsim::Chip chip;
    FirmwareModel fw{chip};
    ztest::ChipHost host{chip};
    morvel_zelp_device_s *zelp = nullptr;
    uint32_t notifications = 0;
};

TEST_F(MailboxOnChipTest, MiaddrFetchesThePointerTableAddress) {
    morvel_zelp7x_mailbox_trace = 1;
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(morvel_zelp7x_do_mailbox_req(zelp, 8), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "h2m req  0: miaddr\nh2m data 19: 0x1fffc0c0\n");
    EXPECT_EQ(zelp->d.zelp7x.fw_pointers_addr, 0x1FFFC0C0u);
    // EXTOP, the value 8 in three DATA requests, then fifteen CONT.
    std::vector<uint8_t> expected = {3, 4, 6, 4};
    expected.insert(expected.end(), 15, 1);
    EXPECT_EQ(fw.requests, expected);
    EXPECT_EQ(morvel_zelp7x_mailbox_rsp_number[0], 19u);
}

TEST_F(MailboxOnChipTest, FirmwareErrorEndsTheRequestInFailure) {
    fw.error_code = 0;
    EXPECT_EQ(morvel_zelp7x_mb_nop(zelp), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(fw.requests, (std::vector<uint8_t>{0, 1, 1, 1}));
    EXPECT_EQ(morvel_zelp7x_mailbox_error[0], 1u);
    fw.error_code = -1;
    EXPECT_EQ(morvel_zelp7x_mb_nop(zelp), 0) << "the channel is usable again";
    EXPECT_EQ(fw.requests, (std::vector<uint8_t>{0, 1, 1, 1, 0}));
    EXPECT_EQ(chip.peek_spi(zsim::Chip::MBIN), 0x08) << "five requests, five owner flips";
}

TEST_F(MailboxOnChipTest, MatchDuringARequestIsCountedAndReportedOnce) {
    zelp->d.zelp7x.fw_state_addr = 0x20002000;
    chip.poke_mcu(0x20002008, 3); // match ring producer
    fw.post_match();
    ASSERT_EQ(morvel_zelp7x_mb_nop(zelp), 0);
    EXPECT_EQ(zelp->d.zelp7x.matches, 1u);
    EXPECT_EQ(zelp->d.zelp7x.match_producer, 3u);
    EXPECT_TRUE(notifications & MORVEL_ZELP_NOTIFICATION_DNN);
    EXPECT_TRUE(notifications & MORVEL_ZELP_NOTIFICATION_MATCH);
    EXPECT_EQ(chip.peek_spi(zsim::Chip::MBIN) & 0x80, 0x80) << "the match was acknowledged";
}

} // namespace
