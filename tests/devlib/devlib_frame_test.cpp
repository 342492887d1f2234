// The generic device API: handle ownership, locking around driver calls and dispatch rules.
#include <gtest/gtest.h>

#include "morvel_devlib/morvel_zelp.h"
#include "morvel_devlib/morvel_zelp7x_driver.h"
#include "support/board/fake_host.h"

using ztest::FakeHost;

namespace {

struct Frame : ::testing::Test {
    FakeHost host;
    morvel_zelp_integration_interfaces_s iif = host.iif();
    morvel_zelp_device_s *zelp = nullptr;

    void TearDown() override {
        if (zelp != nullptr) morvel_zelp_uninit(zelp, 1, MORVEL_ZELP_INIT_MODE_RESET);
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

// A failed init never takes the lock, frees only what it allocated and leaves a caller's own
// handle in place but unusable.
TEST(FrameInit, FailuresLeaveNoHandleBehind) {
    struct Case {
        const char *what;
        unsigned type;
        int get_type_result;
        bool fail_malloc, own_handle, no_iif;
        int expected, mallocs, frees, get_types;
    };
    const Case cases[] = {
        {"get_type fails", 0x20, MORVEL_ZELP_ERROR_FAIL, false, false, false,
         MORVEL_ZELP_ERROR_FAIL, 1, 1, 1},
        {"second family", 0x31, 0, false, false, false, MORVEL_ZELP_ERROR_FAIL, 1, 1, 1},
        {"caller's handle", 0x31, 0, false, true, false, MORVEL_ZELP_ERROR_FAIL, 0, 0, 1},
        {"no memory", 0x20, 0, true, false, false, MORVEL_ZELP_ERROR_NOMEM, 1, 0, 0},
        {"no interfaces", 0x20, 0, false, false, true, MORVEL_ZELP_ERROR_ARG, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        host.device_type = c.type;
        host.get_type_result = c.get_type_result;
        host.fail_malloc = c.fail_malloc;
        morvel_zelp_integration_interfaces_s iif = host.iif();
        morvel_zelp_device_s own{};
        morvel_zelp_device_s *p = c.own_handle ? &own : nullptr;
        EXPECT_EQ(morvel_zelp_init(&p, c.no_iif ? nullptr : &iif, MORVEL_ZELP_INIT_MODE_RESET),
                  c.expected);
        EXPECT_EQ(p, c.own_handle ? &own : nullptr);
        EXPECT_EQ(own.init, 0);
        EXPECT_EQ(host.mallocs, c.mallocs);
        EXPECT_EQ(host.frees, c.frees);
        EXPECT_EQ(host.get_types, c.get_types);
        EXPECT_EQ(host.syncs, 0);
    }
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

TEST_F(Frame, OpSizeAndEmptySendDataAnswerWithoutTheLock) {
    init_ok();
    unsigned size = 0;
    EXPECT_EQ(morvel_zelp_op_size(zelp, 0, &size), 0);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(morvel_zelp_op_size(zelp, 1, &size), 0);
    EXPECT_EQ(size, 4u);
    uint8_t b = 0;
    EXPECT_EQ(morvel_zelp_send_data(zelp, &b, 0, 0, 0), MORVEL_ZELP_ERROR_ARG);
    EXPECT_EQ(host.syncs, 0);
}

// The lock brackets each driver call: a failed sync skips the driver and the unsync, and the
// driver's error wins over the unsync's.
TEST_F(Frame, SyncBracketsEveryDriverCall) {
    init_ok();
    morvel_zelp_config_s config{};
    morvel_zelp_get_config(zelp, &config);
    EXPECT_EQ(config.device_id, 0x20u);
    EXPECT_EQ(host.syncs, 1);
    EXPECT_EQ(host.unsyncs, 1);

    host.sync_result = MORVEL_ZELP_ERROR_BUSY;
    uint8_t b = 0;
    EXPECT_EQ(morvel_zelp_read(zelp, 0, 0x00, &b), MORVEL_ZELP_ERROR_BUSY);
    EXPECT_EQ(host.unsyncs, 1);
    EXPECT_TRUE(host.transfers.empty());

    host.sync_result = 0;
    host.unsync_result = MORVEL_ZELP_ERROR_TIMEOUT;
    host.on_write = [](int, uint32_t, const uint8_t *, unsigned) { return MORVEL_ZELP_ERROR_FAIL; };
    EXPECT_EQ(morvel_zelp_write(zelp, 0, 0x10, 1), MORVEL_ZELP_ERROR_FAIL);
    host.on_write = nullptr;
    EXPECT_EQ(morvel_zelp_write(zelp, 0, 0x10, 1), MORVEL_ZELP_ERROR_TIMEOUT);
    EXPECT_EQ(host.syncs, 4);
    EXPECT_EQ(host.unsyncs, 3);
}

// Init and uninit keep the bracket's rule: the driver's error wins, unsync's counts only when the
// driver succeeded, and a handle that init allocated is freed either way.
TEST(FrameInit, UnsyncFailsInitAndUninitOnlyAfterTheDriverSucceeded) {
    for (const bool driver_fails : {false, true}) {
        SCOPED_TRACE(driver_fails ? "driver fails" : "driver succeeds");
        FakeHost host;
        host.unsync_result = MORVEL_ZELP_ERROR_TIMEOUT;
        host.on_read = [&](int mcu, uint32_t address, uint8_t *in, unsigned count) {
            if (driver_fails) return int{MORVEL_ZELP_ERROR_FAIL};
            if (mcu == 0 && address == 0x40 && count == 8) in[4] = 1;
            return 0;
        };
        morvel_zelp_integration_interfaces_s iif = host.iif();
        morvel_zelp_device_s own{};
        morvel_zelp_device_s *p = nullptr;
        EXPECT_EQ(morvel_zelp_init(&p, &iif, MORVEL_ZELP_INIT_MODE_RESET),
                  driver_fails ? MORVEL_ZELP_ERROR_FAIL : MORVEL_ZELP_ERROR_TIMEOUT);
        EXPECT_EQ(p, nullptr);
        EXPECT_EQ(host.frees, 1);

        host.unsync_result = 0;
        p = &own;
        ASSERT_EQ(morvel_zelp_init(&p, &iif, MORVEL_ZELP_INIT_MODE_RESET),
                  driver_fails ? MORVEL_ZELP_ERROR_FAIL : 0);
        if (driver_fails) continue;
        host.unsync_result = MORVEL_ZELP_ERROR_TIMEOUT;
        EXPECT_EQ(morvel_zelp_uninit(p, 0, MORVEL_ZELP_INIT_MODE_RESET), MORVEL_ZELP_ERROR_TIMEOUT);
        EXPECT_EQ(own.init, 0);
        EXPECT_EQ(host.syncs, host.unsyncs);
    }
}

TEST(FrameNames, ErrorNamesAndVersion) {
    EXPECT_STREQ(morvel_zelp_error_name(0), "none");
    EXPECT_STREQ(morvel_zelp_error_name(8), "timeout");
    EXPECT_STREQ(morvel_zelp_error_name(11), "crc");
    // Every code the enumeration defines has its name; the I/O layer's names stop at crc.
    EXPECT_STREQ(morvel_zelp_error_name(MORVEL_ZELP_ERROR_INVALID_NETWORK), "invalid_network");
    EXPECT_STREQ(morvel_zelp_error_name(MORVEL_ZELP_ERROR_DATA_REREAD), "data_reread");
    for (int e = MORVEL_ZELP_ERROR_NONE; e <= MORVEL_ZELP_ERROR_LAST; ++e)
        EXPECT_STRNE(morvel_zelp_error_name(e), "*unknown*") << e;
    for (int e : {MORVEL_ZELP_ERROR_LAST + 1, -1, 99})
        EXPECT_STREQ(morvel_zelp_error_name(e), "*unknown*") << e;
    EXPECT_STREQ(morvel_zelp_devlib_version(), "v79");
}

// The failed step's line, cut as snprintf cuts and counted whole.
TEST(FrameNames, StepFailedLines) {
    char text[32];
    EXPECT_EQ(morvel_zelp_error_step_failed("io_init", MORVEL_ZELP_ERROR_FAIL, text, sizeof text),
              20);
    EXPECT_STREQ(text, "io_init failed: fail");
    EXPECT_EQ(morvel_zelp_error_step_failed("zelp7x_config input set", MORVEL_ZELP_ERROR_TIMEOUT,
                                            text, sizeof text),
              39);
    EXPECT_STREQ(text, "zelp7x_config input set failed:");
    EXPECT_EQ(morvel_zelp_error_step_failed(nullptr, 99, text, sizeof text), 18);
    EXPECT_STREQ(text, " failed: *unknown*");
    EXPECT_EQ(morvel_zelp_error_step_failed("read", 0, nullptr, 0), 17);
}

TEST(FrameNames, DeviceFamilies) {
    for (unsigned t : {0x02u, 0x13u, 0x14u, 0x18u, 0x20u, 0x22u, 0x24u})
        EXPECT_EQ(morvel_zelp_get_device_family(t), MORVEL_ZELP_7X) << t;
    for (unsigned t : {0x30u, 0x31u, 0x3Bu})
        EXPECT_EQ(morvel_zelp_get_device_family(t), MORVEL_ZELP_80);
    for (unsigned t : {0x00u, 0x21u, 0x23u, 0x2Fu, 0x3Cu}) {
        EXPECT_EQ(morvel_zelp_get_device_family(t), MORVEL_ZELP_INV_DEV_ID) << t;
        EXPECT_EQ(morvel_zelp_get_driver(t), nullptr);
    }
    EXPECT_EQ(morvel_zelp_get_driver(0x31), nullptr);
}

} // namespace
