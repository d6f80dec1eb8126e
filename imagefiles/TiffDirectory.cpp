#include "imagefiles/TiffDirectory.h"

#include "imagefiles/ByteOrder.h"
#include "imagefiles/SourceFile.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace Tessarine::Lamino {

namespace {

enum FieldType : uint16_t { kByte = 1, kShort = 3, kLong = 4 };

// More values than any tag of a readable image has (strips are at most one per row, a colour
// map of 16-bit entries has 3 x 65536).
constexpr uint32_t kMaxValues = 1u << 20;

constexpr uint16_t kWanted[] = {
    TiffDirectory::kImageWidth,      TiffDirectory::kImageLength,
    TiffDirectory::kBitsPerSample,   TiffDirectory::kCompression,
    TiffDirectory::kPhotometric,     TiffDirectory::kStripOffsets,
    TiffDirectory::kSamplesPerPixel, TiffDirectory::kRowsPerStrip,
    TiffDirectory::kStripByteCounts, TiffDirectory::kPlanarConfiguration,
    TiffDirectory::kColorMap,        TiffDirectory::kTileWidth,
    TiffDirectory::kTileLength,      TiffDirectory::kTileOffsets,
    TiffDirectory::kTileByteCounts,  TiffDirectory::kExtraSamples,
    TiffDirectory::kSampleFormat,
};

constexpr uint64_t kLargestPackingRatio = 1u << 14;

uint64_t divideUp(uint64_t value, uint64_t by)
{
    return (value + by - 1) / by;
}

}  // namespace

bool TiffDirectory::hasSignature(const SourceFile& file)
{
    return file.startsWith("II*\0", 4) || file.startsWith("MM\0*", 4);
}

uint32_t TiffDirectory::number(const uint8_t* at, int size) const
{
    return bigEndianOrder ? bigEndianAt(at, size) : littleEndianAt(at, size);
}

ImageLayout TiffDirectory::readHeader(const SourceFile& file)
{
    return TiffDirectory(file).layout(file);
}

TiffDirectory::TiffDirectory(const SourceFile& file)
{
    uint8_t head[8];
    file.read(0, head, 8);
    if (std::memcmp(head, "II*\0", 4) != 0 && std::memcmp(head, "MM\0*", 4) != 0) {
        file.fail("not a TIFF file");
    }
    bigEndianOrder = head[0] == 'M';
    uint32_t at = number(head + 4, 4);
    uint8_t countBytes[2];
    file.read(at, countBytes, 2);
    uint32_t count = number(countBytes, 2);
    std::vector<uint8_t> entries = file.bytes(uint64_t(at) + 2, size_t(count) * 12);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = entries.data() + size_t(i) * 12;
        uint16_t tag = uint16_t(number(entry, 2));
        if (std::find(std::begin(kWanted), std::end(kWanted), tag) != std::end(kWanted)) {
            tags[tag] = fieldValues(file, entry);
        }
    }
}

std::vector<uint32_t> TiffDirectory::fieldValues(const SourceFile& file, const uint8_t* entry) const
{
    uint16_t type = uint16_t(number(entry + 2, 2));
    uint32_t count = number(entry + 4, 4);
    int size = type == kShort ? 2 : type == kLong ? 4 : type == kByte ? 1 : 0;
    if (size == 0 || count == 0 || count > kMaxValues) {
        file.fail("the file is damaged (a field of an unexpected type or length)");
    }
    std::vector<uint8_t> raw(size_t(count) * size_t(size));
    if (raw.size() <= 4) {
        std::memcpy(raw.data(), entry + 8, raw.size());
    } else {
        file.read(number(entry + 8, 4), raw.data(), raw.size());
    }
    std::vector<uint32_t> result(count);
    for (uint32_t i = 0; i < count; ++i) {
        result[i] = number(raw.data() + size_t(i) * size_t(size), size);
    }
    return result;
}

