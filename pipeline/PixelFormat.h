#pragma once

#include <cstdint>

namespace Tessarine::Lamino {

// Host pixel formats as four-character codes, first character in the lowest byte.
constexpr uint32_t kPixelFormatArgb = 0x62677261; // "argb": four 8-bit channels
constexpr uint32_t kPixelFormatAe16 = 0x36316561; // "ae16": four 16-bit channels, 0 to 32768
constexpr uint32_t kPixelFormatAe32 = 0x32336561; // "ae32": four 32-bit floats

} // namespace Tessarine::Lamino
