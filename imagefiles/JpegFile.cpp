#include "imagefiles/JpegFile.h"

#include "imagefiles/ByteOrder.h"
#include "imagefiles/SourceFile.h"
#include "imagefiles/WicCodec.h"

#include <wincodec.h>

namespace Tessarine::Lamino {

namespace {

bool recognises(const SourceFile& file)
{
    return file.startsWith("\xFF\xD8", 2);
}

// Walks the markers to the first start of frame, which holds height and width.
ImageLayout readHeader(const SourceFile& file)
{
    uint64_t at = 2;
    uint8_t marker[4];
    while (file.holds(at, 4)) {
        file.read(at, marker, 4);
        if (marker[0] != 0xFF) {
            file.damaged();
        }
        uint8_t kind = marker[1];
        uint32_t length = bigEndianAt(&marker[2], 2);
        bool startOfFrame = kind >= 0xC0 && kind <= 0xCF && kind != 0xC4 && kind != 0xC8
            && kind != 0xCC;
        if (startOfFrame) {
            if (!file.holds(at + 4, 5)) {
                break;
            }
            uint8_t frame[5];
            file.read(at + 4, frame, 5);
            return {bigEndianAt(&frame[3], 2), bigEndianAt(&frame[1], 2), ImageDepth::Bits8};
        }
        if (length < 2) {
            file.damaged();
        }
        at += 2 + length;
    }
    file.damaged();
}

Image decode(const SourceFile& file, const ImageLayout& layout)
{
    return WicCodec::decode(file, GUID_ContainerFormatJpeg, layout.width, layout.height);
}

}  // namespace

const ImageFormat& JpegFile::format()
{
    static const ImageFormat entry = {
        "JPEG", {}, {ImageDepth::Bits8}, recognises, readHeader, decode, nullptr,
    };
    return entry;
}

}  // namespace Tessarine::Lamino
