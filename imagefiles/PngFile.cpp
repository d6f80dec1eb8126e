#include "imagefiles/PngFile.h"

#include "imagefiles/ByteOrder.h"
#include "imagefiles/OutputSink.h"
#include "imagefiles/SourceFile.h"
#include "imagefiles/WicCodec.h"

#include <wincodec.h>
#include <zlib.h>

#include <cstring>

namespace Tessarine::Lamino {

namespace {

constexpr uint32_t kLargestChunk = 0x7FFFFFFF;

// What IHDR says beyond the size.
struct PngHeader {
    uint32_t width, height;
    uint8_t bitDepth, colourType, interlace;
};

bool recognises(const SourceFile& file)
{
    return file.startsWith("\x89PNG\r\n\x1a\n", 8);
}

uint32_t crcOf(const uint8_t* bytes, size_t count, uint32_t crc = uint32_t(crc32(0, nullptr, 0)))
{
    return uint32_t(crc32(crc, bytes, uInt(count)));
}

int channelsOf(uint8_t colourType)
{
    switch (colourType) {
    case 0: return 1;  // grey
    case 2: return 3;  // colour
    case 3: return 1;  // palette
    case 4: return 2;  // grey and alpha
    case 6: return 4;  // colour and alpha
    }
    return 0;
}

bool validDepth(uint8_t colourType, uint8_t depth)
{
    switch (colourType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    }
    return false;
}

// The IHDR chunk comes first, with size, bit depth, colour type and interlacing, and its CRC.
PngHeader pngHeader(const SourceFile& file)
{
    const std::vector<uint8_t>& head = file.head();
    if (head.size() < 33 || bigEndianAt(&head[8], 4) != 13 || std::memcmp(&head[12], "IHDR", 4) != 0) {
        file.damaged();
    }
    if (crcOf(&head[12], 17) != bigEndianAt(&head[29], 4)) {
        file.damaged("its header's checksum is wrong");
    }
    PngHeader header{bigEndianAt(&head[16], 4), bigEndianAt(&head[20], 4), head[24], head[25],
                     head[28]};
    if (!validDepth(header.colourType, header.bitDepth) || head[26] != 0 || head[27] != 0
        || header.interlace > 1) {
        file.damaged("its header names no valid kind of PNG");
    }
    return header;
}

ImageLayout readHeader(const SourceFile& file)
{
    PngHeader header = pngHeader(file);
    return {header.width, header.height,
            header.bitDepth == 16 ? ImageDepth::Bits16 : ImageDepth::Bits8};
}

// The bytes the inflated pixel data must hold: each row of each pass its filter byte and its
// samples.
uint64_t inflatedSize(const PngHeader& header)
{
    const uint64_t bitsPerPixel = uint64_t(channelsOf(header.colourType)) * header.bitDepth;
    auto passBytes = [&](uint64_t columns, uint64_t rows) {
        return columns == 0 || rows == 0 ? 0 : rows * (1 + (columns * bitsPerPixel + 7) / 8);
    };
    if (header.interlace == 0) {
        return passBytes(header.width, header.height);
    }
    static const int kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                      {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    uint64_t total = 0;
    for (const auto& pass : kPasses) {
        auto count = [](uint64_t size, int start, int step) {
            return size > uint64_t(start) ? (size - uint64_t(start) + uint64_t(step) - 1) / uint64_t(step) : 0;
        };
        total += passBytes(count(header.width, pass[0], pass[2]), count(header.height, pass[1], pass[3]));
    }
    return total;
}

// Inflates the IDAT chunks' stream into a scratch buffer, counting what it gives: zlib checks
// the stream and its Adler-32 checksum.
class PixelStream {
public:
    PixelStream(const SourceFile& file, uint64_t expected) : file(file), expected(expected)
    {
        std::memset(&stream, 0, sizeof stream);
        if (inflateInit(&stream) != Z_OK) {
            file.fail("not enough memory to check its pixel data");
        }
    }
    ~PixelStream() { inflateEnd(&stream); }
    PixelStream(const PixelStream&) = delete;
    PixelStream& operator=(const PixelStream&) = delete;

    void feed(const uint8_t* bytes, size_t count)
    {
        stream.next_in = const_cast<Bytef*>(bytes);
        stream.avail_in = uInt(count);
        while (!ended && stream.avail_in > 0) {
            uint8_t scratch[1 << 14];
            stream.next_out = scratch;
            stream.avail_out = sizeof scratch;
            int result = inflate(&stream, Z_NO_FLUSH);
            produced += sizeof scratch - stream.avail_out;
            if (result == Z_STREAM_END) {
                ended = true;
            } else if (result != Z_OK && result != Z_BUF_ERROR) {
                file.damaged("its compressed pixel data is corrupt");
            }
            if (produced > expected) {
                file.damaged("its pixel data holds more than its size needs");
            }
        }
    }

    void requireComplete() const
    {
        if (!ended || produced != expected) {
            file.damaged("its pixel data ends early");
        }
    }

private:
    const SourceFile& file;
    uint64_t expected;
    z_stream stream;
    uint64_t produced = 0;
    bool ended = false;
};

// The CRC of a chunk's type and data, read a piece at a time; IDAT data also goes to `pixels`.
uint32_t chunkCrc(const SourceFile& file, uint64_t at, const uint8_t top[8], uint32_t length,
                  PixelStream* pixels)
{
    uint32_t crc = crcOf(top + 4, 4);
    std::vector<uint8_t> piece;
    for (uint64_t done = 0; done < length;) {
        piece.resize(size_t(std::min<uint64_t>(length - done, 1u << 16)));
        file.read(at + 8 + done, piece.data(), piece.size());
        crc = crcOf(piece.data(), piece.size(), crc);
        if (pixels) {
            pixels->feed(piece.data(), piece.size());
        }
        done += piece.size();
    }
    return crc;
}

// Walks every chunk: inside the file, its CRC right, the IDAT chunks in one run, a palette
// before them where the colour type needs one, IEND last; the IDAT stream inflates to exactly
// the rows the header promises. Wine's decoder pads or ignores what this refuses.
void checkChunks(const SourceFile& file, const PngHeader& header)
{
    PixelStream pixels(file, inflatedSize(header));
    bool palette = false, inData = false, afterData = false;
    for (uint64_t at = 8;;) {
        if (!file.holds(at, 8)) {
            file.damaged("it ends before its last chunk");
        }
        uint8_t top[8];
        file.read(at, top, 8);
        const uint32_t length = bigEndianAt(top, 4);
        if (length > kLargestChunk || !file.holds(at + 8, uint64_t(length) + 4)) {
            file.damaged("a chunk reaches past the end of the file");
        }
        const bool data = std::memcmp(top + 4, "IDAT", 4) == 0;
        if (data && afterData) {
            file.damaged("its pixel data is split by other chunks");
        }
        const uint32_t crc = chunkCrc(file, at, top, length, data ? &pixels : nullptr);
        uint8_t stored[4];
        file.read(at + 8 + length, stored, 4);
        if (crc != bigEndianAt(stored, 4)) {
            file.damaged("a chunk's checksum is wrong");
        }
        palette = palette || std::memcmp(top + 4, "PLTE", 4) == 0;
        afterData = afterData || (inData && !data);
        inData = data;
        if (data && header.colourType == 3 && !palette) {
            file.damaged("its palette is missing");
        }
        if (std::memcmp(top + 4, "IEND", 4) == 0) {
            break;
        }
        at += 12 + uint64_t(length);
    }
    pixels.requireComplete();
}

Image decode(const SourceFile& file, const ImageLayout& layout)
{
    checkChunks(file, pngHeader(file));
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
