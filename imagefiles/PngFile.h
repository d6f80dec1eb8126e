#pragma once

#include "imagefiles/ImageFormat.h"

namespace Tessarine::Lamino {

// PNG files: read and written through Windows Imaging Component at 8 or 16 bits per sample: the "PNG" entry of the format table.
// No thread affinity.
class PngFile {
public:
    static const ImageFormat& format();
};

}  // namespace Tessarine::Lamino
