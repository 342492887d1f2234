// Feeds arbitrary bytes to the HID report descriptor reader, which reads what a device reports
// about itself. The descriptor sits in a heap block of exactly its size, so a read past its end is
// caught.
//
// Checked besides: an input report length is either 0 (no input reports) or counts at least one
// data byte and the report ID byte; and a descriptor that reads whole is refused once an item cut
// short follows it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "hid_report_descriptor.h"

namespace {

[[noreturn]] void finding() {
    std::abort();
}

// A 4-byte Usage Page item whose data is missing.
constexpr uint8_t kCutItem = 0x07;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::vector<uint8_t> descriptor(data, data + size);
    const auto top = zio::parse_hid_report_descriptor(descriptor);
    if (!top) return 0;
    if (top->input_report_length == 1) finding();

    std::vector<uint8_t> cut = descriptor;
    cut.push_back(kCutItem);
    if (zio::parse_hid_report_descriptor(cut)) finding();
    return 0;
}
