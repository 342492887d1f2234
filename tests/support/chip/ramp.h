// The simulated chip's rings hold ramps: 16-bit little-endian samples, sample n holding
// n mod 65536, so any gap, repeat or misplaced wrap shows.
#pragma once

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace ztest {

// The value of the last sample; 0 when there is none.
inline uint32_t last_sample(const std::vector<uint8_t> &bytes) {
    const size_t n = bytes.size();
    return n < 2 ? 0 : uint32_t(bytes[n - 2] | bytes[n - 1] << 8);
}

// Samples that count up by one, the last holding `last`.
inline void expect_ramp(const std::vector<uint8_t> &bytes, uint32_t last) {
    ASSERT_EQ(bytes.size() % 2, 0u);
    const size_t n = bytes.size() / 2;
    for (size_t i = 0; i < n; ++i)
        ASSERT_EQ(bytes[2 * i] | bytes[2 * i + 1] << 8, (last - (n - 1 - i)) & 0xFFFF) << i;
}

} // namespace ztest
