#include <gtest/gtest.h>

#include <windows.h>
#include <wincodec.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tool/DefaultImage.h"
#include "imagefiles/ImageIO.h"
#include "unicode/Utf8.h"

using namespace Tessarine::Lamino;

namespace {

// A file name in the temporary folder, removed when the test ends.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& name)
    {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        path = wideToUtf8(folder) + "lamino_imageio_" + std::to_string(GetCurrentProcessId()) + "_"
            + name;
    }
    ~TemporaryFile() { DeleteFileW(utf8ToWide(path).c_str()); }
    bool exists() const
    {
        return GetFileAttributesW(utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    std::string path;
};

// Writes one frame in a container (PNG, TIFF, JPEG, BMP) through WIC itself, so that the files
// do not depend on the reader under test. The pixel format must be one the encoder takes as is.
void writeWithWic(const std::string& path, const GUID& container, const GUID& pixelFormat,
                  UINT width, UINT height, const void* pixels, UINT stride)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IWICImagingFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    factory->CreateStream(&stream);
    stream->InitializeFromFilename(utf8ToWide(path).c_str(), GENERIC_WRITE);
    factory->CreateEncoder(container, nullptr, &encoder);
    encoder->Initialize(stream, WICBitmapEncoderNoCache);
    encoder->CreateNewFrame(&frame, nullptr);
    frame->Initialize(nullptr);
    frame->SetSize(width, height);
    WICPixelFormatGUID format = pixelFormat;
    frame->SetPixelFormat(&format);
    EXPECT_TRUE(IsEqualGUID(format, pixelFormat));
    frame->WritePixels(height, stride, stride * height,
                       static_cast<BYTE*>(const_cast<void*>(pixels)));
    frame->Commit();
    encoder->Commit();
    frame->Release(), encoder->Release(), stream->Release(), factory->Release();
    CoUninitialize();
}

std::string readError(const std::string& path)
{
    try {
        ImageIO::read(path);
    } catch (const ImageError& error) {
        return error.what();
    }
    return "";
}

}  // namespace

TEST(ImageIO, PngKeepsStraightAlphaExactly)
{
    Image image(3, 2);
    const uint8_t pixels[] = {255, 0, 0, 255, 10,  200, 30,  128, 90, 91, 92, 1,
                              0,   0, 0, 0,   255, 255, 255, 64,  7,  8,  9,  254};
    image.rgba.assign(std::begin(pixels), std::end(pixels));
    TemporaryFile file("straight.png");
    ImageIO::writePng(image, file.path);
    Image back = ImageIO::read(file.path);
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.rgba, image.rgba);
}

TEST(ImageIO, SixteenBitFilesAreReadAsEightBit)
{
    TemporaryFile file("deep.png");
    const uint16_t pixels[8] = {0xFFFF, 0x8080, 0x0000, 0xFFFF, 0x1010, 0x2020, 0x3030, 0x0000};
    writeWithWic(file.path, GUID_ContainerFormatPng, GUID_WICPixelFormat64bppRGBA, 2, 1, pixels,
                 sizeof pixels);
    Image image = ImageIO::read(file.path);
    ASSERT_EQ(image.width, 2);
    EXPECT_EQ(std::vector<uint8_t>(image.rgba.begin(), image.rgba.begin() + 4),
              (std::vector<uint8_t>{255, 128, 0, 255}));
    EXPECT_EQ(image.rgba[7], 0);  // the second pixel is fully transparent
}

TEST(ImageIO, TiffJpegAndBmpAreReadAsOpaqueRgba)
{
    // 8 x 8 of one colour (blue, green, red in memory), so that JPEG keeps it nearly exact.
    std::vector<uint8_t> bgr;
    for (int i = 0; i < 64; ++i) {
        bgr.insert(bgr.end(), {40, 160, 220});
    }
    const std::pair<const char*, GUID> containers[] = {{"tiff.tif", GUID_ContainerFormatTiff},
                                                       {"jpeg.jpg", GUID_ContainerFormatJpeg},
                                                       {"bitmap.bmp", GUID_ContainerFormatBmp}};
    for (const auto& [name, container] : containers) {
        TemporaryFile file(name);
        writeWithWic(file.path, container, GUID_WICPixelFormat24bppBGR, 8, 8, bgr.data(), 24);
        Image image = ImageIO::read(file.path);
        ASSERT_EQ(image.width, 8) << name;
        ASSERT_EQ(image.height, 8) << name;
        const uint8_t* centre = image.pixel(4, 4);
        EXPECT_NEAR(centre[0], 220, 3) << name;
        EXPECT_NEAR(centre[1], 160, 3) << name;
        EXPECT_NEAR(centre[2], 40, 3) << name;
        EXPECT_EQ(centre[3], 255) << name;
    }
}

