#pragma once

#include <cstdint>
#include <string>

#include "imagefiles/Image.h"

namespace Tessarine::Lamino {

// Uncompressed TIFF files of 32-bit float samples, read and written here because Windows Imaging
// Component cannot write them (Wine's TIFF encoder turns float pixels into 8-bit ones). Writes
// little-endian RGBA, straight alpha (unassociated extra sample), in strips. Reads what it
// writes and what other programs commonly write of the kind: either byte order, RGB or RGBA,
// one sample plane, strips, alpha straight or premultiplied (divided out on reading). Anything
// else (compression, tiles, other sample sizes) is refused with an ImageError that says what.
// Paths are UTF-8 Windows paths; `shownPath` is the name messages give. No thread affinity.
class FloatTiff {
public:
    // What the first image of a TIFF file holds, from its header alone.
    struct Layout {
        int32_t width = 0;
        int32_t height = 0;
        bool floatSamples = false;  // SampleFormat says IEEE floating point
        int32_t bitsPerSample = 1;  // of the first sample
    };

    // Whether the file starts as a TIFF does ("II*\0" or "MM\0*").
    static bool hasSignature(const std::string& path);

    // Reads the first directory only (of any TIFF, float or not); throws ImageError for a file
    // that is not a readable TIFF.
    static Layout probe(const std::string& path, const std::string& shownPath);

    // Reads the first image as Float32, refusing a side beyond maxSide before reading pixels.
    static Image read(const std::string& path, const std::string& shownPath, int32_t maxSide);

    // Writes a Float32 image (other depths are converted first).
    static void write(const Image& image, const std::string& path, const std::string& shownPath);
};

}  // namespace Tessarine::Lamino
