// CRC-32 computed bit by bit: the package reader runs on hosts where a 1 KiB table is not wanted,
// and the rate it needs is far below what the bitwise loop gives.
#include "morvel_packager/checksum.h"

#include <span>

namespace {

constexpr uint32_t reflected_polynomial = 0xEDB88320u;
constexpr uint32_t initial_register = 0xFFFFFFFFu;

constexpr uint32_t shift_in_byte(uint32_t crc, uint8_t byte) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
        const bool carry = (crc & 1u) != 0;
        crc >>= 1;
        if (carry) crc ^= reflected_polynomial;
    }
    return crc;
}

constexpr uint32_t update(uint32_t crc, std::span<const uint8_t> bytes) {
    for (const uint8_t byte : bytes) crc = shift_in_byte(crc, byte);
    return crc;
}

constexpr uint8_t check_input[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
static_assert(~update(initial_register, check_input) == 0xCBF43926u);

} // namespace

extern "C" uint32_t crc32_no_lib_init(void) {
    return initial_register;
}

extern "C" uint32_t crc32_no_lib_update(uint32_t crc, const uint8_t *bytes, size_t len) {
    if (bytes == nullptr) return crc;
    return update(crc, std::span<const uint8_t>(bytes, len));
}

extern "C" uint32_t crc32_no_lib_finalize(uint32_t crc) {
    return ~crc;
}

extern "C" uint32_t crc32_no_lib(const uint8_t *bytes, size_t len) {
    return crc32_no_lib_finalize(crc32_no_lib_update(crc32_no_lib_init(), bytes, len));
}
