// What the boot loader checks in the package the host streams to it, byte by byte as the
// windows arrive: the fixed header record, sane record lengths and the closing CRC-32 record
// (the CRC of every byte before the checksum value). It keeps the firmware record's value as the
// image to start. Records are back to back, tag and length little-endian words; bit 31 of a tag
// is a flag and not part of the tag number.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace zsim {

class BootPackage {
  public:
    enum class State { reading, complete, failed };
    // Fault codes the boot loader reports in its error answer (0x20 | code).
    enum Error : uint8_t { none = 0, bad_header = 1, bad_length = 2, bad_checksum = 3 };

    static constexpr uint32_t checksum_tag = 4;
    static constexpr uint32_t firmware_tag = 8;
    static constexpr uint32_t enciphered_firmware_tag = 14;
    // Modelled limits: no record is longer than the largest network parameter set, and the
    // image must fit the firmware RAM.
    static constexpr uint32_t max_record = 786432;

    explicit BootPackage(size_t max_image) : max_image_(max_image) {}

    // Takes the next bytes of the stream; bytes after the checksum record are not looked at.
    State take(std::span<const uint8_t> bytes);
    State state() const { return state_; }
    Error error() const { return error_; }
    const std::vector<uint8_t> &image() const { return image_; }

  private:
    enum class Field { header, tag, length, value, checksum };

    void take_byte(uint8_t b);
    void field_done();
    void start_value();
    void fail(Error e);

    size_t max_image_;
    State state_ = State::reading;
    Error error_ = none;
    Field field_ = Field::header;
    std::array<uint8_t, 12> bytes_{}; // the field being read
    size_t have_ = 0;                 // its bytes so far
    uint32_t tag_ = 0;
    uint32_t remaining_ = 0; // value bytes still to come
    uint32_t crc_ = 0xFFFFFFFF;
    std::vector<uint8_t> image_;
};

} // namespace zsim
