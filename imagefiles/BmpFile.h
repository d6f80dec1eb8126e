#pragma once

#include "imagefiles/ImageFormat.h"

namespace Tessarine::Lamino {

// BMP files: read through Windows Imaging Component (8 bits per sample): the "BMP" entry of the format table.
// No thread affinity.
class BmpFile {
public:
    static const ImageFormat& format();
};

}  // namespace Tessarine::Lamino
