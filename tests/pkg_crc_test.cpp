// The package CRC-32 against zlib's, whole and run through the register in pieces.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "morvel_packager/checksum.h"

namespace {

uint32_t zlib_crc(const std::vector<uint8_t> &bytes) {
    return static_cast<uint32_t>(crc32(0L, bytes.data(), static_cast<uInt>(bytes.size())));
}

TEST(PackageCrc, CheckValueAndEmptyInput) {
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc32_no_lib(digits, sizeof digits), 0xCBF43926u);
    EXPECT_EQ(crc32_no_lib(nullptr, 0), 0u);
    EXPECT_EQ(crc32_no_lib_init(), 0xFFFFFFFFu);
    EXPECT_EQ(crc32_no_lib_finalize(crc32_no_lib_init()), 0u);
}

TEST(PackageCrc, AgreesWithZlibWholeAndInPieces) {
    std::mt19937 rng(7);
    for (size_t size : {1u, 2u, 3u, 4u, 31u, 280u, 1000u, 4099u}) {
        std::vector<uint8_t> bytes(size);
        for (auto &b : bytes) b = static_cast<uint8_t>(rng());
        const uint32_t expected = zlib_crc(bytes);
        EXPECT_EQ(crc32_no_lib(bytes.data(), bytes.size()), expected) << size;

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

TEST(PackageCrc, EveryByteValueAndBitPattern) {
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(crc32_no_lib(all.data(), all.size()), zlib_crc(all));
    const std::vector<uint8_t> ones(64, 0xFF), zeros(64, 0x00);
    EXPECT_EQ(crc32_no_lib(ones.data(), ones.size()), zlib_crc(ones));
    EXPECT_EQ(crc32_no_lib(zeros.data(), zeros.size()), zlib_crc(zeros));
}

} // namespace
