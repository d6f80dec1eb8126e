#include <gtest/gtest.h>

#include <windows.h>
#include <wincodec.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "headless/DefaultImage.h"
#include "headless/ImageIO.h"
#include "headless/Utf8.h"

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
