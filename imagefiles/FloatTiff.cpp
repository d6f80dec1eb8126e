#include "imagefiles/FloatTiff.h"

#include "imagefiles/ImageIO.h"
#include "unicode/Utf8.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <new>
#include <vector>

namespace Tessarine::Lamino {

namespace {

enum Tag : uint16_t {
    kImageWidth = 256,
    kImageLength = 257,
    kBitsPerSample = 258,
    kCompression = 259,
    kPhotometric = 262,
    kStripOffsets = 273,
    kSamplesPerPixel = 277,
    kRowsPerStrip = 278,
    kStripByteCounts = 279,
    kPlanarConfiguration = 284,
    kTileWidth = 322,
    kExtraSamples = 338,
    kSampleFormat = 339,
};

enum FieldType : uint16_t { kByte = 1, kShort = 3, kLong = 4 };

constexpr uint16_t kSampleFormatFloat = 3;
constexpr uint16_t kPhotometricRgb = 2;
constexpr uint16_t kAssociatedAlpha = 1;
constexpr uint16_t kUnassociatedAlpha = 2;
// More values than any tag of a readable image has (strips are at most one per row).
constexpr uint32_t kMaxValues = 1u << 20;

// Random access to the file with the byte order its header names.
class TiffReader {
public:
    TiffReader(const std::string& path, const std::string& shownPath)
        : in(utf8ToWide(path).c_str(), std::ios::binary), shownPath(shownPath)
    {
        if (!in) {
            fail("the file cannot be opened");
        }
        in.seekg(0, std::ios::end);
        fileSize = uint64_t(in.tellg());
        uint8_t head[8];
        bytes(0, head, 8);
        if (std::memcmp(head, "II*\0", 4) == 0) {
            bigEndian = false;
        } else if (std::memcmp(head, "MM\0*", 4) == 0) {
            bigEndian = true;
        } else {
            fail("not a TIFF file");
        }
        firstDirectory = number(head + 4, 4);
    }

    [[noreturn]] void fail(const std::string& reason) const
    {
        throw ImageError("cannot read '" + shownPath + "': " + reason);
    }

    void bytes(uint64_t offset, void* out, size_t count)
    {
        if (offset > fileSize || count > fileSize - offset) {
            fail("the file is damaged or truncated");
        }
        in.seekg(std::streamoff(offset));
        in.read(static_cast<char*>(out), std::streamsize(count));
        if (!in) {
            fail("the file is damaged or truncated");
        }
    }

    uint32_t number(const uint8_t* at, int size) const
    {
        uint32_t value = 0;
        for (int i = 0; i < size; ++i) {
            value |= uint32_t(at[bigEndian ? size - 1 - i : i]) << (8 * i);
        }
        return value;
    }

