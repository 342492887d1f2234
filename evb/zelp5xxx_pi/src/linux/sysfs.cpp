#include "linux/sysfs.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <system_error>

#include "sysfs_root.h"

namespace zio {

namespace {

SysfsRoot &root_storage() {
    static SysfsRoot root;
    return root;
}

bool inside(const std::filesystem::path &p, const std::filesystem::path &root) {
    const auto rel = p.lexically_relative(root);
    return !rel.empty() && *rel.begin() != "..";
}

// Splits "ttyACM10" into "ttyACM" and 10 for ordering.
std::pair<std::string, unsigned long> name_key(const std::string &name) {
    size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
    const std::string number = name.substr(digits).substr(0, 9);
    return {name.substr(0, digits), number.empty() ? 0 : std::stoul(number)};
}

} // namespace

const SysfsRoot &sysfs_root() {
    return root_storage();
}

void set_sysfs_root(SysfsRoot root) {
    root_storage() = std::move(root);
}

std::vector<std::string> sorted_entries(const std::filesystem::path &dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end(),
              [](const std::string &a, const std::string &b) { return name_key(a) < name_key(b); });
    return names;
}

std::optional<std::string> read_attribute(const std::filesystem::path &file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) return std::nullopt;
    return line;
}

std::optional<std::vector<uint8_t>> read_binary(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::optional<unsigned long> parse_hex(const std::string &text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    unsigned long value = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        value = value * 16 + static_cast<unsigned long>(std::stoul(std::string(1, c), nullptr, 16));
    }
    return value;
}

std::optional<UsbDeviceDir> usb_device_above(const std::filesystem::path &device,
                                             const std::filesystem::path &sys) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::canonical(device, ec);
    if (ec) return std::nullopt;
    UsbDeviceDir found;
    for (; inside(p, sys); p = p.parent_path()) {
        if (!found.interface_number)
            if (auto n = read_attribute(p / "bInterfaceNumber"))
                found.interface_number = parse_hex(*n);
        const auto vid = read_attribute(p / "idVendor");
        const auto pid = read_attribute(p / "idProduct");
        if (!vid || !pid) continue;
        const auto v = parse_hex(*vid), d = parse_hex(*pid);
        if (!v || !d) return std::nullopt;
        found.dir = p;
        found.vid = static_cast<uint16_t>(*v);
        found.pid = static_cast<uint16_t>(*d);
        return found;
    }
    return std::nullopt;
}

} // namespace zio