TEST(ImageIO, ReadFailuresNameTheFileAndTheReason)
{
    TemporaryFile missing("missing.png");
    EXPECT_EQ(readError(missing.path), "cannot read '" + missing.path + "': no such file");

    TemporaryFile text("text.png");
    std::ofstream(utf8ToWide(text.path).c_str()) << "not an image";
    EXPECT_NE(readError(text.path).find("not an image format that can be read"), std::string::npos);

    TemporaryFile whole("whole.png"), cut("cut.png");
    ImageIO::writePng(DefaultImage::make(64, 36), whole.path);
    std::ifstream in(utf8ToWide(whole.path).c_str(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(utf8ToWide(cut.path).c_str(), std::ios::binary)
        << bytes.substr(0, bytes.size() / 3);
    EXPECT_NE(readError(cut.path).find("damaged or truncated"), std::string::npos);
}

// Files in the temporary folder whose names start with `prefix`.
int filesStartingWith(const std::string& prefix)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(utf8ToWide(prefix + "*").c_str(), &found);
    int count = 0;
    while (search != INVALID_HANDLE_VALUE) {
        ++count;
        if (!FindNextFileW(search, &found)) {
            FindClose(search);
            break;
        }
    }
    return count;
}

// A file of the user's that has the name a temporary file might take stays as it is, and the
// write leaves no temporary file of its own.
TEST(ImageIO, WriteLeavesFilesNamedLikeTemporariesAlone)
{
    TemporaryFile target("kept.png"), part("kept.png.part"), tagged("kept.png.lamino-7-0.part");
    std::ofstream(utf8ToWide(part.path).c_str()) << "mine";
    std::ofstream(utf8ToWide(tagged.path).c_str()) << "mine too";
    ImageIO::writePng(DefaultImage::make(8, 8), target.path);

    EXPECT_EQ(ImageIO::read(target.path).width, 8);
    std::ifstream partIn(utf8ToWide(part.path).c_str()), taggedIn(utf8ToWide(tagged.path).c_str());
    std::string partText, taggedText;
    std::getline(partIn, partText);
    std::getline(taggedIn, taggedText);
    EXPECT_EQ(partText, "mine");
    EXPECT_EQ(taggedText, "mine too");
    EXPECT_EQ(filesStartingWith(target.path), 3); // the target and the two files of the user's
}

TEST(ImageIO, FailedWriteLeavesTheExistingFileAndNoTemporary)
{
    TemporaryFile target("existing.png");
    ImageIO::writePng(DefaultImage::make(8, 8), target.path);
    Image broken(4, 4);
    broken.rgba.resize(3); // fewer bytes than pixels: refused
    EXPECT_THROW(ImageIO::writePng(broken, target.path), ImageError);

    EXPECT_EQ(ImageIO::read(target.path).width, 8);
    EXPECT_EQ(filesStartingWith(target.path), 1);
}

TEST(ImageIO, FailedWriteLeavesNoFile)
{
    TemporaryFile folder("no_such_folder");
    std::string path = folder.path + "\\out.png";
    try {
        ImageIO::writePng(DefaultImage::make(8, 8), path);
        FAIL() << "writing into a missing folder succeeded";
    } catch (const ImageError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "cannot write '" + path + "': its folder does not exist");
    }
    EXPECT_THROW(ImageIO::writePng(Image(), folder.path), ImageError);
    EXPECT_FALSE(folder.exists());
}

