#pragma once

#include <windows.h>

#include <string>

#include "imagefiles/Image.h"

namespace Tessarine::Lamino {

class OutputSink;
class SourceFile;

// Decoding and encoding through Windows Imaging Component, for the formats it handles (PNG,
// JPEG, BMP, 8 and 16-bit TIFF) once their own entries have checked a file's structure: Wine's
// decoders pad what is missing instead of failing, so nothing reaches them unchecked. 8-bit
// pixels go through WIC's converter to BGRA; 16-bit layouts are copied as WIC hands them out
// (Wine's converter makes only 8-bit ones). Any thread; each call initialises COM on its thread
// for its own duration.
class WicCodec {
public:
    // The first frame, 16 bits deep where WIC hands out 16-bit samples, else 8; refuses a frame
    // whose size is not the header's.
    static Image decode(const SourceFile& file, const GUID& container, int64_t width,
                        int64_t height);
    // Writes 8-bit images as 8 bits, others as 16 bits per sample, straight alpha.
    static void encode(const GUID& container, const Image& image, OutputSink& sink,
                       const std::string& shownPath);
};

}  // namespace Tessarine::Lamino
