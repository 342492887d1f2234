// A reader for HID report descriptors: short items only carry what the match needs, long items
// are skipped whole.
#include "hid_report_descriptor.h"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <vector>

namespace zio {

namespace {

enum ItemType : uint8_t { kMain = 0, kGlobal = 1, kLocal = 2 };

// Tags within each type.
constexpr uint8_t kInput = 0x8, kCollection = 0xA, kEndCollection = 0xC;
constexpr uint8_t kUsagePage = 0x0, kReportSize = 0x7, kReportId = 0x8, kReportCount = 0x9,
                  kPush = 0xA, kPop = 0xB;
constexpr uint8_t kUsage = 0x0;
constexpr uint8_t kLongItem = 0xFE;

constexpr std::array<size_t, 4> kDataSize = {0, 1, 2, 4};
constexpr uint64_t kMaxBits = std::numeric_limits<uint64_t>::max();

struct Item {
    uint8_t type;
    uint8_t tag;
    size_t size;
    uint32_t data;
};

struct Globals {
    uint32_t usage_page = 0;
    uint32_t report_size = 0;
    uint32_t report_count = 0;
    uint32_t report_id = 0;
};

struct Walker {
    Globals globals;
    std::vector<Globals> stack;
    std::optional<Item> usage; // local: up to the next main item
    int depth = 0;
    bool top_level_found = false;
    HidTopLevel top;
    std::map<uint32_t, uint64_t> input_bits; // per report ID

    void global(const Item &item) {
        switch (item.tag) {
        case kUsagePage:
            globals.usage_page = item.data;
            break;
        case kReportSize:
            globals.report_size = item.data;
            break;
        case kReportCount:
            globals.report_count = item.data;
            break;
        case kReportId:
            globals.report_id = item.data;
            break;
        case kPush:
            stack.push_back(globals);
            break;
        case kPop:
            if (!stack.empty()) {
                globals = stack.back();
                stack.pop_back();
            }
            break;
        default:
            break;
        }
    }

    void main(const Item &item) {
        if (item.tag == kCollection) {
            if (depth == 0 && !top_level_found) record_top_level();
            ++depth;
        } else if (item.tag == kEndCollection) {
            depth = std::max(0, depth - 1);
        } else if (item.tag == kInput) {
            add_input_bits(uint64_t(globals.report_size) * globals.report_count);
        }
        usage.reset();
    }

    // A device may declare sizes and counts of up to 32 bits each; the sum stops at the largest
    // value rather than wrapping round to a small, plausible length.
    void add_input_bits(uint64_t bits) {
        uint64_t &total = input_bits[globals.report_id];
        total = bits > kMaxBits - total ? kMaxBits : total + bits;
    }

    void record_top_level() {
        top_level_found = true;
        const uint32_t u = usage ? usage->data : 0;
        // A 4-byte usage names its own page in the high half, even page 0.
        const bool extended = usage && usage->size == 4;
        top.usage_page = static_cast<uint16_t>(extended ? u >> 16 : globals.usage_page);
        top.usage = static_cast<uint16_t>(u);
    }

    uint16_t input_report_length() const {
        uint64_t longest = 0;
        for (const auto &[id, bits] : input_bits) longest = std::max(longest, bits);
        if (longest == 0) return 0;
        // The ID byte is counted whether or not the device numbers its reports.
        return static_cast<uint16_t>(
            std::min<uint64_t>(longest / 8 + (longest % 8 != 0) + 1, 0xFFFF));
    }
};

uint32_t little_endian(std::span<const uint8_t> bytes) {
    uint32_t v = 0;
    for (size_t i = 0; i < bytes.size(); ++i) v |= uint32_t(bytes[i]) << (8 * i);
    return v;
}

} // namespace

std::optional<HidTopLevel> parse_hid_report_descriptor(std::span<const uint8_t> descriptor) {
    Walker walker;
    size_t pos = 0;
    while (pos < descriptor.size()) {
        const uint8_t prefix = descriptor[pos];
        if (prefix == kLongItem) {
            if (pos + 1 >= descriptor.size()) return std::nullopt;
            const size_t skip = 3 + size_t(descriptor[pos + 1]);
            if (descriptor.size() - pos < skip) return std::nullopt;
            pos += skip;
            continue;
        }
        const size_t size = kDataSize[prefix & 3];
        if (descriptor.size() - pos - 1 < size) return std::nullopt;
        const Item item{static_cast<uint8_t>((prefix >> 2) & 3), static_cast<uint8_t>(prefix >> 4),
                        size, little_endian(descriptor.subspan(pos + 1, size))};
        pos += 1 + size;
        if (item.type == kGlobal)
            walker.global(item);
        else if (item.type == kLocal && item.tag == kUsage && !walker.usage)
            walker.usage = item;
        else if (item.type == kMain)
            walker.main(item);
    }
    if (!walker.top_level_found) walker.record_top_level();
    HidTopLevel result = walker.top;
    result.input_report_length = walker.input_report_length();
    return result;
}

} // namespace zio
