#pragma once

#include "imagefiles/ImageFormat.h"

namespace Tessarine::Lamino {

// JPEG files: read through Windows Imaging Component (8 bits per sample): the "JPEG" entry of the format table.
// No thread affinity.
class JpegFile {
public:
    static const ImageFormat& format();
};

}  // namespace Tessarine::Lamino
