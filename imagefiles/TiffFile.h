#pragma once

#include "imagefiles/ImageFormat.h"

namespace Tessarine::Lamino {

// TIFF files of integer samples: read and written through Windows Imaging Component at 8 or
// 16 bits per sample (float TIFF files are FloatTiff's): the "TIFF" entry of the format table.
// No thread affinity.
class TiffFile {
public:
    static const ImageFormat& format();
};

}  // namespace Tessarine::Lamino