const std::vector<uint32_t>& TiffDirectory::values(uint16_t tag) const
{
    static const std::vector<uint32_t> kNone;
    auto found = tags.find(tag);
    return found == tags.end() ? kNone : found->second;
}

uint32_t TiffDirectory::first(uint16_t tag, uint32_t absent) const
{
    auto found = tags.find(tag);
    return found == tags.end() ? absent : found->second[0];
}

bool TiffDirectory::allEqual(uint16_t tag, uint32_t value, uint32_t absent) const
{
    auto found = tags.find(tag);
    if (found == tags.end()) {
        return absent == value;
    }
    return std::all_of(found->second.begin(), found->second.end(),
                       [&](uint32_t v) { return v == value; });
}

ImageLayout TiffDirectory::layout(const SourceFile& file) const
{
    if (!has(kImageWidth) || !has(kImageLength)) {
        file.fail("the file is damaged (no image size)");
    }
    ImageLayout layout;
    layout.width = first(kImageWidth, 0);
    layout.height = first(kImageLength, 0);
    layout.depth = floatSamples()                  ? ImageDepth::Float32
        : first(kBitsPerSample, 1) > 8             ? ImageDepth::Bits16
                                                   : ImageDepth::Bits8;
    return layout;
}

void TiffDirectory::checkData(const SourceFile& file, uint64_t bitsPerPixel) const
{
    const uint64_t width = first(kImageWidth, 0), height = first(kImageLength, 0);
    const bool tiled = has(kTileWidth);
    const uint64_t planes = first(kPlanarConfiguration, 1) == 2 ? first(kSamplesPerPixel, 1) : 1;
    uint64_t chunkWidth = width, chunkRows, chunks;
    if (tiled) {
        chunkWidth = first(kTileWidth, 0);
        chunkRows = first(kTileLength, 0);
        if (chunkWidth == 0 || chunkRows == 0) {
            file.damaged("its tiles have no size");
        }
        chunks = divideUp(width, chunkWidth) * divideUp(height, chunkRows) * planes;
    } else {
        chunkRows = std::clamp<uint64_t>(first(kRowsPerStrip, UINT32_MAX), 1, height);
        chunks = divideUp(height, chunkRows) * planes;
    }
    const std::vector<uint32_t>& offsets = values(tiled ? kTileOffsets : kStripOffsets);
    const std::vector<uint32_t>& counts = values(tiled ? kTileByteCounts : kStripByteCounts);
    if (offsets.size() < chunks || counts.size() < chunks) {
        file.damaged("its strips hold fewer rows");
    }
    const bool uncompressed = first(kCompression, 1) == 1;
    const uint64_t rowBytes = divideUp(chunkWidth * bitsPerPixel, 8);
    const uint64_t perPlane = chunks / planes;
    uint64_t stored = 0;
    for (uint64_t i = 0; i < chunks; ++i) {
        stored += counts[i];
        if (offsets[i] < 8) {
            file.damaged("a strip starts inside the file's header");
        }
        if (counts[i] == 0 || !file.holds(offsets[i], counts[i])) {
            file.damaged("a strip lies beyond the end of the file");
        }
        // Strips are cut from the image's rows; the last one may hold fewer. Tiles are whole.
        uint64_t rows = chunkRows;
        if (!tiled) {
            rows = std::min(chunkRows, height - (i % perPlane) * chunkRows);
        }
        if (uncompressed && counts[i] < rows * rowBytes) {
            file.damaged("its strips hold fewer rows");
        }
    }
    // No compression TIFF uses packs more than about 2700:1 (LZW's longest string per code), so
    // a few kilobytes claiming gigabytes of pixels are damage, found before any allocation.
    if (!uncompressed && stored * kLargestPackingRatio < rowBytes * height * planes) {
        file.damaged("its strips are far too short for its size");
    }
}

}  // namespace Tessarine::Lamino
