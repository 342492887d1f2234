// The generated udev rules cover every row of the supported-bridge table.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "udev_rules.h"
#include "zelp_usb_devices.h"

namespace {

std::string ids(const hid_Supported_PVID_t &row) {
    char text[64];
    std::snprintf(text, sizeof text, "ATTRS{idVendor}==\"%04x\", ATTRS{idProduct}==\"%04x\"",
                  row.vid, row.pid);
    return text;
}

size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

} // namespace

TEST(UdevRules, EveryBridgeGetsSeatAccessAndNoModemManager) {
    const std::string rules = zelp_udev_rules();
    const std::string access = ", MODE=\"0660\", GROUP=\"plugdev\", TAG+=\"uaccess\"\n";
    for (const hid_Supported_PVID_t &row : pidvid_list) {
        SCOPED_TRACE(ids(row));
        EXPECT_EQ(count(rules, "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", " + ids(row) +
                                   ", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n"),
                  1u);
        EXPECT_EQ(count(rules, "SUBSYSTEM==\"tty\", " + ids(row) +
                                   ", ENV{ID_MM_DEVICE_IGNORE}=\"1\"" + access),
                  1u);
        EXPECT_EQ(count(rules, "SUBSYSTEM==\"hidraw\", " + ids(row) + access), 1u);
    }
    // Every rule line is one of those: nothing else grants access.
    EXPECT_EQ(count(rules, "TAG+=\"uaccess\""), count(rules, "GROUP=\"plugdev\""));
}
