// The package CRC-32 against zlib's, whole and run through the register in pieces.
#include <gtest/gtest.h>
#include <zlib.h>

#include <numeric>
#include <random>
#include <vector>

#include "morvel_packager/checksum.h"

namespace {

TEST(PackageCrc, CheckValueAndEmptyInput) {
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc32_no_lib(digits, sizeof digits), 0xCBF43926u);
    EXPECT_EQ(crc32_no_lib(nullptr, 0), 0u);
}

TEST(PackageCrc, AgreesWithZlibWholeAndInPieces) {
    std::mt19937 rng(7);
    std::vector<std::vector<uint8_t>> inputs = {
        std::vector<uint8_t>(256), std::vector<uint8_t>(64, 0xFF), std::vector<uint8_t>(64, 0x00)};
    std::iota(inputs[0].begin(), inputs[0].end(), uint8_t{0}); // every byte value
    for (size_t size : {1u, 2u, 3u, 4u, 31u, 280u, 1000u, 4099u}) {
        auto &bytes = inputs.emplace_back(size);
        for (auto &b : bytes) b = static_cast<uint8_t>(rng());
    }
    for (const auto &bytes : inputs) {
        const size_t size = bytes.size();
        const auto expected =
            static_cast<uint32_t>(crc32(0L, bytes.data(), static_cast<uInt>(size)));
        EXPECT_EQ(crc32_no_lib(bytes.data(), size), expected) << size;

        // Any split of the input through the running register gives the same value.
        uint32_t reg = crc32_no_lib_init();
        for (size_t pos = 0; pos < size;) {
            const size_t n = std::min<size_t>(1 + rng() % 17, size - pos);
            reg = crc32_no_lib_update(reg, bytes.data() + pos, n);
            pos += n;
        }
        EXPECT_EQ(crc32_no_lib_finalize(reg), expected) << size;
    }
}

} // namespace
