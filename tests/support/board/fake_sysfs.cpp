#include "support/board/fake_sysfs.h"

#include <cstdio>
#include <fstream>

#include "sysfs_root.h"

namespace fs = std::filesystem;

namespace ztest {

namespace {

std::string hex(unsigned v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*x", digits, v);
    return buf;
}

void write(const fs::path &file, const std::string &text) {
    std::ofstream(file) << text;
}

void link_device(const fs::path &class_entry, const fs::path &target) {
    fs::create_directories(class_entry);
    fs::create_directory_symlink(target, class_entry / "device");
}

} // namespace

FakeSysfs::FakeSysfs() {
    fs::create_directories(root_ / "sys/class/tty");
    fs::create_directories(root_ / "sys/class/hidraw");
    fs::create_directories(root_ / "dev");
    zio::set_sysfs_root({(root_ / "sys").string(), (root_ / "dev").string()});
}

FakeSysfs::~FakeSysfs() {
    zio::set_sysfs_root({});
}

void FakeSysfs::add_tty(const std::string &tty, const std::string &port, uint16_t vid, uint16_t pid,
                        int iface) {
    const fs::path interface = usb_device(port, vid, pid) / (port + ":1." + std::to_string(iface));
    fs::create_directories(interface);
    write(interface / "bInterfaceNumber", hex(static_cast<unsigned>(iface), 2));
    link_device(root_ / "sys/class/tty" / tty, interface);
    write(root_ / "dev" / tty, "");
}

void FakeSysfs::add_platform_tty(const std::string &tty) {
    const fs::path dev = root_ / "sys/devices/platform/serial8250";
    fs::create_directories(dev);
    link_device(root_ / "sys/class/tty" / tty, dev);
}

void FakeSysfs::add_hidraw(const std::string &name, const std::string &port, uint16_t vid,
                           uint16_t pid, const std::vector<uint8_t> &descriptor) {
    const fs::path interface = usb_device(port, vid, pid) / (port + ":1.3");
    const fs::path hid = interface / ("0003:" + hex(vid, 4) + ":" + hex(pid, 4) + "." + name);
    fs::create_directories(hid);
    write(hid / "uevent", "DRIVER=hid-generic\nHID_ID=0003:0000" + hex(vid, 4) + ":0000" +
                              hex(pid, 4) + "\nHID_NAME=bridge\n");
    std::ofstream(hid / "report_descriptor", std::ios::binary)
        .write(reinterpret_cast<const char *>(descriptor.data()),
               static_cast<std::streamsize>(descriptor.size()));
    link_device(root_ / "sys/class/hidraw" / name, hid);
    write(root_ / "dev" / name, "");
}

void FakeSysfs::set_serial(const std::string &port, const std::string &serial) {
    write(root_ / "sys/devices/pci0000:00/usb1" / port / "serial", serial + "\n");
}

std::string FakeSysfs::dev(const std::string &name) const {
    return (root_ / "dev" / name).string();
}

void FakeSysfs::link_dev(const std::string &name, const std::string &target) {
    fs::remove(root_ / "dev" / name);
    fs::create_symlink(target, root_ / "dev" / name);
}

fs::path FakeSysfs::usb_device(const std::string &port, uint16_t vid, uint16_t pid) {
    const fs::path device = root_ / "sys/devices/pci0000:00/usb1" / port;
    fs::create_directories(device);
    write(device / "idVendor", hex(vid, 4) + "\n");
    write(device / "idProduct", hex(pid, 4) + "\n");
    write(device / "bcdDevice", "0102\n");
    return device;
}

} // namespace ztest
