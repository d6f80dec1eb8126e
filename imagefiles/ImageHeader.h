#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "imagefiles/Image.h"

namespace Tessarine::Lamino {

// The size and sample depth of a PNG, BMP or JPEG file read from its first bytes, without
// decoding: Wine's WIC decoders decode the whole image as soon as it is opened, so asking them
// for the size of a huge image costs as much as reading it. No thread affinity.
class ImageHeader {
public:
    struct Layout {
        int32_t width = 0;
        int32_t height = 0;
        ImageDepth depth = ImageDepth::Bits8;
    };

    // The layout of a file of one of these formats (recognised by its signature); nothing for
    // another format. Throws ImageError for a file of one of them whose header is cut off or
    // damaged. `shownPath` is the name messages give.
    static std::optional<Layout> read(const std::string& path, const std::string& shownPath);
};

}  // namespace Tessarine::Lamino
