#include "firmware/streams/ramp_ring.h"

namespace zsim {

namespace {
constexpr unsigned sample_bytes = 2;

// Byte j of the stream: the low, then the high byte of sample j / 2.
uint8_t stream_byte(uint64_t j) {
    const auto sample = static_cast<uint16_t>(j / sample_bytes);
    return static_cast<uint8_t>(j % sample_bytes == 0 ? sample : sample >> 8);
}
} // namespace

void RampRing::restart(Duration at) {
    origin_ = at;
    samples_ = 0;
    position_ = 0;
}

void RampRing::place(uint32_t base, uint32_t size) {
    if (base == base_ && size == size_) return;
    base_ = base;
    size_ = size;
    position_ = 0;
}

void RampRing::run_until(Duration t) {
    if (t <= origin_) return;
    const auto due = static_cast<uint64_t>((t - origin_) / period_);
    if (due <= samples_) return;
    write_bytes(samples_ * sample_bytes, (due - samples_) * sample_bytes);
    samples_ = due;
}

void RampRing::write_bytes(uint64_t first, uint64_t count) {
    if (size_ == 0) return;
    const uint64_t skipped = count > size_ ? count - size_ : 0;
    position_ = static_cast<uint32_t>((position_ + skipped) % size_);
    for (uint64_t j = first + skipped; j < first + count; ++j) {
        put_byte(base_ + position_, stream_byte(j));
        position_ = position_ + 1 == size_ ? 0 : position_ + 1;
    }
}

// Chip memory is held in words.
void RampRing::put_byte(uint32_t address, uint8_t value) {
    const uint32_t word = address & ~3u;
    const unsigned shift = 8 * (address & 3u);
    const uint32_t old = chip_.mcu_read(word);
    chip_.mcu_write(word, (old & ~(0xFFu << shift)) | uint32_t{value} << shift);
}

} // namespace zsim
