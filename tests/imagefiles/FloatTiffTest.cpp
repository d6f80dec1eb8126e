#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "TestFiles.h"
#include "imagefiles/FloatTiff.h"
#include "imagefiles/ImageIO.h"

using namespace Tessarine::Lamino;

namespace {

// Builds a float TIFF byte by byte, independently of the writer under test: one strip of RGB or
// RGBA floats after the directory, in either byte order.
class HandMadeTiff {
public:
    HandMadeTiff(bool bigEndian, uint32_t width, uint32_t height, uint16_t samples)
        : bigEndian(bigEndian), width(width), height(height), samples(samples)
    {
        entries = {{256, 4, width},   {257, 4, height}, {258, 3, 32},  {259, 3, 1},
                   {262, 3, 2},       {273, 4, 0},      {277, 3, samples}, {278, 4, height},
                   {279, 4, width * height * samples * 4}, {339, 3, 3}};
    }

    void set(uint16_t tag, uint32_t value)
    {
        for (Entry& entry : entries) {
            if (entry.tag == tag) {
                entry.value = value;
                return;
            }
        }
        entries.push_back({tag, 3, value});
    }

    // The file, with `floats` as the strip. BitsPerSample and SampleFormat are given once: the
    // reader takes a single value for all samples, as TIFF readers commonly do.
    std::vector<uint8_t> bytes(const std::vector<float>& floats)
    {
        std::vector<uint8_t> out;
        uint8_t order = bigEndian ? 'M' : 'I';
        out = {order, order};
        put(out, 42, 2);
        put(out, 8, 4);
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        uint32_t pixelsAt = 8 + 2 + uint32_t(entries.size()) * 12 + 4;
        put(out, uint32_t(entries.size()), 2);
        for (const Entry& entry : entries) {
            put(out, entry.tag, 2);
            put(out, entry.type, 2);
            put(out, 1, 4);
            uint32_t value = entry.tag == 273 ? pixelsAt : entry.value;
            if (entry.type == 3) {
                put(out, value, 2);
                put(out, 0, 2);
            } else {
                put(out, value, 4);
            }
        }
        put(out, 0, 4);
        for (float f : floats) {
            uint32_t bits;
            std::memcpy(&bits, &f, 4);
            put(out, bits, 4);
        }
        return out;
    }

private:
    struct Entry {
        uint16_t tag;
        uint16_t type;
        uint32_t value;
    };

    void put(std::vector<uint8_t>& out, uint32_t value, int size) const
    {
        for (int i = 0; i < size; ++i) {
            int shift = 8 * (bigEndian ? size - 1 - i : i);
            out.push_back(uint8_t(value >> shift));
        }
    }

    bool bigEndian;
    uint32_t width, height;
    uint16_t samples;
    std::vector<Entry> entries;
};

std::string readError(const std::string& path)
{
    try {
        ImageIO::readAtFileDepth(path);
    } catch (const ImageError& error) {
        return error.what();
    }
    return "(read without an error)";
}

}  // namespace

TEST(FloatTiff, ReadsBigEndianRgbAsOpaque)
{
    ScratchFile file("big-endian.tif");
    file.write(HandMadeTiff(true, 2, 1, 3).bytes({4.0f, -0.5f, 0.25f, 1e-8f, 0.0f, 1000.0f}));
    ImageIO::FileLayout layout = ImageIO::probe(file.path);
    EXPECT_EQ(layout.width, 2);
    EXPECT_EQ(layout.depth, ImageDepth::Float32);
    Image image = ImageIO::readAtFileDepth(file.path);
    EXPECT_EQ(image.rgbaFloat,
              (std::vector<float>{4.0f, -0.5f, 0.25f, 1.0f, 1e-8f, 0.0f, 1000.0f, 1.0f}));
}

TEST(FloatTiff, PremultipliedAlphaIsDividedOut)
{
    HandMadeTiff tiff(false, 2, 1, 4);
    tiff.set(338, 1);  // associated alpha
    ScratchFile file("premultiplied.tif");
    file.write(tiff.bytes({1.0f, 0.5f, -0.25f, 0.5f, 0.75f, 0.5f, 0.25f, 0.0f}));
    Image image = ImageIO::readAtFileDepth(file.path);
    EXPECT_EQ(image.rgbaFloat,
              (std::vector<float>{2.0f, 1.0f, -0.5f, 0.5f, 0.75f, 0.5f, 0.25f, 0.0f}));
}

TEST(FloatTiff, WhatItCannotReadIsRefusedWithTheReason)
{
    const std::vector<float> pixel = {1, 2, 3, 4};
    struct Case {
        uint16_t tag;
        uint32_t value;
        const char* reason;
    } cases[] = {
        {259, 5, "a compressed float TIFF cannot be read (only uncompressed)"},
        {258, 16, "only 32-bit float samples can be read from a float TIFF"},
        {322, 16, "a tiled float TIFF cannot be read (only strips)"},
        {262, 1, "only RGB and RGBA float TIFF files can be read"},
        {284, 2, "a float TIFF with separate sample planes cannot be read"},
        {279, 8, "the file is damaged or truncated (its strips hold fewer rows)"},
    };
    for (const Case& c : cases) {
        HandMadeTiff tiff(false, 1, 1, 4);
        tiff.set(c.tag, c.value);
        ScratchFile file("refused.tif");
        file.write(tiff.bytes(pixel));
        EXPECT_EQ(readError(file.path), "cannot read '" + file.path + "': " + c.reason) << c.tag;
    }
}

TEST(FloatTiff, TruncatedOrOversizedFilesAreRefused)
{
    ScratchFile file("cut.tif");
    std::vector<uint8_t> whole = HandMadeTiff(false, 4, 4, 4).bytes(std::vector<float>(64, 0.5f));
    for (size_t length : {size_t(6), size_t(20), whole.size() - 1}) {
        file.write(std::vector<uint8_t>(whole.begin(), whole.begin() + length));
        EXPECT_NE(readError(file.path).find("damaged or truncated"), std::string::npos) << length;
    }
    // The size is refused from the directory, before the (absent) pixels are looked for.
    file.write(HandMadeTiff(false, 30001, 2, 4).bytes({}));
    EXPECT_EQ(readError(file.path), "cannot read '" + file.path
                                        + "': its size 30001 x 2 is outside 1 to 30000 pixels "
                                          "per side");
}

TEST(FloatTiff, WrittenFilesKeepEveryFloatAndSpanSeveralStrips)
{
    // 300 x 1000 floats of 16 bytes make about 4.6 MB: several strips of about 1 MB.
    Image image(300, 1000, ImageDepth::Float32);
    for (size_t i = 0; i < image.rgbaFloat.size(); ++i) {
        image.rgbaFloat[i] = float(i % 1013) * 0.37f - 50.0f;
    }
    image.rgbaFloat[3] = std::numeric_limits<float>::infinity();
    ScratchFile file("strips.tif");
    FloatTiff::write(image, file.path, file.path);
    Image back = ImageIO::readAtFileDepth(file.path);
    ASSERT_EQ(back.width, 300);
    ASSERT_EQ(back.height, 1000);
    EXPECT_EQ(back.rgbaFloat, image.rgbaFloat);
}
