#pragma once

#include <cstdint>
#include <string>

#include "imagefiles/Image.h"
#include "imagefiles/ImageFormat.h"

namespace Tessarine::Lamino {

// OpenEXR files through the OpenEXR library (linked into the tool only): the "OpenEXR" entry of
// the format table. An EXR holds premultiplied colour, the tool's images straight colour:
// writing multiplies red, green and blue by alpha, reading divides them by it where alpha is
// not 0 (where it is, the colour read is the colour stored). Reads the first part's R, G, B and
// A channels, or Y as grey, or luminance and chroma (Y, RY, BY) converted to RGB by the library;
// half or float, as Float32 over its data window; a missing A is opaque. The header is checked
// by ExrHeader before the library sees the file; the library then reads and writes through the
// tool's own checked file access, under the name messages give. No thread affinity.
class ExrFile {
public:
    using Channels = ExrChannelType;

    static const ImageFormat& format();
};

}  // namespace Tessarine::Lamino
