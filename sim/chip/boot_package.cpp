#include "chip/boot_package.h"

#include <algorithm>

namespace zsim {

namespace {

constexpr std::array<uint8_t, 12> header_record = {0x01, 0x00, 0x00, 0x00, 0x04, 0x00,
                                                   0x00, 0x00, 0xA1, 0xE5, 0xBD, 0x53};
constexpr uint32_t tag_flag = 0x80000000;

// The boot ROM's own CRC-32 (reflected, polynomial 0xEDB88320), independent of the host's.
constexpr std::array<uint32_t, 256> crc_table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[i] = c;
    }
    return t;
}();

constexpr size_t field_size(bool header) {
    return header ? header_record.size() : 4;
}

uint32_t word(const std::array<uint8_t, 12> &b) {
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

} // namespace

BootPackage::State BootPackage::take(std::span<const uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size() && state_ == State::reading; ++i) take_byte(bytes[i]);
    return state_;
}

void BootPackage::take_byte(uint8_t b) {
    if (field_ != Field::checksum) crc_ = crc_table[(crc_ ^ b) & 0xFF] ^ (crc_ >> 8);
    if (field_ == Field::value) {
        if (tag_ == firmware_tag || tag_ == enciphered_firmware_tag) image_.push_back(b);
        if (--remaining_ == 0) field_ = Field::tag;
        return;
    }
    bytes_[have_++] = b;
    if (have_ == field_size(field_ == Field::header)) {
        have_ = 0;
        field_done();
    }
}

void BootPackage::field_done() {
    switch (field_) {
    case Field::header:
        if (!std::equal(header_record.begin(), header_record.end(), bytes_.begin()))
            return fail(bad_header);
        field_ = Field::tag;
        return;
    case Field::tag:
        tag_ = word(bytes_) & ~tag_flag;
        field_ = Field::length;
        return;
    case Field::length:
        return start_value();
    case Field::checksum:
        if (word(bytes_) != ~crc_) return fail(bad_checksum);
        state_ = State::complete;
        return;
    case Field::value:
        return;
    }
}

void BootPackage::start_value() {
    remaining_ = word(bytes_);
    const bool firmware = tag_ == firmware_tag || tag_ == enciphered_firmware_tag;
    if (tag_ == checksum_tag) {
        if (remaining_ != 4) return fail(bad_length);
        field_ = Field::checksum;
        return;
    }
    if (remaining_ > max_record || (firmware && remaining_ > max_image_)) return fail(bad_length);
    // The model cannot decipher: an enciphered image is kept as it came.
    if (firmware) image_.clear();
    field_ = remaining_ == 0 ? Field::tag : Field::value;
}

void BootPackage::fail(Error e) {
    error_ = e;
    state_ = State::failed;
}

} // namespace zsim