namespace {

// Samples that 8 bits cannot tell apart (neighbours 1 apart) next to both ends of the range.
Image sixteenBitDetail()
{
    Image image(3, 2, ImageDepth::Bits16);
    image.rgba16 = {0,     1,     2,     65535, 0x1234, 0x1235, 0x1236, 32768,
                    65535, 65534, 65533, 1,     40000,  40001,  40002,  0,
                    7,     8,     9,     65534, 0xFEDC, 0xBA98, 0x7654, 0x3210};
    return image;
}

Image floatDetail()
{
    Image image(2, 2, ImageDepth::Float32);
    image.rgbaFloat = {4.0f,    -0.5f, 0.25f, 1.0f, 1000.0f, 1e-3f, 0.0f, 1.0f,
                       -2.0f,   8.0f,  0.5f,  1.0f, 0.125f,  3.0f,  -1.0f, 1.0f};
    return image;
}

}  // namespace

TEST(ImageIO, SixteenBitPngAndTiffKeepEverySample)
{
    for (const char* name : {"deep16.png", "deep16.tif", "deep16.TIFF"}) {
        TemporaryFile file(name);
        ImageIO::write(sixteenBitDetail(), file.path);
        ImageIO::FileLayout layout = ImageIO::probe(file.path);
        EXPECT_EQ(layout.depth, ImageDepth::Bits16) << name;
        EXPECT_EQ(layout.width, 3) << name;
        EXPECT_EQ(layout.height, 2) << name;
        Image back = ImageIO::readAtFileDepth(file.path);
        EXPECT_EQ(back.depth, ImageDepth::Bits16) << name;
        EXPECT_EQ(back.rgba16, sixteenBitDetail().rgba16) << name;
    }
}

// A 16-bit PNG made here byte by byte (high byte first, as PNG stores samples), so that the
// reader is checked against the format itself and not against WIC's encoder.
void writeSixteenBitPng(const std::string& path, uint32_t width, uint8_t colourType,
                        const std::vector<uint16_t>& samples)
{
    auto chunk = [](std::string& file, const char* type, const std::string& data) {
        std::string body = std::string(type, 4) + data;
        uint32_t length = uint32_t(data.size());
        uint32_t crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(body.data()),
                             uInt(body.size()));
        file += {char(length >> 24), char(length >> 16), char(length >> 8), char(length)};
        file += body;
        file += {char(crc >> 24), char(crc >> 16), char(crc >> 8), char(crc)};
    };
    std::string raw(1, '\0');  // one row, no filter
    for (size_t i = 0; i < samples.size(); ++i) {
        raw += {char(samples[i] >> 8), char(samples[i] & 0xFF)};
    }
    std::vector<Bytef> packed(compressBound(uLong(raw.size())));
    uLongf packedSize = uLongf(packed.size());
    compress(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
             uLong(raw.size()));
    std::string header = {0, 0, 0, char(width), 0, 0, 0, 1, 16, char(colourType), 0, 0, 0};
    std::string file = "\x89PNG\r\n\x1a\n";
    chunk(file, "IHDR", header);
    chunk(file, "IDAT", std::string(reinterpret_cast<char*>(packed.data()), packedSize));
    chunk(file, "IEND", "");
    std::ofstream(utf8ToWide(path).c_str(), std::ios::binary) << file;
}

TEST(ImageIO, SixteenBitFilesOfEveryLayoutAreReadAtSixteenBits)
{
    TemporaryFile rgba("rgba64.png"), rgb("rgb48.png"), grey("grey16.png"), tiff("rgb48.tif");
    writeSixteenBitPng(rgba.path, 1, 6, {0x1234, 0x0001, 0xFF00, 0x8001});
    EXPECT_EQ(ImageIO::probe(rgba.path).depth, ImageDepth::Bits16);
    EXPECT_EQ(ImageIO::readAtFileDepth(rgba.path).rgba16,
              (std::vector<uint16_t>{0x1234, 0x0001, 0xFF00, 0x8001}));
    writeSixteenBitPng(rgb.path, 2, 2, {0x1234, 0x00FF, 0xFF00, 1, 2, 0xFFFE});
    EXPECT_EQ(ImageIO::readAtFileDepth(rgb.path).rgba16,
              (std::vector<uint16_t>{0x1234, 0x00FF, 0xFF00, 65535, 1, 2, 0xFFFE, 65535}));
    writeSixteenBitPng(grey.path, 2, 0, {0x0102, 0xFFFE});
    EXPECT_EQ(ImageIO::readAtFileDepth(grey.path).rgba16,
              (std::vector<uint16_t>{0x0102, 0x0102, 0x0102, 65535, 0xFFFE, 0xFFFE, 0xFFFE,
                                     65535}));
    // WIC's TIFF encoder, colour without alpha.
    const uint16_t colour[6] = {0x1234, 0x00FF, 0xFF00, 1, 2, 65535};
    writeWithWic(tiff.path, GUID_ContainerFormatTiff, GUID_WICPixelFormat48bppRGB, 2, 1, colour,
                 12);
    EXPECT_EQ(ImageIO::readAtFileDepth(tiff.path).rgba16,
              (std::vector<uint16_t>{0x1234, 0x00FF, 0xFF00, 65535, 1, 2, 65535, 65535}));
}

