// A fake sysfs tree and device directory for the Linux discovery, in a temporary directory that
// the board I/O layer reads instead of /sys and /dev for as long as the object lives.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/process/temp_files.h"

namespace ztest {

class FakeSysfs {
  public:
    FakeSysfs();
    ~FakeSysfs();
    FakeSysfs(const FakeSysfs &) = delete;
    FakeSysfs &operator=(const FakeSysfs &) = delete;

    // A USB serial function: the tty's device is interface `iface` of USB device `port`.
    void add_tty(const std::string &tty, const std::string &port, uint16_t vid, uint16_t pid,
                 int iface);
    // A tty that belongs to no USB device, like a built-in UART.
    void add_platform_tty(const std::string &tty);
    // A raw HID function of USB device `port`, with its report descriptor.
    void add_hidraw(const std::string &name, const std::string &port, uint16_t vid, uint16_t pid,
                    const std::vector<uint8_t> &descriptor);
    // The serial number USB device `port` reports.
    void set_serial(const std::string &port, const std::string &serial);

    // The device node's path; `link_dev` makes it a link to `target` instead of a plain file.
    std::string dev(const std::string &name) const;
    void link_dev(const std::string &name, const std::string &target);

  private:
    std::filesystem::path usb_device(const std::string &port, uint16_t vid, uint16_t pid);

    TempDir dir_{"io_sysfs"};
    const std::filesystem::path &root_ = dir_.path();
};

} // namespace ztest