    bool bigEndian = false;
    uint32_t firstDirectory = 0;

private:
    std::ifstream in;
    std::string shownPath;
    uint64_t fileSize = 0;
};

// The tags of the first directory that a float image needs, each as its list of values.
using Directory = std::map<uint16_t, std::vector<uint32_t>>;

std::vector<uint32_t> fieldValues(TiffReader& reader, const uint8_t* entry)
{
    uint16_t type = uint16_t(reader.number(entry + 2, 2));
    uint32_t count = reader.number(entry + 4, 4);
    int size = type == kShort ? 2 : type == kLong ? 4 : type == kByte ? 1 : 0;
    if (size == 0 || count == 0 || count > kMaxValues) {
        reader.fail("the file is damaged (a field of an unexpected type or length)");
    }
    std::vector<uint8_t> raw(size_t(count) * size_t(size));
    if (raw.size() <= 4) {
        std::memcpy(raw.data(), entry + 8, raw.size());
    } else {
        reader.bytes(reader.number(entry + 8, 4), raw.data(), raw.size());
    }
    std::vector<uint32_t> values(count);
    for (uint32_t i = 0; i < count; ++i) {
        values[i] = reader.number(raw.data() + size_t(i) * size_t(size), size);
    }
    return values;
}

Directory readDirectory(TiffReader& reader)
{
    static const uint16_t kWanted[]
        = {kImageWidth,     kImageLength,     kBitsPerSample,       kCompression,
           kPhotometric,    kStripOffsets,    kSamplesPerPixel,     kRowsPerStrip,
           kStripByteCounts, kPlanarConfiguration, kTileWidth, kExtraSamples, kSampleFormat};
    uint8_t countBytes[2];
    reader.bytes(reader.firstDirectory, countBytes, 2);
    uint32_t count = reader.number(countBytes, 2);
    std::vector<uint8_t> entries(size_t(count) * 12);
    reader.bytes(uint64_t(reader.firstDirectory) + 2, entries.data(), entries.size());
    Directory directory;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = entries.data() + size_t(i) * 12;
        uint16_t tag = uint16_t(reader.number(entry, 2));
        if (std::find(std::begin(kWanted), std::end(kWanted), tag) != std::end(kWanted)) {
            directory[tag] = fieldValues(reader, entry);
        }
    }
    return directory;
}

uint32_t first(const Directory& directory, uint16_t tag, uint32_t absent)
{
    auto found = directory.find(tag);
    return found == directory.end() ? absent : found->second[0];
}

bool allEqual(const Directory& directory, uint16_t tag, uint32_t value, uint32_t absent)
{
    auto found = directory.find(tag);
    if (found == directory.end()) {
        return absent == value;
    }
    return std::all_of(found->second.begin(), found->second.end(),
                       [&](uint32_t v) { return v == value; });
}

FloatTiff::Layout layoutOf(TiffReader& reader, const Directory& directory)
{
    FloatTiff::Layout layout;
    if (!directory.count(kImageWidth) || !directory.count(kImageLength)) {
        reader.fail("the file is damaged (no image size)");
    }
    uint32_t width = first(directory, kImageWidth, 0), height = first(directory, kImageLength, 0);
    layout.width = int32_t(std::min<uint32_t>(width, INT32_MAX));
    layout.height = int32_t(std::min<uint32_t>(height, INT32_MAX));
    layout.floatSamples = first(directory, kSampleFormat, 1) == kSampleFormatFloat;
    layout.bitsPerSample = int32_t(std::min<uint32_t>(first(directory, kBitsPerSample, 1), 64));
    return layout;
}

// Refuses what this reader cannot read, with the reason; returns the samples per pixel.
uint32_t checkReadable(TiffReader& reader, const Directory& directory)
{
    uint32_t samples = first(directory, kSamplesPerPixel, 1);
    if (directory.count(kTileWidth)) {
        reader.fail("a tiled float TIFF cannot be read (only strips)");
    }
    if (first(directory, kCompression, 1) != 1) {
        reader.fail("a compressed float TIFF cannot be read (only uncompressed)");
    }
    if (first(directory, kPhotometric, kPhotometricRgb) != kPhotometricRgb
        || (samples != 3 && samples != 4)) {
        reader.fail("only RGB and RGBA float TIFF files can be read");
    }
    if (samples == 4 && first(directory, kPlanarConfiguration, 1) != 1) {
        reader.fail("a float TIFF with separate sample planes cannot be read");
    }
    if (!allEqual(directory, kBitsPerSample, 32, 1) || !allEqual(directory, kSampleFormat, 3, 1)) {
        reader.fail("only 32-bit float samples can be read from a float TIFF");
    }
    if (!directory.count(kStripOffsets) || !directory.count(kStripByteCounts)
        || directory.at(kStripOffsets).size() != directory.at(kStripByteCounts).size()) {
        reader.fail("the file is damaged (no or inconsistent strips)");
    }
    return samples;
}

float sampleAt(const uint8_t* at, bool bigEndian)
{
    uint8_t ordered[4];
    for (int i = 0; i < 4; ++i) {
        ordered[i] = at[bigEndian ? 3 - i : i];
    }
    float value;
    std::memcpy(&value, ordered, 4);
    return value;
}

// The strips' rows into the image, in order.
void readStrips(TiffReader& reader, const Directory& directory, uint32_t samples, Image& image)
{
    const std::vector<uint32_t>& offsets = directory.at(kStripOffsets);
    const std::vector<uint32_t>& counts = directory.at(kStripByteCounts);
    uint32_t rowsPerStrip
        = std::max<uint32_t>(1, first(directory, kRowsPerStrip, uint32_t(image.height)));
    size_t rowBytes = size_t(image.width) * samples * 4;
    std::vector<uint8_t> row(rowBytes);
    for (int32_t y = 0; y < image.height; ++y) {
        size_t strip = size_t(uint32_t(y) / rowsPerStrip);
        size_t within = size_t(uint32_t(y) % rowsPerStrip) * rowBytes;
        if (strip >= offsets.size() || within + rowBytes > counts[strip]) {
            reader.fail("the file is damaged or truncated (its strips hold fewer rows)");
        }
        reader.bytes(uint64_t(offsets[strip]) + within, row.data(), rowBytes);
        float* target = image.pixelFloat(0, y);
        for (int32_t x = 0; x < image.width; ++x, target += 4) {
            const uint8_t* source = row.data() + size_t(x) * samples * 4;
            for (uint32_t c = 0; c < samples; ++c) {
                target[c] = sampleAt(source + c * 4, reader.bigEndian);
            }
        }
    }
}

// ---- writing

class TiffWriter {
public:
    void field(uint16_t tag, FieldType type, const std::vector<uint32_t>& values)
    {
        fields.push_back({tag, type, values});
    }

