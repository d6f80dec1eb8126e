#include "imagefiles/BmpFile.h"

#include "imagefiles/ByteOrder.h"
#include "imagefiles/SourceFile.h"
#include "imagefiles/WicCodec.h"

#include <wincodec.h>

namespace Tessarine::Lamino {

namespace {

bool recognises(const SourceFile& file)
{
    return file.startsWith("BM", 2);
}

// The info header after the 14-byte file header; a negative height means top-down rows.
ImageLayout readHeader(const SourceFile& file)
{
    const std::vector<uint8_t>& head = file.head();
    if (head.size() < 26) {
        file.damaged();
    }
    if (littleEndianAt(&head[14], 4) == 12) {  // the old core header: 16-bit sides
        return {littleEndianAt(&head[18], 2), littleEndianAt(&head[20], 2), ImageDepth::Bits8};
    }
    int32_t height = int32_t(littleEndianAt(&head[22], 4));
    return {littleEndianAt(&head[18], 4), height < 0 ? -int64_t(height) : int64_t(height),
            ImageDepth::Bits8};
}

Image decode(const SourceFile& file, const ImageLayout& layout)
{
    return WicCodec::decode(file, GUID_ContainerFormatBmp, layout.width, layout.height);
}

}  // namespace

const ImageFormat& BmpFile::format()
{
    static const ImageFormat entry = {
        "BMP", {}, {ImageDepth::Bits8}, recognises, readHeader, decode, nullptr,
    };
    return entry;
}

}  // namespace Tessarine::Lamino
