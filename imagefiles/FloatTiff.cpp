#include "imagefiles/FloatTiff.h"

#include "imagefiles/ByteOrder.h"
#include "imagefiles/ImageError.h"
#include "imagefiles/OutputSink.h"
#include "imagefiles/SourceFile.h"
#include "imagefiles/TiffDirectory.h"
#include "unicode/Utf8.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace Tessarine::Lamino {

namespace {

using Tags = TiffDirectory;

enum FieldType : uint16_t { kShort = 3, kLong = 4 };

constexpr uint16_t kPhotometricRgb = 2;
constexpr uint16_t kAssociatedAlpha = 1;
constexpr uint16_t kUnassociatedAlpha = 2;

bool recognises(const SourceFile& file)
{
    if (!TiffDirectory::hasSignature(file)) {
        return false;
    }
    try {
        return TiffDirectory(file).floatSamples();
    } catch (const ImageError&) {
        return false;  // the other TIFF entry reads the damaged directory and says so
    }
}

// Refuses what this reader cannot read, with the reason; returns the samples per pixel.
uint32_t checkReadable(const SourceFile& file, const TiffDirectory& directory)
{
    uint32_t samples = directory.first(Tags::kSamplesPerPixel, 1);
    if (directory.has(Tags::kTileWidth)) {
        file.fail("a tiled float TIFF cannot be read (only strips)");
    }
    if (directory.first(Tags::kCompression, 1) != 1) {
        file.fail("a compressed float TIFF cannot be read (only uncompressed)");
    }
    if (directory.first(Tags::kPhotometric, kPhotometricRgb) != kPhotometricRgb
        || (samples != 3 && samples != 4)) {
        file.fail("only RGB and RGBA float TIFF files can be read");
    }
    if (directory.first(Tags::kPlanarConfiguration, 1) != 1) {
        file.fail("a float TIFF with separate sample planes cannot be read");
    }
    if (!directory.allEqual(Tags::kBitsPerSample, 32, 1)
        || !directory.allEqual(Tags::kSampleFormat, 3, 1)) {
        file.fail("only 32-bit float samples can be read from a float TIFF");
    }
    if (!directory.has(Tags::kStripOffsets) || !directory.has(Tags::kStripByteCounts)
        || directory.values(Tags::kStripOffsets).size()
               != directory.values(Tags::kStripByteCounts).size()) {
        file.fail("the file is damaged (no or inconsistent strips)");
    }
    directory.checkData(file, uint64_t(samples) * 32);
    return samples;
}

float sampleAt(const uint8_t* at, bool bigEndian)
{
    const uint32_t bits = bigEndian ? bigEndianAt(at, 4) : littleEndianAt(at, 4);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

// The strips' rows into the image, in order.
void readStrips(const SourceFile& file, const TiffDirectory& directory, uint32_t samples,
                Image& image)
{
    const std::vector<uint32_t>& offsets = directory.values(Tags::kStripOffsets);
    uint32_t rowsPerStrip = std::max<uint32_t>(
        1, directory.first(Tags::kRowsPerStrip, uint32_t(image.height)));
    size_t rowBytes = size_t(image.width) * samples * 4;
    std::vector<uint8_t> row(rowBytes);
    for (int32_t y = 0; y < image.height; ++y) {
        size_t strip = size_t(uint32_t(y) / rowsPerStrip);
        size_t within = size_t(uint32_t(y) % rowsPerStrip) * rowBytes;
        file.read(uint64_t(offsets[strip]) + within, row.data(), rowBytes);
        float* target = image.pixelFloat(0, y);
        for (int32_t x = 0; x < image.width; ++x, target += 4) {
            const uint8_t* source = row.data() + size_t(x) * samples * 4;
            for (uint32_t c = 0; c < samples; ++c) {
                target[c] = sampleAt(source + c * 4, directory.bigEndian());
            }
        }
    }
}

Image decode(const SourceFile& file, const ImageLayout& layout)
{
    TiffDirectory directory(file);
    uint32_t samples = checkReadable(file, directory);
    Image image;
    try {
        image = Image(int32_t(layout.width), int32_t(layout.height), ImageDepth::Float32);
    } catch (const std::bad_alloc&) {
        file.fail("not enough memory for its pixels");
    }
    if (samples == 3) {
        for (size_t i = 3; i < image.rgbaFloat.size(); i += 4) {
            image.rgbaFloat[i] = 1.0f;
        }
    }
    readStrips(file, directory, samples, image);
    if (samples == 4 && directory.first(Tags::kExtraSamples, 0) == kAssociatedAlpha) {
        unpremultiplyFloat(image);
    }
    return image;
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
    writer.field(Tags::kImageWidth, kLong, {uint32_t(image.width)});
    writer.field(Tags::kImageLength, kLong, {uint32_t(image.height)});
    writer.field(Tags::kBitsPerSample, kShort, {32, 32, 32, 32});
    writer.field(Tags::kCompression, kShort, {1});
    writer.field(Tags::kPhotometric, kShort, {kPhotometricRgb});
    writer.field(Tags::kStripOffsets, kLong, offsets);
    writer.field(Tags::kSamplesPerPixel, kShort, {4});
    writer.field(Tags::kRowsPerStrip, kLong, {rowsPerStrip});
    writer.field(Tags::kStripByteCounts, kLong, counts);
    writer.field(Tags::kPlanarConfiguration, kShort, {1});
    writer.field(Tags::kExtraSamples, kShort, {kUnassociatedAlpha});
    writer.field(Tags::kSampleFormat, kShort, {3, 3, 3, 3});
    return writer;
}

void writeFloats(const Image& image, OutputSink& sink, const std::string& shownPath)
{
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
    sink.write(header.data(), header.size());
    // The samples are little-endian floats in memory already, as the header says.
    sink.write(image.rgbaFloat.data(), image.rgbaFloat.size() * sizeof(float));
}

void encode(const Image& image, const ImageWriteOptions&, OutputSink& sink)
{
    if (image.depth == ImageDepth::Float32) {
        writeFloats(image, sink, sink.path());
    } else {
        writeFloats(image.converted(ImageDepth::Float32), sink, sink.path());
    }
}

}  // namespace

const ImageFormat& FloatTiff::format()
{
    static const ImageFormat entry = {
        "float TIFF", {"tif", "tiff"}, {ImageDepth::Float32}, recognises,
        TiffDirectory::readHeader, decode, encode,
    };
    return entry;
}

void FloatTiff::write(const Image& image, const std::string& path, const std::string& shownPath)
{
    HANDLE handle = CreateFileW(utf8ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        throw ImageError("cannot write '" + shownPath + "': the file cannot be created");
    }
    OutputSink sink(handle, shownPath);
    encode(image, {}, sink);
    sink.finish();
}

}  // namespace Tessarine::Lamino
