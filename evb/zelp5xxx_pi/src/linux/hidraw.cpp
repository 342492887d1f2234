// The bridge's raw HID function through hidraw: found via /sys/class/hidraw, waited on with poll.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "bridge_discovery.h"
#include "hid_report_descriptor.h"
#include "io_internal.h"
#include "linux/sysfs.h"
#include "morvel_devlib/morvel_zelp_error.h"
#include "sysfs_root.h"

namespace fs = std::filesystem;

namespace zio {

namespace {

// Interrupt reports are short; the content does not matter, only that one came.
constexpr size_t kReportBufferSize = 128;

class HidrawDevice final : public HidDevice {
  public:
    explicit HidrawDevice(int fd) : fd_(fd) {}
    ~HidrawDevice() override { ::close(fd_); }
    HidrawDevice(const HidrawDevice &) = delete;
    HidrawDevice &operator=(const HidrawDevice &) = delete;

    int wait_report(int timeout_ms, const Reporter &report) override {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + Millis(timeout_ms < 0 ? 0 : timeout_ms);
        for (;;) {
            int wait = -1;
            if (timeout_ms >= 0) {
                const auto left = std::chrono::ceil<Millis>(deadline - Clock::now()).count();
                wait = left > 0 ? static_cast<int>(left) : 0;
            }
            pollfd p{fd_, POLLIN, 0};
            const int r = ::poll(&p, 1, wait);
            if (r < 0 && errno == EINTR) continue;
            if (r == 0) return MORVEL_ZELP_ERROR_TIMEOUT;
            if (r < 0) return failed(report);
            if (!(p.revents & POLLIN)) {
                errno = ENODEV;
                return failed(report);
            }
            return consume_report(report);
        }
    }

  private:
    int consume_report(const Reporter &report) {
        std::array<uint8_t, kReportBufferSize> bytes{};
        for (;;) {
            const ssize_t n = ::read(fd_, bytes.data(), bytes.size());
            if (n >= 0) return MORVEL_ZELP_ERROR_NONE;
            if (errno != EINTR) return failed(report);
        }
    }

    static int failed(const Reporter &report) {
        print_win32_err(report);
        return MORVEL_ZELP_ERROR_FAIL;
    }

    int fd_;
};

// "HID_ID=0003:00002341:0000804F" in the HID device's uevent.
bool read_hid_ids(const fs::path &device, HIDD_ATTRIBUTES &attrib) {
    std::ifstream in(device / "uevent");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("HID_ID=", 0) != 0) continue;
        const std::string ids = line.substr(7);
        const size_t a = ids.find(':'), b = ids.rfind(':');
        if (a == std::string::npos || b == a) return false;
        const auto vid = parse_hex(ids.substr(a + 1, b - a - 1));
        const auto pid = parse_hex(ids.substr(b + 1));
        if (!vid || !pid) return false;
        attrib.VendorID = static_cast<uint16_t>(*vid);
        attrib.ProductID = static_cast<uint16_t>(*pid);
        return true;
    }
    return false;
}

// The USB device's release number, for the trace only: the first bcdDevice above the HID device.
uint16_t read_version(const fs::path &device, const fs::path &sys) {
    std::error_code ec;
    for (fs::path p = fs::canonical(device, ec);
         !ec && p.string().rfind(sys.string(), 0) == 0 && p != sys; p = p.parent_path())
        if (auto v = read_attribute(p / "bcdDevice"))
            if (auto n = parse_hex(*v)) return static_cast<uint16_t>(*n);
    return 0;
}

bool read_capabilities(const fs::path &device, HIDP_CAPS &caps) {
    const auto descriptor = read_binary(device / "report_descriptor");
    if (!descriptor) return false;
    const auto top = parse_hid_report_descriptor(*descriptor);
    if (!top) return false;
    caps.UsagePage = top->usage_page;
    caps.Usage = top->usage;
    caps.InputReportByteLength = top->input_report_length;
    return true;
}

// The IDs and top-level usage of the HID device under hidraw entry `name`.
bool identify(const fs::path &class_dir, const std::string &name, HIDD_ATTRIBUTES &attrib,
              HIDP_CAPS &caps) {
    const fs::path hid_dir = class_dir / name / "device";
    attrib = {sizeof(HIDD_ATTRIBUTES), 0, 0, 0};
    caps = {};
    return read_hid_ids(hid_dir, attrib) && read_capabilities(hid_dir, caps);
}

} // namespace

std::unique_ptr<HidDevice> hid_device_from_fd(int fd) {
    return std::make_unique<HidrawDevice>(fd);
}

std::vector<HidFunction> supported_hid_functions() {
    std::vector<HidFunction> found;
    const SysfsRoot &root = sysfs_root();
    std::error_code ec;
    const fs::path sys = fs::canonical(root.sys, ec);
    if (ec) return found;
    const fs::path class_dir = sys / "class" / "hidraw";
    for (const std::string &name : sorted_entries(class_dir)) {
        HIDD_ATTRIBUTES attrib;
        HIDP_CAPS caps;
        if (!identify(class_dir, name, attrib, caps) || !is_supported_hid_device(&attrib, &caps))
            continue;
        if (const auto usb = usb_device_above(class_dir / name / "device", sys))
            found.push_back({root.dev + "/" + name, usb->dir.string()});
    }
    return found;
}

} // namespace zio

int rawhid_open(zelp_win32_io_state_s *state) {
    if (!state) return 0;
    const std::string usb_device = zio::usb_device_of_port(state->port);
    if (usb_device.empty()) return 0;
    const zio::SysfsRoot &root = zio::sysfs_root();
    std::error_code ec;
    const fs::path sys = fs::canonical(root.sys, ec);
    if (ec) return 0;
    const fs::path class_dir = sys / "class" / "hidraw";
    for (const std::string &name : zio::sorted_entries(class_dir)) {
        const auto usb = zio::usb_device_above(class_dir / name / "device", sys);
        if (!usb || usb->dir.string() != usb_device) continue;
        const std::string path = root.dev + "/" + name;
        if (zelp_usb_debug) state->report.trace("ifdetails->DevicePath = " + path);
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        auto device = zio::hid_device_from_fd(fd); // closes the device when it is refused
        HIDD_ATTRIBUTES attrib;
        HIDP_CAPS caps;
        if (!zio::identify(class_dir, name, attrib, caps)) continue;
        attrib.VersionNumber = zio::read_version(class_dir / name / "device", sys);
        if (zelp_usb_debug) state->report.trace(zio::found_hid_trace(attrib, caps));
        if (!is_supported_hid_device(&attrib, &caps)) continue;
        // Held as long as the node is open, like the serial port: another process's interrupt
        // wait is never shared.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) continue;
        state->hid_handle = std::move(device);
        state->vendor = attrib.VendorID;
        return 1;
    }
    return 0;
}
