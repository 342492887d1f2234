#include "zelp7x/config/zelp7x_config_bus.h"

#include <array>

namespace zelp7x {

int read_word(morvel_zelp_device_s *zelp, uint32_t address, uint32_t &value) {
    std::array<uint8_t, 4> b{};
    const int s = morvel_zelp7x_read_block(zelp, MCU, address, b.data(), 4);
    if (s == MORVEL_ZELP_ERROR_NONE) value = load_le32(b.data());
    return s;
}

int write_word(morvel_zelp_device_s *zelp, uint32_t address, uint32_t value) {
    std::array<uint8_t, 4> b{};
    store_le32(b.data(), value);
    return morvel_zelp7x_write_block(zelp, MCU, address, b.data(), 4);
}

int read_bytes(morvel_zelp_device_s *zelp, uint32_t address, std::span<uint8_t> out) {
    if (out.empty()) return MORVEL_ZELP_ERROR_NONE;
    return morvel_zelp7x_read_block(zelp, MCU, address, out.data(),
                                    static_cast<unsigned>(out.size()));
}

int write_bytes(morvel_zelp_device_s *zelp, uint32_t address, std::span<const uint8_t> data) {
    if (data.empty()) return MORVEL_ZELP_ERROR_NONE;
    // The block write takes a non-const pointer but only reads through it.
    return morvel_zelp7x_write_block(zelp, MCU, address, const_cast<uint8_t *>(data.data()),
                                     static_cast<unsigned>(data.size()));
}

} // namespace zelp7x
