#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "imagefiles/ImageFormat.h"

namespace Tessarine::Lamino {

class SourceFile;

// The first directory of a TIFF file, read in the byte order its header names: the tags an
// image reader needs, each as its list of values; and the check of its strips or tiles against
// the file. Both TIFF entries (8 and 16-bit through WIC, float of its own) read it. No thread
// affinity.
class TiffDirectory {
public:
    enum Tag : uint16_t {
        kImageWidth = 256,
        kImageLength = 257,
        kBitsPerSample = 258,
        kCompression = 259,
        kPhotometric = 262,
        kStripOffsets = 273,
        kSamplesPerPixel = 277,
        kRowsPerStrip = 278,
        kStripByteCounts = 279,
        kPlanarConfiguration = 284,
        kColorMap = 320,
        kTileWidth = 322,
        kTileLength = 323,
        kTileOffsets = 324,
        kTileByteCounts = 325,
        kExtraSamples = 338,
        kSampleFormat = 339,
    };

    static bool hasSignature(const SourceFile& file);

    // Reads the first directory; throws ImageError for one that is not inside the file.
    explicit TiffDirectory(const SourceFile& file);

    bool bigEndian() const { return bigEndianOrder; }
    bool has(uint16_t tag) const { return tags.count(tag) != 0; }
    const std::vector<uint32_t>& values(uint16_t tag) const;  // empty when absent
    uint32_t first(uint16_t tag, uint32_t absent) const;
    // Whether every value of the tag is `value` (`absent` stands for a missing tag).
    bool allEqual(uint16_t tag, uint32_t value, uint32_t absent) const;
    bool floatSamples() const { return first(kSampleFormat, 1) == 3; }

    // The size (refused when missing) and the depth: Float32 for float samples, 16 bits for
    // integers deeper than 8 bits, else 8.
    ImageLayout layout(const SourceFile& file) const;
    // The layout of a TIFF file's first image, read from its directory: both TIFF entries'
    // header reading.
    static ImageLayout readHeader(const SourceFile& file);

    // Refuses strips or tiles the file does not hold: fewer than the image needs, starting
    // inside the file's header, reaching past its end, or (uncompressed) shorter than their
    // rows of `bitsPerPixel` (of one plane for separate planes).
    void checkData(const SourceFile& file, uint64_t bitsPerPixel) const;

private:
    std::vector<uint32_t> fieldValues(const SourceFile& file, const uint8_t* entry) const;
    uint32_t number(const uint8_t* at, int size) const;

    bool bigEndianOrder = false;
    std::map<uint16_t, std::vector<uint32_t>> tags;
};

}  // namespace Tessarine::Lamino