    // The header, the directory, the values too long for their fields, then the pixels.
    std::vector<uint8_t> layOut(uint32_t pixelsAt) const
    {
        std::vector<uint8_t> bytes = {'I', 'I', 42, 0};
        put(bytes, 8, 4);
        put(bytes, uint32_t(fields.size()), 2);
        uint32_t overflow = 8 + 2 + uint32_t(fields.size()) * 12 + 4;
        std::vector<uint8_t> tail;
        for (const Field& f : fields) {
            put(bytes, f.tag, 2);
            put(bytes, f.type, 2);
            put(bytes, uint32_t(f.values.size()), 4);
            std::vector<uint8_t> data;
            for (uint32_t v : f.values) {
                put(data, v, f.type == kShort ? 2 : 4);
            }
            if (data.size() <= 4) {
                data.resize(4, 0);
                bytes.insert(bytes.end(), data.begin(), data.end());
            } else {
                put(bytes, overflow + uint32_t(tail.size()), 4);
                tail.insert(tail.end(), data.begin(), data.end());
            }
        }
        put(bytes, 0, 4);  // no next directory
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        bytes.resize(pixelsAt, 0);
        return bytes;
    }

    // Bytes the directory and its long values take, for a directory of these fields.
    uint32_t headerSize() const
    {
        uint32_t size = 8 + 2 + uint32_t(fields.size()) * 12 + 4;
        for (const Field& f : fields) {
            uint32_t length = uint32_t(f.values.size()) * (f.type == kShort ? 2 : 4);
            size += length > 4 ? length : 0;
        }
        return size;
    }

private:
    struct Field {
        uint16_t tag;
        FieldType type;
        std::vector<uint32_t> values;
    };

    static void put(std::vector<uint8_t>& bytes, uint32_t value, int size)
    {
        for (int i = 0; i < size; ++i) {
            bytes.push_back(uint8_t(value >> (8 * i)));
        }
    }

    std::vector<Field> fields;
};

// The directory of a float RGBA image whose strips start at `pixelsAt`.
TiffWriter directoryFor(const Image& image, uint32_t rowsPerStrip, uint32_t pixelsAt)
{
    uint64_t rowBytes = uint64_t(image.width) * 16;
    uint32_t strips = (uint32_t(image.height) + rowsPerStrip - 1) / rowsPerStrip;
    std::vector<uint32_t> offsets, counts;
    for (uint32_t s = 0; s < strips; ++s) {
        uint32_t rows = std::min(rowsPerStrip, uint32_t(image.height) - s * rowsPerStrip);
        offsets.push_back(uint32_t(pixelsAt + uint64_t(s) * rowsPerStrip * rowBytes));
        counts.push_back(uint32_t(rows * rowBytes));
    }
    TiffWriter writer;
    writer.field(kImageWidth, kLong, {uint32_t(image.width)});
    writer.field(kImageLength, kLong, {uint32_t(image.height)});
    writer.field(kBitsPerSample, kShort, {32, 32, 32, 32});
    writer.field(kCompression, kShort, {1});
    writer.field(kPhotometric, kShort, {kPhotometricRgb});
    writer.field(kStripOffsets, kLong, offsets);
    writer.field(kSamplesPerPixel, kShort, {4});
    writer.field(kRowsPerStrip, kLong, {rowsPerStrip});
    writer.field(kStripByteCounts, kLong, counts);
    writer.field(kPlanarConfiguration, kShort, {1});
    writer.field(kExtraSamples, kShort, {kUnassociatedAlpha});
    writer.field(kSampleFormat, kShort, {3, 3, 3, 3});
    return writer;
}

}  // namespace

