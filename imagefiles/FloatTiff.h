#pragma once

#include <cstdint>
#include <string>

#include "imagefiles/Image.h"
#include "imagefiles/ImageFormat.h"

namespace Tessarine::Lamino {

// Uncompressed TIFF files of 32-bit float samples, read and written here because Windows Imaging
// Component cannot write them (Wine's TIFF encoder turns float pixels into 8-bit ones): the
// "float TIFF" entry of the format table. Writes little-endian RGBA, straight alpha
// (unassociated extra sample), in strips. Reads what it writes and what other programs commonly
// write of the kind: either byte order, RGB or RGBA, interleaved samples, strips, alpha straight
// or premultiplied (divided out on reading). Anything else (compression, tiles, separate
// planes, other sample sizes) is refused with an ImageError that says what. Paths are UTF-8
// Windows paths; `shownPath` is the name messages give. No thread affinity.
class FloatTiff {
public:
    static const ImageFormat& format();

    // Writes a Float32 image (other depths are converted first) through the format's encoder.
    static void write(const Image& image, const std::string& path, const std::string& shownPath);
};

}  // namespace Tessarine::Lamino
