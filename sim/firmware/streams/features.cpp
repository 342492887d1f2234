#include "firmware/streams/features.h"

namespace zsim {

uint32_t Features::read_word(uint32_t a) {
    uint32_t word = 0;
    for (uint32_t k = 0; k < 4; ++k)
        word |= static_cast<uint32_t>(static_cast<uint8_t>(frame_ + (a - address) + k)) << 8 * k;
    return word;
}

} // namespace zsim
