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
        path = wideToUtf8(folder) + "lamino_imageio_" + std::to_string(GetCurrentProcessId()) + "_" + name;
    }
    ~TemporaryFile() { DeleteFileW(utf8ToWide(path).c_str()); }
    bool exists() const { return GetFileAttributesW(utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::string path;
};

// Writes a 2 x 1 PNG with 16 bits per channel through WIC itself (64bppRGBA, big values).
void writeSixteenBitPng(const std::string& path)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                               reinterpret_cast<void**>(&factory)), S_OK);
    factory->CreateStream(&stream);
    stream->InitializeFromFilename(utf8ToWide(path).c_str(), GENERIC_WRITE);
    factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    encoder->Initialize(stream, WICBitmapEncoderNoCache);
    encoder->CreateNewFrame(&frame, nullptr);
    frame->Initialize(nullptr);
    frame->SetSize(2, 1);
    WICPixelFormatGUID format = GUID_WICPixelFormat64bppRGBA;
    frame->SetPixelFormat(&format);
    ASSERT_TRUE(IsEqualGUID(format, GUID_WICPixelFormat64bppRGBA));
    uint16_t pixels[8] = {0xFFFF, 0x8080, 0x0000, 0xFFFF, 0x1010, 0x2020, 0x3030, 0x0000};
    frame->WritePixels(1, sizeof pixels, sizeof pixels, reinterpret_cast<BYTE*>(pixels));
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
    const uint8_t pixels[] = {255, 0, 0, 255, 10, 200, 30, 128, 90, 91, 92, 1, 0, 0, 0, 0, 255, 255, 255, 64, 7, 8, 9, 254};
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
    writeSixteenBitPng(file.path);
    Image image = ImageIO::read(file.path);
    ASSERT_EQ(image.width, 2);
    EXPECT_EQ(std::vector<uint8_t>(image.rgba.begin(), image.rgba.begin() + 4), (std::vector<uint8_t>{255, 128, 0, 255}));
    EXPECT_EQ(image.rgba[7], 0);  // the second pixel is fully transparent
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
    std::ofstream(utf8ToWide(cut.path).c_str(), std::ios::binary) << bytes.substr(0, bytes.size() / 3);
    EXPECT_NE(readError(cut.path).find("damaged or truncated"), std::string::npos);
}

TEST(ImageIO, FailedWriteLeavesNoFile)
{
    TemporaryFile folder("no_such_folder");
    std::string path = folder.path + "\\out.png";
    try {
        ImageIO::writePng(DefaultImage::make(8, 8), path);
        FAIL() << "writing into a missing folder succeeded";
    } catch (const ImageError& error) {
        EXPECT_EQ(std::string(error.what()), "cannot write '" + path + "': its folder does not exist");
    }
    EXPECT_THROW(ImageIO::writePng(Image(), folder.path), ImageError);
    EXPECT_FALSE(folder.exists());
}
