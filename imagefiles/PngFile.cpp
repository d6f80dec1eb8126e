#include "imagefiles/PngFile.h"

#include "imagefiles/ByteOrder.h"
#include "imagefiles/OutputSink.h"
#include "imagefiles/SourceFile.h"
#include "imagefiles/WicCodec.h"

#include <wincodec.h>

#include <cstring>

namespace Tessarine::Lamino {

namespace {

bool recognises(const SourceFile& file)
{
    return file.startsWith("\x89PNG\r\n\x1a\n", 8);
}

// The IHDR chunk comes first, with width, height and bits per sample.
ImageLayout readHeader(const SourceFile& file)
{
    const std::vector<uint8_t>& head = file.head();
    if (head.size() < 25 || std::memcmp(&head[12], "IHDR", 4) != 0) {
        file.damaged();
    }
    return {bigEndianAt(&head[16], 4), bigEndianAt(&head[20], 4),
            head[24] == 16 ? ImageDepth::Bits16 : ImageDepth::Bits8};
}

Image decode(const SourceFile& file, const ImageLayout& layout)
{
    return WicCodec::decode(file, GUID_ContainerFormatPng, layout.width, layout.height);
}

void encode(const Image& image, const ImageWriteOptions&, OutputSink& sink)
{
    WicCodec::encode(GUID_ContainerFormatPng, image, sink, sink.path());
}

}  // namespace

const ImageFormat& PngFile::format()
{
    static const ImageFormat entry = {
        "PNG", {"png"}, {ImageDepth::Bits8, ImageDepth::Bits16}, recognises, readHeader, decode,
        encode,
    };
    return entry;
}

}  // namespace Tessarine::Lamino
