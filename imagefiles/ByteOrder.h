#pragma once

#include <cstdint>

namespace Tessarine::Lamino {

// Unsigned numbers of `size` bytes as files store them.
inline uint32_t bigEndianAt(const uint8_t* at, int size)
{
    uint32_t value = 0;
    for (int i = 0; i < size; ++i) {
        value = value << 8 | at[i];
    }
    return value;
}

inline uint32_t littleEndianAt(const uint8_t* at, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | at[i];
    }
    return value;
}

}  // namespace Tessarine::Lamino
