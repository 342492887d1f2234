// The tool's integration callbacks and check_status, the one exit for library errors.
#include <climits>
#include <unistd.h>

#include <gtest/gtest.h>

#include "callbacks.h"
#include "check_status.h"

namespace {

using testing::ExitedWithCode;

TEST(ToolCheckStatus, FailureNamesTheErrorAndExits) {
    EXPECT_EQ(check_status("io_init", 0), 0);
    EXPECT_EXIT(
        {
            ::dup2(2, 1); // the message goes to standard output; show it to the death test
            check_status("zelp_init", MORVEL_ZELP_ERROR_TIMEOUT);
        },
        ExitedWithCode(1), "^zelp_init failed: timeout\n$");
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
