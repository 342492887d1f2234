// The bridge's raw HID function, used only to learn that the chip raised its interrupt.
#pragma once

#include <memory>

namespace zio {

class HidDevice {
  public:
    virtual ~HidDevice() = default;
    // Waits up to timeout_ms (negative: no limit) for one input report and consumes it.
    // Returns a library error code: none, timeout or fail.
    virtual int wait_report(int timeout_ms) = 0;
};

// Takes ownership of an open descriptor that delivers input reports.
std::unique_ptr<HidDevice> hid_device_from_fd(int fd);

} // namespace zio
