// kernel_usb_gadget KIND DIR: what a USB gadget made through configfs needs to pass for a
// supported bridge of kind KIND ("bridge", "boot-loader" or "atmel"), taken from the
// supported-bridge table itself: one file per configfs attribute in DIR (idVendor, idProduct and
// the HID function's report_desc, report_length, protocol and subclass), and the IDs on standard
// output as "vvvv:pppp". The gadget's serial function comes first, so its control interface is
// interface 0, and the HID function's report descriptor carries the top-level usage the row asks
// for. Exit status 2 for a kind no row fits.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hid_report_descriptor.h"
#include "link/interrupt_reports.h"
#include "supported_bridges.h"
#include "zelp_usb_devices.h"

namespace {

namespace fs = std::filesystem;

// A vendor-defined page for rows that do not check the usage.
constexpr uint16_t kVendorPage = 0xFF00;
constexpr uint16_t kVendorUsage = 0x0001;

std::optional<zio::SupportedBridge> row_for(std::string_view kind) {
    for (const zio::SupportedBridge &b : zio::supported_bridges) {
        const bool serial_first = !(b.match.addition_check & eCHECK_FUNC) || b.match.func == 0;
        if (b.kind == kind && serial_first) return b;
    }
    return std::nullopt;
}

void push_le16(std::vector<uint8_t> &d, uint8_t item, uint16_t v) {
    d.insert(d.end(), {item, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
}

// One application collection with an input and an output report of the interrupt report's size.
std::vector<uint8_t> report_descriptor(uint16_t page, uint16_t usage) {
    std::vector<uint8_t> d;
    push_le16(d, 0x06, page);  // Usage Page
    push_le16(d, 0x0A, usage); // Usage
    const auto size = static_cast<uint8_t>(zsim::kInterruptReportSize);
    d.insert(d.end(), {0xA1, 0x01,                   // Collection (Application)
                       0x15, 0x00, 0x26, 0xFF, 0x00, // Logical Minimum 0, Maximum 255
                       0x75, 0x08, 0x95, size,       // Report Size 8, Report Count
                       0x09, 0x01, 0x81, 0x02,       // Usage, Input (Data, Variable, Absolute)
                       0x09, 0x01, 0x91, 0x02,       // Usage, Output (Data, Variable, Absolute)
                       0xC0});                       // End Collection
    return d;
}

// The layer's own HID match must take the descriptor, or the gadget would test nothing.
bool accepted(const hid_Supported_PVID_t &row, const std::vector<uint8_t> &descriptor) {
    const auto top = zio::parse_hid_report_descriptor(descriptor);
    if (!top) return false;
    const HIDD_ATTRIBUTES attrib{sizeof(HIDD_ATTRIBUTES), row.vid, row.pid, 0};
    HIDP_CAPS caps{};
    caps.UsagePage = top->usage_page;
    caps.Usage = top->usage;
    return is_supported_hid_device(&attrib, &caps) == row.type;
}

bool write_file(const fs::path &file, const std::string &text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
    return static_cast<bool>(out.flush());
}

std::string hex16(uint16_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", v);
    return text;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kernel_usb_gadget KIND DIR\n");
        return 2;
    }
    const auto bridge = row_for(argv[1]);
    if (!bridge) {
        std::fprintf(stderr, "kernel_usb_gadget: no supported bridge of kind %s fits\n", argv[1]);
        return 2;
    }
    const hid_Supported_PVID_t &row = bridge->match;
    const bool usage_checked = row.addition_check & eCHECK_HIDUSAGE;
    const std::vector<uint8_t> descriptor = report_descriptor(
        usage_checked ? row.page : kVendorPage, usage_checked ? row.usage : kVendorUsage);
    if (!accepted(row, descriptor)) {
        std::fprintf(stderr, "kernel_usb_gadget: the HID match refuses the descriptor\n");
        return 1;
    }
    const fs::path dir = argv[2];
    std::error_code ec;
    fs::create_directories(dir, ec);
    const bool written =
        write_file(dir / "idVendor", hex16(row.vid) + "\n") &&
        write_file(dir / "idProduct", hex16(row.pid) + "\n") &&
        write_file(dir / "report_desc", std::string(descriptor.begin(), descriptor.end())) &&
        write_file(dir / "report_length", std::to_string(zsim::kInterruptReportSize) + "\n") &&
        write_file(dir / "protocol", "0\n") && write_file(dir / "subclass", "0\n");
    if (!written) {
        std::fprintf(stderr, "kernel_usb_gadget: cannot write into %s\n", dir.c_str());
        return 1;
    }
    std::printf("%04x:%04x\n", row.vid, row.pid);
    return 0;
}
