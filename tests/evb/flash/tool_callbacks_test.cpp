// The tool's integration callbacks, and how a failed call ends a run.
#include <climits>
#include <unistd.h>

#include <gtest/gtest.h>

#include "callbacks.h"
#include "run_failure.h"

namespace {

TEST(ToolRunFailure, AFailedCallNamesTheStepAndTheErrorOnStandardOutput) {
    check_step("io_init", 0);
    try {
        check_step("zelp_init", MORVEL_ZELP_ERROR_TIMEOUT);
        ADD_FAILURE() << "a failed step ends the run";
    } catch (const run_failure &r) {
        EXPECT_FALSE(r.on_stderr);
        EXPECT_EQ(r.text, "zelp_init failed: timeout\n");
    }
}

TEST(ToolCallbacks, AllocationRefusesNegativeSizes) {
    void *p = zelp7x_flash_malloc(64);
    ASSERT_NE(p, nullptr);
    zelp7x_flash_free(p);
    EXPECT_EQ(zelp7x_flash_malloc(-1), nullptr);
}

TEST(ToolCallbacks, GivenDeviceTypeIsUsedWithoutTouchingTheChip) {
    device_type = 0x113; // only the low 8 bits are a type
    unsigned int type = 0;
    // A null I/O handle would fail any transfer: the type must come from -t alone.
    EXPECT_EQ(zelp7x_flash_get_type(nullptr, &type), 0);
    EXPECT_EQ(type, 0x13U);
    device_type = 0;
}

TEST(ToolCallbacks, TransferRefusesCountsTheIoLayerCannotHold) {
    EXPECT_EQ(zelp7x_flash_transfer(nullptr, 0, 0, nullptr, nullptr,
                                    static_cast<unsigned int>(INT_MAX) + 1U),
              MORVEL_ZELP_ERROR_ARG);
}

} // namespace
