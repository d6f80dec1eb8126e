#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imagefiles/Image.h"

namespace Tessarine::Lamino {

class OutputSink;
class SourceFile;

// What a file holds, from its header alone.
struct ImageLayout {
    int64_t width = 0;
    int64_t height = 0;
    ImageDepth depth = ImageDepth::Bits8;  // 16 bits for anything deeper than 8 bits an
                                           // integer channel, Float32 for float TIFF and EXR
};

// The channel type of an OpenEXR file written.
enum class ExrChannelType { Half, Float };

struct ImageWriteOptions {
    // EXR only: the channel type; without it half for 8 and 16 bits, float for Float32.
    std::optional<ExrChannelType> exrChannels;
};

// One image file format, one entry of the table ImageFormats keeps: how its files are
// recognised, how a header is read (size and depth, before any pixel), how its pixels are
// decoded and an image encoded, and which depths it stores. A format that is only read has no
// extensions and no encoder.
struct ImageFormat {
    const char* name;                     // as messages and the help name it
    std::vector<std::string> extensions;  // lower case, no dot: output names written in it
    std::vector<ImageDepth> depths;       // the depths its files hold, shallowest first

    // Whether the file is one of this format's, from its signature (TIFFs: and sample format).
    bool (*recognises)(const SourceFile& file);
    // The header's size and depth; throws ImageError for a damaged or unsupported header.
    ImageLayout (*readHeader)(const SourceFile& file);
    // The pixels at the header's depth, once the caller accepted its size. What the header
    // promises is checked against the file before the image is allocated; data that ends early
    // is an error, never a picture.
    Image (*decode)(const SourceFile& file, const ImageLayout& layout);
    // Writes an image of any depth at storedDepth(its depth) into the sink.
    void (*encode)(const Image& image, const ImageWriteOptions& options, OutputSink& sink);

    bool holds(ImageDepth depth) const;
    // The depth an image of `depth` is written at: its own where the format holds it, else the
    // deepest the format holds (PNG keeps floats at 16 bits, OpenEXR 8 and 16 bits as floats).
    ImageDepth storedDepth(ImageDepth depth) const;
};

// The table of image formats: every format read and written, in the order the help lists them.
// No thread affinity.
class ImageFormats {
public:
    static const std::vector<const ImageFormat*>& all();
    // The format of a file; throws ImageError naming the formats that are read.
    static const ImageFormat& recognise(const SourceFile& file);
    // The format an output name asks for by its extension (any case) for an image of `depth`:
    // of the formats with that extension the one holding the depth, else the first; null for
    // a name no format writes.
    static const ImageFormat* forOutput(const std::string& path, ImageDepth depth);
    // "PNG, JPEG, BMP, TIFF, float TIFF or OpenEXR": the formats read, for messages and help.
    static std::string readNames();
};

}  // namespace Tessarine::Lamino