bool FloatTiff::hasSignature(const std::string& path)
{
    std::ifstream in(utf8ToWide(path).c_str(), std::ios::binary);
    char head[4] = {};
    in.read(head, 4);
    return in && (std::memcmp(head, "II*\0", 4) == 0 || std::memcmp(head, "MM\0*", 4) == 0);
}

FloatTiff::Layout FloatTiff::probe(const std::string& path, const std::string& shownPath)
{
    TiffReader reader(path, shownPath);
    return layoutOf(reader, readDirectory(reader));
}

Image FloatTiff::read(const std::string& path, const std::string& shownPath, int32_t maxSide)
{
    TiffReader reader(path, shownPath);
    Directory directory = readDirectory(reader);
    Layout layout = layoutOf(reader, directory);
    if (layout.width <= 0 || layout.height <= 0 || layout.width > maxSide
        || layout.height > maxSide) {
        reader.fail("its size " + std::to_string(layout.width) + " x "
                    + std::to_string(layout.height) + " is outside 1 to "
                    + std::to_string(maxSide) + " pixels per side");
    }
    uint32_t samples = checkReadable(reader, directory);
    Image image;
    try {
        image = Image(layout.width, layout.height, ImageDepth::Float32);
    } catch (const std::bad_alloc&) {
        reader.fail("not enough memory for its pixels");
    }
    if (samples == 3) {
        for (size_t i = 3; i < image.rgbaFloat.size(); i += 4) {
            image.rgbaFloat[i] = 1.0f;
        }
    }
    readStrips(reader, directory, samples, image);
    if (samples == 4 && first(directory, kExtraSamples, 0) == kAssociatedAlpha) {
        unpremultiplyFloat(image);
    }
    return image;
}

void FloatTiff::write(const Image& image, const std::string& path, const std::string& shownPath)
{
    if (image.depth != ImageDepth::Float32) {
        write(image.converted(ImageDepth::Float32), path, shownPath);
        return;
    }
    uint64_t rowBytes = uint64_t(image.width) * 16;
    // Strips of about 1 MB; offsets are 32 bits, so a file must stay below 4 GB.
    uint32_t rowsPerStrip = uint32_t(std::max<uint64_t>(1, (1u << 20) / rowBytes));
    rowsPerStrip = std::min(rowsPerStrip, uint32_t(image.height));
    uint32_t pixelsAt = directoryFor(image, rowsPerStrip, 0).headerSize();
    if (uint64_t(pixelsAt) + rowBytes * uint64_t(image.height) > UINT32_MAX) {
        throw ImageError("cannot write '" + shownPath
                         + "': the image is too large for a TIFF file (4 GB)");
    }
    std::vector<uint8_t> header = directoryFor(image, rowsPerStrip, pixelsAt).layOut(pixelsAt);
    std::ofstream out(utf8ToWide(path).c_str(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header.data()), std::streamsize(header.size()));
    // The samples are little-endian floats in memory already, as the header says.
    out.write(reinterpret_cast<const char*>(image.rgbaFloat.data()),
              std::streamsize(image.rgbaFloat.size() * sizeof(float)));
    out.close();
    if (!out) {
        throw ImageError("cannot write '" + shownPath + "': the file could not be written");
    }
}

}  // namespace Tessarine::Lamino
