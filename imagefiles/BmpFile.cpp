#include "imagefiles/BmpFile.h"

#include "imagefiles/ByteOrder.h"
#include "imagefiles/SourceFile.h"
#include "imagefiles/WicCodec.h"

#include <wincodec.h>

namespace Tessarine::Lamino {

namespace {

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kJpeg = 4,
                              kPng = 5, kAlphaBitFields = 6 };

// The file and info headers: the old core header (12 bytes, 16-bit sides) or a newer one.
struct BmpHeader {
    uint32_t pixelsAt = 0;
    uint32_t infoSize = 0;
    int64_t width = 0, height = 0;  // height negative: rows top-down
    uint32_t bitCount = 0, compression = kRgb, imageSize = 0, colours = 0;
};

bool recognises(const SourceFile& file)
{
    return file.startsWith("BM", 2);
}

BmpHeader bmpHeader(const SourceFile& file)
{
    const std::vector<uint8_t>& head = file.head();
    if (head.size() < 26) {
        file.damaged();
    }
    BmpHeader header;
    header.pixelsAt = littleEndianAt(&head[10], 4);
    header.infoSize = littleEndianAt(&head[14], 4);
    if (header.infoSize == 12) {
        header.width = littleEndianAt(&head[18], 2);
        header.height = littleEndianAt(&head[20], 2);
        header.bitCount = littleEndianAt(&head[24], 2);
        return header;
    }
    if (header.infoSize < 40 || head.size() < 50) {
        file.damaged("its info header is cut short");
    }
    header.width = int32_t(littleEndianAt(&head[18], 4));
    header.height = int32_t(littleEndianAt(&head[22], 4));
    header.bitCount = littleEndianAt(&head[28], 2);
    header.compression = littleEndianAt(&head[30], 4);
    header.imageSize = littleEndianAt(&head[34], 4);
    header.colours = littleEndianAt(&head[46], 4);
    return header;
}

ImageLayout readHeader(const SourceFile& file)
{
    BmpHeader header = bmpHeader(file);
    return {header.width, header.height < 0 ? -header.height : header.height, ImageDepth::Bits8};
}

// The colour table and the start of the pixels inside the file, and a known kind of pixels.
void checkLayout(const SourceFile& file, const BmpHeader& header)
{
    const uint32_t bits = header.bitCount;
    if (header.compression == kJpeg || header.compression == kPng) {
        file.fail("a BMP holding a JPEG or PNG image is not supported");
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        file.damaged("its header names " + std::to_string(bits) + " bits per pixel");
    }
    const bool rle = header.compression == kRle8 || header.compression == kRle4;
    if (header.compression > kAlphaBitFields || (header.compression == kRle8 && bits != 8)
        || (header.compression == kRle4 && bits != 4)
        || ((header.compression == kBitFields || header.compression == kAlphaBitFields)
            && bits != 16 && bits != 32)) {
        file.damaged("its header names an impossible compression");
    }
    if (rle && header.height < 0) {
        file.damaged("its run-length rows are top-down, which the format does not allow");
    }
    const uint64_t maxColours = bits <= 8 ? (1u << bits) : (1u << 24);
    if (header.colours > maxColours) {
        file.damaged("its colour table claims " + std::to_string(header.colours) + " colours");
    }
    uint64_t masks = header.infoSize == 40 && header.compression == kBitFields ? 12
        : header.infoSize == 40 && header.compression == kAlphaBitFields     ? 16
                                                                             : 0;
    uint64_t colours = header.colours != 0 ? header.colours : bits <= 8 ? maxColours : 0;
    uint64_t tableEnd = 14 + uint64_t(header.infoSize) + masks
        + colours * (header.infoSize == 12 ? 3 : 4);
    if (!file.holds(0, tableEnd) || header.pixelsAt < 14 + uint64_t(header.infoSize)
        || header.pixelsAt >= file.size()) {
        file.damaged("its colour table or its pixels lie outside the file");
    }
    if (!rle) {
        uint64_t rowBytes = (uint64_t(header.width) * bits + 31) / 32 * 4;
        uint64_t rows = uint64_t(header.height < 0 ? -header.height : header.height);
        if (!file.holds(header.pixelsAt, rowBytes * rows)) {
            file.damaged("its pixel rows reach past the end of the file");
        }
    }
}

// Walks a run-length stream: every run and jump inside the image, and an end marker before
// the data ends (Wine's decoder leaves what the stream misses black).
void checkRuns(const SourceFile& file, const BmpHeader& header)
{
    const bool four = header.compression == kRle4;
    const uint64_t width = uint64_t(header.width), height = uint64_t(header.height);
    SourceFile::Cursor cursor(file, header.pixelsAt);
    uint64_t x = 0, y = 0, pixels = 0;
    auto place = [&](uint64_t count) {
        if (y >= height || x + count > width) {
            file.damaged("its run-length data reaches past the image");
        }
        x += count;
        pixels += count;
    };
    for (;;) {
        uint8_t pair[2];
        if (!cursor.take(pair, 2)) {
            file.damaged("its run-length data ends before its end marker");
        }
        if (pair[0] > 0) {
            place(pair[0]);
        } else if (pair[1] == 0) {
            x = 0;
            if (++y > height) {
                file.damaged("its run-length data reaches past the image");
            }
        } else if (pair[1] == 1) {
            break;
        } else if (pair[1] == 2) {
            uint8_t jump[2];
            if (!cursor.take(jump, 2)) {
                file.damaged("its run-length data ends before its end marker");
            }
            x += jump[0];
            y += jump[1];
            if (x > width || y >= height) {
                file.damaged("its run-length data jumps past the image");
            }
        } else {
            place(pair[1]);
            uint64_t bytes = four ? (pair[1] + 1u) / 2 : pair[1];
            if (!cursor.skip(bytes + (bytes & 1))) {
                file.damaged("its run-length data ends before its end marker");
            }
        }
    }
    if (pixels == 0) {
        file.damaged("its run-length data holds no pixels");
    }
}

Image decode(const SourceFile& file, const ImageLayout& layout)
{
    BmpHeader header = bmpHeader(file);
    checkLayout(file, header);
    if (header.compression == kRle8 || header.compression == kRle4) {
        checkRuns(file, header);
    }
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
