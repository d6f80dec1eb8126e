#include "imagefiles/TiffFile.h"

#include "imagefiles/ImageError.h"
#include "imagefiles/OutputSink.h"
#include "imagefiles/SourceFile.h"
#include "imagefiles/TiffDirectory.h"
#include "imagefiles/WicCodec.h"

#include <wincodec.h>

namespace Tessarine::Lamino {

namespace {

bool recognises(const SourceFile& file)
{
    if (!TiffDirectory::hasSignature(file)) {
        return false;
    }
    try {
        return !TiffDirectory(file).floatSamples();
    } catch (const ImageError&) {
        return true;  // its header reading says what is damaged
    }
}

ImageLayout readHeader(const SourceFile& file)
{
    return TiffDirectory(file).layout(file);
}

Image decode(const SourceFile& file, const ImageLayout& layout)
{
    return WicCodec::decode(file, GUID_ContainerFormatTiff, layout.width, layout.height);
}

void encode(const Image& image, const ImageWriteOptions&, OutputSink& sink)
{
    WicCodec::encode(GUID_ContainerFormatTiff, image, sink, sink.path());
}

}  // namespace

const ImageFormat& TiffFile::format()
{
    static const ImageFormat entry = {
        "TIFF", {"tif", "tiff"}, {ImageDepth::Bits8, ImageDepth::Bits16}, recognises, readHeader,
        decode, encode,
    };
    return entry;
}

}  // namespace Tessarine::Lamino