// The PNG written holds its samples high byte first, as the format says, wherever WIC runs
// (Wine's PNG encoder stores them low byte first unless the writer corrects it).
TEST(ImageIO, SixteenBitPngStoresSamplesHighByteFirst)
{
    TemporaryFile file("order.png");
    Image image(1, 1, ImageDepth::Bits16);
    image.rgba16 = {0x1234, 0x0001, 0xFF00, 0x8001};
    ImageIO::write(image, file.path);
    std::ifstream written(utf8ToWide(file.path).c_str(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    size_t data = bytes.find("IDAT");
    ASSERT_NE(data, std::string::npos);
    uint32_t length = 0;
    for (size_t i = data - 4; i < data; ++i) {
        length = length << 8 | uint8_t(bytes[i]);
    }
    std::vector<Bytef> raw(64);
    uLongf rawSize = uLongf(raw.size());
    ASSERT_EQ(uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(&bytes[data + 4]),
                         length),
              Z_OK);
    // After the row's filter byte; every filter leaves the first pixel of the first row as it is.
    EXPECT_EQ(std::vector<Bytef>(raw.begin() + 1, raw.begin() + rawSize),
              (std::vector<Bytef>{0x12, 0x34, 0x00, 0x01, 0xFF, 0x00, 0x80, 0x01}));
}

TEST(ImageIO, FloatTiffAndFloatExrKeepEveryValue)
{
    for (const char* name : {"float.tif", "float.exr"}) {
        TemporaryFile file(name);
        ImageIO::write(floatDetail(), file.path);
        EXPECT_EQ(ImageIO::probe(file.path).depth, ImageDepth::Float32) << name;
        Image back = ImageIO::readAtFileDepth(file.path);
        EXPECT_EQ(back.depth, ImageDepth::Float32) << name;
        EXPECT_EQ(back.rgbaFloat, floatDetail().rgbaFloat) << name;
    }
}

TEST(ImageIO, HalfExrKeepsWhatHalfHoldsAndClipsTheRest)
{
    Image image(3, 1, ImageDepth::Float32);
    image.rgbaFloat = {4.0f, -0.5f, 1.0f / 3.0f, 1.0f, 1e6f, -1e6f, 2049.0f, 1.0f,
                       0.0f, 0.0f,  0.0f,        0.0f};
    TemporaryFile file("half.exr");
    ImageIO::write(image, file.path, {ExrFile::Channels::Half});
    std::vector<float> back = ImageIO::readAtFileDepth(file.path).rgbaFloat;
    EXPECT_EQ(back[0], 4.0f);
    EXPECT_EQ(back[1], -0.5f);
    EXPECT_NEAR(back[2], 1.0f / 3.0f, 1e-4);
    EXPECT_NE(back[2], 1.0f / 3.0f);  // half precision, not float
    EXPECT_EQ(back[4], 65504.0f);     // the largest half, not infinity
    EXPECT_EQ(back[5], -65504.0f);
    EXPECT_EQ(back[6], 2048.0f);      // half steps are 2 at 2048
    // An 8-bit image goes to half channels unless asked otherwise; 8-bit levels survive them.
    TemporaryFile eight("eight.exr");
    Image levels(256, 1);
    for (int v = 0; v < 256; ++v) {
        levels.rgba[size_t(v) * 4] = uint8_t(v);
        levels.rgba[size_t(v) * 4 + 3] = 255;
    }
    ImageIO::write(levels, eight.path);
    EXPECT_EQ(ImageIO::read(eight.path).rgba, levels.rgba);
}

// EXR colour is premultiplied: straight colour is multiplied by alpha on writing and divided on
// reading, so that other programs see the right colour, and a transparent pixel keeps none.
TEST(ImageIO, ExrStoresPremultipliedColour)
{
    Image image(2, 1, ImageDepth::Float32);
    image.rgbaFloat = {0.8f, 4.0f, -0.5f, 0.25f, 0.5f, 0.5f, 0.5f, 0.0f};
    TemporaryFile file("premultiplied.exr");
    ImageIO::write(image, file.path);
    Image back = ImageIO::readAtFileDepth(file.path);
    EXPECT_EQ(back.rgbaFloat, (std::vector<float>{0.8f, 4.0f, -0.5f, 0.25f, 0, 0, 0, 0}));
}

TEST(ImageIO, DamagedExrAndUnknownOutputNamesGiveImageErrors)
{
    TemporaryFile whole("whole.exr"), cut("cut.exr");
    ImageIO::write(floatDetail(), whole.path);
    std::ifstream in(utf8ToWide(whole.path).c_str(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t length : {size_t(4), size_t(40), bytes.size() - 8}) {
        std::ofstream(utf8ToWide(cut.path).c_str(), std::ios::binary | std::ios::trunc)
            << bytes.substr(0, length);
        EXPECT_NE(readError(cut.path).find("cannot read '" + cut.path
                                            + "': the file is damaged or truncated"),
                  std::string::npos)
            << length << ": " << readError(cut.path);
    }
    TemporaryFile unknown("out.jpg");
    EXPECT_THROW(ImageIO::write(floatDetail(), unknown.path), ImageError);
    EXPECT_FALSE(unknown.exists());
}

TEST(ImageIO, TooWideExrIsRefusedBeforeItsPixelsAreRead)
{
    TemporaryFile file("wide.exr");
    ImageIO::write(Image(ImageIO::kMaxSide + 1, 1, ImageDepth::Float32), file.path);
    EXPECT_EQ(ImageIO::probe(file.path).width, ImageIO::kMaxSide + 1);
    EXPECT_EQ(readError(file.path), "cannot read '" + file.path
                                        + "': its size 30001 x 1 is outside 1 to 30000 pixels "
                                          "per side");
}

// Sizes come from the files' headers, without decoding: a PNG cut right after its header still
// gives its size, and is refused only when its pixels are read.
TEST(ImageIO, ProbeReadsSizesFromHeadersAlone)
{
    std::vector<uint8_t> bgr(5 * 3 * 3, 100);
    const std::pair<const char*, GUID> containers[] = {{"five.bmp", GUID_ContainerFormatBmp},
                                                       {"five.jpg", GUID_ContainerFormatJpeg},
                                                       {"five.tif", GUID_ContainerFormatTiff}};
    for (const auto& [name, container] : containers) {
        TemporaryFile file(name);
        writeWithWic(file.path, container, GUID_WICPixelFormat24bppBGR, 5, 3, bgr.data(), 15);
        ImageIO::FileLayout layout = ImageIO::probe(file.path);
        EXPECT_EQ(layout.width, 5) << name;
        EXPECT_EQ(layout.height, 3) << name;
        EXPECT_EQ(layout.depth, ImageDepth::Bits8) << name;
    }
    TemporaryFile whole("whole16.png"), cut("header.png");
    ImageIO::write(Image(7, 2, ImageDepth::Bits16), whole.path);
    std::ifstream in(utf8ToWide(whole.path).c_str(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(utf8ToWide(cut.path).c_str(), std::ios::binary) << bytes.substr(0, 33);
    ImageIO::FileLayout layout = ImageIO::probe(cut.path);
    EXPECT_EQ(layout.width, 7);
    EXPECT_EQ(layout.height, 2);
    EXPECT_EQ(layout.depth, ImageDepth::Bits16);
    EXPECT_NE(readError(cut.path).find("damaged or truncated"), std::string::npos);
    std::ofstream(utf8ToWide(cut.path).c_str(), std::ios::binary | std::ios::trunc)
        << bytes.substr(0, 20);
    EXPECT_THROW(ImageIO::probe(cut.path), ImageError);
}
