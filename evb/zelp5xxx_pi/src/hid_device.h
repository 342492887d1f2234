// The bridge's raw HID function, used only to learn that the chip raised its interrupt.
#pragma once

#include <cstddef>
#include <memory>

namespace zio {

class Reporter;

class HidDevice {
  public:
    virtual ~HidDevice() = default;
    // Waits up to timeout_ms (negative: no limit) for one input report and consumes it.
    // Returns a library error code: none, timeout or fail, whose system error goes to `report`.
    virtual int wait_report(int timeout_ms, const Reporter &report) = 0;
};

#ifdef _WIN32
// Takes ownership of a device handle opened for overlapped reads, whose input reports are at most
// `report_length` bytes; it is closed through the discovery table. Null (and the handle closed)
// when its wait event cannot be made.
std::unique_ptr<HidDevice> hid_device_from_handle(void *handle, size_t report_length);
#else
// Takes ownership of an open descriptor that delivers input reports.
std::unique_ptr<HidDevice> hid_device_from_fd(int fd);
#endif

} // namespace zio
