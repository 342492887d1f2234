// The generic device API: handle ownership, locking around driver calls and dispatch rules.
#include <gtest/gtest.h>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_driver.h"
#include "support/fake_host.h"

using ztest::FakeHost;

namespace {

struct Frame : ::testing::Test {
    FakeHost host;
    morvel_zelp_integration_interfaces_s iif = host.iif();
    morvel_zelp_device_s *zelp = nullptr;

    void TearDown() override {
        if (zelp != nullptr) {
            morvel_zelp_uninit(zelp, 1, MORVEL_ZELP_INIT_MODE_RESET);
            zelp = nullptr;
        }
    }

    void init_ok() {
        // The chip boots open: its first boot ROM word reads non-zero through the slow-read window.
        host.on_read = [](int mcu, uint32_t address, uint8_t *in, unsigned count) {
            if (mcu == 0 && address == 0x40 && count == 8) in[4] = 1;
            return 0;
        };
        ASSERT_EQ(morvel_zelp_init(&zelp, &iif, MORVEL_ZELP_INIT_MODE_RESET), 0);
        ASSERT_NE(zelp, nullptr);
        host.clear_log();
        host.syncs = host.unsyncs = 0;
    }
};

TEST_F(Frame, InitAllocatesReadsTypeBeforeSyncAndMarksHandle) {
    init_ok();
    EXPECT_EQ(host.mallocs, 1);
    EXPECT_EQ(host.get_types, 1);
    EXPECT_EQ(zelp->init, 1);
    EXPECT_EQ(zelp->device_type, 0x20u);
    EXPECT_EQ(zelp->driver, &morvel_zelp7x_driver);
}

TEST_F(Frame, FailedGetTypeFreesTheHandleItAllocated) {
    host.get_type_result = MORVEL_ZELP_ERROR_FAIL;
    EXPECT_EQ(morvel_zelp_init(&zelp, &iif, MORVEL_ZELP_INIT_MODE_RESET), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(zelp, nullptr);
    EXPECT_EQ(host.mallocs, 1);
    EXPECT_EQ(host.frees, 1);
    EXPECT_EQ(host.syncs, 0);
}

TEST_F(Frame, FailedInitKeepsACallersHandleButRefusesIt) {
    morvel_zelp_device_s own{};
    morvel_zelp_device_s *p = &own;
    host.device_type = 0x31;
    EXPECT_EQ(morvel_zelp_init(&p, &iif, MORVEL_ZELP_INIT_MODE_RESET), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(p, &own);
    EXPECT_EQ(host.mallocs, 0);
    EXPECT_EQ(host.frees, 0);
    EXPECT_EQ(own.init, 0);
}

TEST_F(Frame, SecondFamilyTypeFailsWithoutSync) {
    host.device_type = 0x31;
    EXPECT_EQ(morvel_zelp_init(&zelp, &iif, MORVEL_ZELP_INIT_MODE_RESET), MORVEL_ZELP_ERROR_FAIL);
    EXPECT_EQ(host.syncs, 0);
    EXPECT_EQ(host.frees, 1);
    EXPECT_EQ(zelp, nullptr);
}

TEST_F(Frame, AllocationFailureIsNomemAndTouchesNothing) {
    host.fail_malloc = true;
    EXPECT_EQ(morvel_zelp_init(&zelp, &iif, MORVEL_ZELP_INIT_MODE_RESET), MORVEL_ZELP_ERROR_NOMEM);
    EXPECT_EQ(zelp, nullptr);
    EXPECT_EQ(host.get_types, 0);
}

TEST_F(Frame, NoHandleAndNoInterfacesIsAnArgumentError) {
    EXPECT_EQ(morvel_zelp_init(&zelp, nullptr, MORVEL_ZELP_INIT_MODE_RESET), MORVEL_ZELP_ERROR_ARG);
}

TEST_F(Frame, OperationsAfterUninitAreRefused) {
    init_ok();
    EXPECT_EQ(morvel_zelp_uninit(zelp, 0, MORVEL_ZELP_INIT_MODE_RESET), 0);
    host.clear_log(); // uninit in RESET mode resets the chip
    uint8_t b = 0;
    unsigned size = 0;
    uint32_t n = 0;
    EXPECT_EQ(morvel_zelp_read(zelp, 0, 0x10, &b), MORVEL_ZELP_ERROR_UNINIT);
    EXPECT_EQ(morvel_zelp_write(zelp, 0, 0x10, 1), MORVEL_ZELP_ERROR_UNINIT);
    EXPECT_EQ(morvel_zelp_op_size(zelp, 1, &size), MORVEL_ZELP_ERROR_UNINIT);
    EXPECT_EQ(morvel_zelp_poll(zelp, &n, 0), MORVEL_ZELP_ERROR_UNINIT);
    EXPECT_EQ(morvel_zelp_send_data(zelp, &b, 0, 0, 0), MORVEL_ZELP_ERROR_UNINIT);
    EXPECT_EQ(morvel_zelp_uninit(zelp, 1, MORVEL_ZELP_INIT_MODE_RESET), MORVEL_ZELP_ERROR_UNINIT);
    EXPECT_TRUE(host.transfers.empty());
    // Re-init on the caller's handle brings it back.
    EXPECT_EQ(morvel_zelp_init(&zelp, nullptr, MORVEL_ZELP_INIT_MODE_RESET), 0);
    EXPECT_EQ(host.mallocs, 1);
}

TEST_F(Frame, UninitWithFreeReleasesEvenWhenSyncFails) {
    init_ok();
    host.sync_result = MORVEL_ZELP_ERROR_BUSY;
    EXPECT_EQ(morvel_zelp_uninit(zelp, 1, MORVEL_ZELP_INIT_MODE_RESET), MORVEL_ZELP_ERROR_BUSY);
    EXPECT_EQ(host.frees, 1);
    EXPECT_EQ(host.unsyncs, 0);
    zelp = nullptr;
}

TEST_F(Frame, SendDataOfNothingIsRefusedBeforeSync) {
    init_ok();
    uint8_t b = 0;
    EXPECT_EQ(morvel_zelp_send_data(zelp, &b, 0, 0, 0), MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(host.syncs, 0);
}

TEST_F(Frame, FailingSyncSkipsDriverAndUnsync) {
    init_ok();
    host.sync_result = MORVEL_ZELP_ERROR_BUSY;
    uint8_t b = 0;
    EXPECT_EQ(morvel_zelp_read(zelp, 0, 0x00, &b), MORVEL_ZELP_ERROR_BUSY);
    EXPECT_EQ(host.unsyncs, 0);
    EXPECT_TRUE(host.transfers.empty());
}

TEST_F(Frame, DriverErrorWinsOverUnsyncError) {
    init_ok();
    host.unsync_result = MORVEL_ZELP_ERROR_TIMEOUT;
    host.on_write = [](int, uint32_t, const uint8_t *, unsigned) { return MORVEL_ZELP_ERROR_FAIL; };
    EXPECT_EQ(morvel_zelp_write(zelp, 0, 0x10, 1), MORVEL_ZELP_ERROR_FAIL);
    host.on_write = nullptr;
    EXPECT_EQ(morvel_zelp_write(zelp, 0, 0x10, 1), MORVEL_ZELP_ERROR_TIMEOUT);
    EXPECT_EQ(host.syncs, 2);
    EXPECT_EQ(host.unsyncs, 2);
}

TEST_F(Frame, OpSizeAnswersWithoutSync) {
    init_ok();
    unsigned size = 0;
    EXPECT_EQ(morvel_zelp_op_size(zelp, 0, &size), 0);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(morvel_zelp_op_size(zelp, 1, &size), 0);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(host.syncs, 0);
}

TEST_F(Frame, SingleWritesMoveOneUnitLeastSignificantFirst) {
    init_ok();
    EXPECT_EQ(morvel_zelp_write(zelp, 0, 0x10, 0x1234), 0);
    EXPECT_EQ(morvel_zelp_write(zelp, 1, 0x20017004, 0x11223344), 0);
    const std::vector<ztest::Transfer> expect = {
        {0, 0x10, true, {0x34}},
        {1, 0x20017004, true, {0x44, 0x33, 0x22, 0x11}},
    };
    EXPECT_EQ(host.transfers, expect);
}

TEST_F(Frame, GetConfigIsGivenTheDeviceIdUnderSync) {
    init_ok();
    morvel_zelp_config_s config{};
    morvel_zelp_get_config(zelp, &config);
    EXPECT_EQ(config.device_id, 0x20u);
    EXPECT_EQ(host.syncs, 1);
    EXPECT_EQ(host.unsyncs, 1);
}

TEST(FrameNames, ErrorNamesAndVersion) {
    EXPECT_STREQ(morvel_zelp_error_name(0), "none");
    EXPECT_STREQ(morvel_zelp_error_name(8), "timeout");
    EXPECT_STREQ(morvel_zelp_error_name(11), "crc");
    for (int e : {12, 13, -1, 99}) EXPECT_STREQ(morvel_zelp_error_name(e), "*unknown*") << e;
    EXPECT_STREQ(morvel_zelp_devlib_version(), "v79");
}

TEST(FrameNames, DeviceFamilies) {
    for (unsigned t : {0x02u, 0x13u, 0x14u, 0x18u, 0x20u, 0x24u})
        EXPECT_EQ(morvel_zelp_get_device_family(t), MORVEL_ZELP_7X) << t;
    for (unsigned t : {0x30u, 0x31u, 0x3Bu})
        EXPECT_EQ(morvel_zelp_get_device_family(t), MORVEL_ZELP_80);
    for (unsigned t : {0x00u, 0x22u, 0x2Fu, 0x3Cu}) {
        EXPECT_EQ(morvel_zelp_get_device_family(t), MORVEL_ZELP_INV_DEV_ID) << t;
        EXPECT_EQ(morvel_zelp_get_driver(t), nullptr);
    }
    EXPECT_EQ(morvel_zelp_get_driver(0x31), nullptr);
}

} // namespace
