#pragma once

#include <cstdint>
#include <string>

#include "imagefiles/Image.h"

namespace Tessarine::Lamino {

// OpenEXR files through the OpenEXR library (linked into the tool only). An EXR holds
// premultiplied colour, the tool's images straight colour: writing multiplies red, green and
// blue by alpha, reading divides them by it where alpha is not 0 (where it is, the colour read
// is the colour stored). Reads the first part's R, G, B and A channels (or Y as grey; a missing
// A is opaque), half or float, as Float32 over its data window. Library failures become
// ImageErrors naming the file. Paths are UTF-8 Windows paths; `shownPath` is the name messages
// give. No thread affinity.
class ExrFile {
public:
    enum class Channels { Half, Float };

    // Whether the file starts with the OpenEXR magic number.
    static bool hasSignature(const std::string& path);

    // The size of the data window, from the header alone.
    static void probe(const std::string& path, const std::string& shownPath, int32_t& width,
                      int32_t& height);

    // Reads the pixels, refusing a side beyond maxSide before reading them.
    static Image read(const std::string& path, const std::string& shownPath, int32_t maxSide);

    // Writes R, G, B, A channels of the given type, ZIP-compressed. Half channels clip to the
    // largest half magnitude, 65504, rather than turn into infinity.
    static void write(const Image& image, Channels channels, const std::string& path,
                      const std::string& shownPath);
};

}  // namespace Tessarine::Lamino
