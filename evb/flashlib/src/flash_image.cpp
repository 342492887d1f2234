#include "flash_image.h"

#include <algorithm>

#include "morvel_flash/morvel_zelp7x_flash.h"

namespace zflash {

void encode(std::span<const uint8_t> data, bool three_byte, std::span<uint8_t> flash) {
    std::ranges::fill(flash, uint8_t{0xFF});
    size_t j = 0;
    for (size_t i = 0; i < flash.size() && j < data.size(); ++i)
        if (!is_filler(i, three_byte)) flash[i] = data[j++];
}

size_t decode(std::span<const uint8_t> flash, bool three_byte, std::span<uint8_t> data) {
    size_t j = 0;
    for (size_t i = 0; i < flash.size() && j < data.size(); ++i)
        if (!is_filler(i, three_byte)) data[j++] = flash[i];
    return j;
}

uint16_t bsd_sum(std::span<const uint8_t> data, uint16_t sum) {
    for (uint8_t c : data) {
        sum = static_cast<uint16_t>(sum >> 1 | (sum & 1) << 15);
        sum = static_cast<uint16_t>(sum + c);
    }
    return sum;
}

} // namespace zflash

extern "C" {

int64_t morvel_zelp7x_flash_encoded_data_size(int64_t count, int three_byte) {
    if (!three_byte || count <= 0) return count;
    // Three data bytes after each filler: the last one sits one place past its group's filler.
    const int64_t last = count - 1;
    return last / 3 * 4 + last % 3 + 2;
}

int64_t morvel_zelp7x_flash_encoded_size(int64_t count, int three_byte) {
    return (morvel_zelp7x_flash_encoded_data_size(count, three_byte) + 3) / 4 * 4;
}

void morvel_zelp7x_flash_encode(const uint8_t *data, uint32_t count, int three_byte, uint8_t *flash,
                                uint32_t flash_count) {
    if (flash == nullptr) return;
    zflash::encode(std::span(data, data != nullptr ? count : 0), three_byte != 0,
                   std::span(flash, flash_count));
}

} // extern "C"
