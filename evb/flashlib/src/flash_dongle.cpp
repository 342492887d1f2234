#include "flash_dongle.h"

namespace zflash {

namespace {

void put_le32(uint8_t *out, uint32_t word) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(word >> (8 * i));
}

} // namespace

std::array<uint8_t, 8> dongle_descriptor(uint32_t encoded_count, bool three_byte) {
    const int shift = three_byte ? 8 : 0;
    std::array<uint8_t, 8> d{};
    put_le32(d.data(), encoded_count << shift);
    put_le32(d.data() + 4, static_cast<uint32_t>(ATMEL_DONGLE_MAGIC_NUMBER) << shift);
    return d;
}

} // namespace zflash
