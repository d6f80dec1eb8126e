#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>
#include <wincodec.h>

#include <string>

#include "CraftedFiles.h"
#include "TestFiles.h"
#include "imagefiles/ImageIO.h"
#include "imagefiles/OutputSink.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <ImfRgbaFile.h>
#include <half.h>

#include <algorithm>

using namespace Tessarine::Lamino;

namespace {

// What reading the file gives: "(read)" or the message, which must name the file and fit on
// one line.
std::string readResult(const Bytes& content, const std::string& name)
{
    ScratchFile file(name);
    file.write(content);
    try {
        ImageIO::readAtFileDepth(file.path);
    } catch (const ImageError& error) {
        std::string message = error.what();
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        const std::string start = "cannot read '" + file.path + "': ";
        EXPECT_EQ(message.compare(0, start.size(), start), 0) << message;
        return message.substr(std::min(message.size(), start.size()));
    }
    return "(read)";
}

// A file of a container written by WIC itself from 8-bit BGR pixels of one colour.
Bytes wicFile(const GUID& container, UINT width, UINT height)
{
    ScratchFile file("wic.bin");
    std::vector<uint8_t> bgr(size_t(width) * height * 3, 90);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                     IID_IWICImagingFactory, reinterpret_cast<void**>(&factory));
    factory->CreateStream(&stream);
    stream->InitializeFromFilename(utf8ToWide(file.path).c_str(), GENERIC_WRITE);
    factory->CreateEncoder(container, nullptr, &encoder);
    encoder->Initialize(stream, WICBitmapEncoderNoCache);
    encoder->CreateNewFrame(&frame, nullptr);
    frame->Initialize(nullptr);
    frame->SetSize(width, height);
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    frame->SetPixelFormat(&format);
    frame->WritePixels(height, width * 3, UINT(bgr.size()), bgr.data());
    frame->Commit();
    encoder->Commit();
    frame->Release(), encoder->Release(), stream->Release(), factory->Release();
    CoUninitialize();
    return file.bytes();
}

// The offset of the first start-of-frame marker's content in a JPEG.
size_t startOfFrame(const Bytes& jpeg)
{
    for (size_t at = 2; at + 4 < jpeg.size();) {
        if (jpeg[at + 1] == 0xC0 || jpeg[at + 1] == 0xC2) {
            return at + 4;
        }
        at += 2 + (size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]);
    }
    return 0;
}

// How far the process's peak memory rose since the watch began, in megabytes: refusing a
// hostile file must cost no more than a few of them (a rise hidden by an earlier, higher peak
// of the same process goes unseen).
class PeakMemoryWatch {
public:
    PeakMemoryWatch() : start(peak()) { }
    double growthMegabytes() const { return double(peak() - start) / (1 << 20); }

private:
    static uint64_t peak()
    {
        PROCESS_MEMORY_COUNTERS counters = {};
        K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
        return counters.PeakPagefileUsage;
    }
    uint64_t start;
};

const char kDamaged[] = "the file is damaged or truncated";

}  // namespace

// Chunks with wrong CRCs, pixel data whose zlib checksum fails or that holds fewer rows than
// the header, and a chunk claiming more bytes than the file has: Wine's decoder accepts them.
TEST(BrokenPng, ChecksumsAndDataLengthsAreChecked)
{
    ASSERT_EQ(readResult(rgbaPng(4, 3, 3), "whole.png"), "(read)");
    Bytes idat = rgbaPng(4, 3, 3);
    const size_t idatCrc = idat.size() - 12 - 4;  // before IEND's 12 bytes
    idat[idatCrc] ^= 1;
    EXPECT_EQ(readResult(idat, "crc.png"), std::string(kDamaged) + " (a chunk's checksum is wrong)");

    Bytes raw(1 + 4 * 4, 7);
    raw[0] = 0;
    Bytes rows;
    for (int y = 0; y < 3; ++y) {
        rows.insert(rows.end(), raw.begin(), raw.end());
    }
    Bytes packed = zlibPacked(rows);
    packed.back() ^= 1;  // the Adler-32 checksum at the end of the zlib stream
    EXPECT_EQ(readResult(rgbaPng(4, 3, 3, &packed), "adler.png"),
              std::string(kDamaged) + " (its compressed pixel data is corrupt)");
    EXPECT_EQ(readResult(rgbaPng(4, 3, 2), "rows.png"),
              std::string(kDamaged) + " (its pixel data ends early)");

    Bytes text = pngSignatureAndHeader(4, 3, 8, 6);
    pngChunk(text, "tEXt", {'a', 0, 'b'}, 1);
    Bytes rest = rgbaPng(4, 3, 3);
    text.insert(text.end(), rest.begin() + 33, rest.end());
    EXPECT_EQ(readResult(text, "text.png"),
              std::string(kDamaged) + " (a chunk's checksum is wrong)");

    Bytes claim = pngSignatureAndHeader(4, 3, 8, 6);  // 44 bytes claiming a 2 GB text chunk
    putBig(claim, 0x7FFFFFF0u, 4);
    claim.insert(claim.end(), {'t', 'E', 'X', 't', 'a', 0, 'b'});
    EXPECT_EQ(readResult(claim, "claim.png"),
              std::string(kDamaged) + " (a chunk reaches past the end of the file)");
}

// A frame header that claims more pixels than the coded data holds, and data cut short (with
// or without its end marker): Wine's decoder pads them all with grey.
TEST(BrokenJpeg, MissingDataIsDamageNotAPicture)
{
    Bytes whole = wicFile(GUID_ContainerFormatJpeg, 64, 48);
    ASSERT_EQ(readResult(whole, "whole.jpg"), "(read)");
    size_t frame = startOfFrame(whole);
    ASSERT_NE(frame, 0u);
    Bytes huge = whole;
    huge[frame + 1] = 0x20, huge[frame + 3] = 0x40, huge[frame + 2] = huge[frame + 4] = 0;
    EXPECT_EQ(readResult(huge, "huge.jpg"), std::string(kDamaged) + " (its image data ends early)");
    Bytes taller = whole;  // 64 x 96: within what the data's length could hold
    taller[frame + 1] = 0, taller[frame + 2] = 96;
    EXPECT_EQ(readResult(taller, "taller.jpg"),
              std::string(kDamaged) + " (its image data ends early)");
    Bytes cut(whole.begin(), whole.end() - 4);  // the end marker and the last coded bytes
    EXPECT_EQ(readResult(cut, "cut.jpg"), std::string(kDamaged) + " (its image data ends early)");
    cut.insert(cut.end(), {0xFF, 0xD9});  // cut short, and the end marker put back
    EXPECT_EQ(readResult(cut, "ended.jpg"), std::string(kDamaged) + " (its image data ends early)");
}

// Run-length streams must stay inside the image and end; Wine's decoder leaves what they miss
// black. Colour tables and rows must lie inside the file.
TEST(BrokenBmp, RunsTablesAndRowsOutsideTheFileOrImageAreDamage)
{
    const Bytes runs = {2, 1, 2, 3, 0, 0, 4, 2, 0, 1};  // 4 x 2: two runs a row, then the end
    ASSERT_EQ(readResult(paletteBmp(4, 2, 1, runs), "runs.bmp"), "(read)");
    const std::pair<Bytes, const char*> broken[] = {
        {{5, 1, 0, 0, 4, 2, 0, 1}, "its run-length data reaches past the image"},
        {{4, 1, 0, 2, 1, 5, 0, 1}, "its run-length data jumps past the image"},
        {{4, 1, 0, 0, 4, 2, 0, 0}, "its run-length data ends before its end marker"},
        {{0, 1}, "its run-length data holds no pixels"},
    };
    for (const auto& [stream, reason] : broken) {
        EXPECT_EQ(readResult(paletteBmp(4, 2, 1, stream), "broken.bmp"),
                  std::string(kDamaged) + " (" + reason + ")");
    }
    const Bytes rows(8, 1);  // 4 x 2 uncompressed
    ASSERT_EQ(readResult(paletteBmp(4, 2, 0, rows), "rows.bmp"), "(read)");
    EXPECT_EQ(readResult(paletteBmp(4, 3, 0, rows), "short.bmp"),
              std::string(kDamaged) + " (its pixel rows reach past the end of the file)");
    EXPECT_EQ(readResult(paletteBmp(4, 2, 0, rows, 4, 0x80000000u), "colours.bmp"),
              std::string(kDamaged) + " (its colour table claims 2147483648 colours)");
}

// Strips must hold the rows the header claims and lie inside the file past its header; a
// palette image needs its colour map. Kinds of TIFF that are valid but not decoded say so.
TEST(BrokenTiff, StripsAndColourMapsTheFileDoesNotHoldAreDamage)
{
    const Bytes grey(8 * 4, 128);
    ASSERT_EQ(readResult(CraftedTiff(8, 4, 1, 8, 1).bytes(grey), "grey.tif"), "(read)");
    EXPECT_EQ(readResult(CraftedTiff(8, 8, 1, 8, 1).bytes(grey), "rows.tif"),
              std::string(kDamaged) + " (a strip lies beyond the end of the file)");
    CraftedTiff claims(8, 8, 1, 8, 1);
    claims.set(279, 4, {8 * 4});  // the strip holds half the rows
    EXPECT_EQ(readResult(claims.bytes(grey), "claims.tif"),
              std::string(kDamaged) + " (its strips hold fewer rows)");
    CraftedTiff header(8, 4, 1, 8, 1);
    header.set(273, 4, {0});
    header.keepStripOffsets();
    EXPECT_EQ(readResult(header.bytes(grey), "offset0.tif"),
              std::string(kDamaged) + " (a strip starts inside the file's header)");
    EXPECT_EQ(readResult(CraftedTiff(8, 4, 1, 8, 3).bytes(grey), "palette.tif"),
              std::string(kDamaged) + " (its palette image has no colour map)");

    CraftedTiff planar(8, 4, 3, 8, 2);
    planar.set(284, 3, {2});
    planar.set(273, 4, {0, 0, 0});
    EXPECT_EQ(readResult(planar.bytes(Bytes(8 * 4 * 3, 9)), "planar.tif"),
              "a TIFF with separate sample planes is not supported (interleaved samples are)");
    EXPECT_EQ(readResult(CraftedTiff(8, 4, 5, 8, 2).bytes(Bytes(8 * 4 * 5, 9)), "five.tif"),
              "a TIFF of 5 samples per pixel is not supported (1 to 4 are)");
    EXPECT_EQ(readResult(CraftedTiff(8, 4, 3, 32, 2).bytes(Bytes(8 * 4 * 12, 9)), "int32.tif"),
              "a TIFF of 32-bit integer samples is not supported (1, 2, 4, 8 and 16 bits are)");
}

namespace {

Image detail(ImageDepth depth)
{
    Image image(40, 30, ImageDepth::Bits16);
    for (size_t i = 0; i < image.rgba16.size(); ++i) {
        image.rgba16[i] = uint16_t(i * 2654435761u >> 16);
    }
    return image.converted(depth);
}

// Every sink stops writing at `bytes`, after a short write, as a full disk does.
class FullDisk {
public:
    explicit FullDisk(uint64_t bytes) { OutputSink::limitBytesForTesting(bytes); }
    ~FullDisk() { OutputSink::limitBytesForTesting(OutputSink::kNoLimit); }
};

}  // namespace

// On a full disk every output format fails with a message that says so, and the file that was
// there stays as it was (Wine's TIFF encoder reports success after short writes).
TEST(FullDisk, EveryFormatFailsAndTheOldFileStays)
{
    const std::pair<const char*, ImageDepth> outputs[] = {
        {"full8.png", ImageDepth::Bits8},  {"full16.png", ImageDepth::Bits16},
        {"full8.tif", ImageDepth::Bits8},  {"full16.tif", ImageDepth::Bits16},
        {"fullf.tif", ImageDepth::Float32}, {"fullh.exr", ImageDepth::Bits16},
        {"fullf.exr", ImageDepth::Float32},
    };
    for (const auto& [name, depth] : outputs) {
        ScratchFile file(name);
        ImageIO::write(detail(depth), file.path);
        const Bytes old = file.bytes();
        for (uint64_t room : {uint64_t(0), uint64_t(100), uint64_t(old.size() / 2)}) {
            FullDisk full(room);
            try {
                ImageIO::write(detail(depth), file.path);
                ADD_FAILURE() << name << " written on a full disk (" << room << " bytes)";
            } catch (const ImageError& error) {
                EXPECT_EQ(std::string(error.what()),
                          "cannot write '" + file.path + "': the disk is full")
                    << name << ", " << room << " bytes";
            }
            EXPECT_EQ(file.bytes(), old) << name << ", " << room << " bytes";
        }
        WIN32_FIND_DATAW found;
        HANDLE left = FindFirstFileW(utf8ToWide(file.path + ".lamino-*").c_str(), &found);
        EXPECT_EQ(left, INVALID_HANDLE_VALUE) << name << ": a temporary file is left";
        if (left != INVALID_HANDLE_VALUE) {
            FindClose(left);
        }
    }
}

namespace {

// An EXR of half channels written by the library itself, with each channel's samples as given.
Bytes exrFile(int width, int height, const std::vector<std::pair<const char*, std::vector<float>>>& channels)
{
    ScratchFile file("made.exr");
    Imf::Header header(width, height);
    Imf::FrameBuffer frameBuffer;
    std::vector<std::vector<half>> samples;
    for (const auto& [name, values] : channels) {
        header.channels().insert(name, Imf::Channel(Imf::HALF));
        samples.emplace_back(values.begin(), values.end());
    }
    for (size_t c = 0; c < channels.size(); ++c) {
        frameBuffer.insert(channels[c].first,
                           Imf::Slice(Imf::HALF, reinterpret_cast<char*>(samples[c].data()),
                                      sizeof(half), sizeof(half) * size_t(width)));
    }
    {
        Imf::OutputFile out(file.path.c_str(), header);
        out.setFrameBuffer(frameBuffer);
        out.writePixels(height);
    }
    return file.bytes();
}

Image readExr(const Bytes& content)
{
    ScratchFile file("read.exr");
    file.write(content);
    return ImageIO::readAtFileDepth(file.path);
}

// The offset of `text` in the file.
size_t offsetOf(const Bytes& bytes, const std::string& text)
{
    auto found = std::search(bytes.begin(), bytes.end(), text.begin(), text.end());
    return found == bytes.end() ? 0 : size_t(found - bytes.begin());
}

}  // namespace

// Y alone is grey (the reader once put R, G and B all under "Y", which kept only blue); Y with
// A keeps its alpha; luminance and chroma come back as their colour.
TEST(ExrColour, GreyAndLuminanceChromaFilesReadAsTheirColours)
{
    EXPECT_EQ(readExr(exrFile(2, 1, {{"Y", {0.25f, 0.75f}}})).rgbaFloat,
              (std::vector<float>{0.25f, 0.25f, 0.25f, 1, 0.75f, 0.75f, 0.75f, 1}));
    EXPECT_EQ(readExr(exrFile(1, 1, {{"Y", {0.25f}}, {"A", {0.5f}}})).rgbaFloat,
              (std::vector<float>{0.5f, 0.5f, 0.5f, 0.5f}));  // premultiplied in the file

    ScratchFile yca("yca.exr");
    {
        std::vector<Imf::Rgba> pixels(8 * 8, Imf::Rgba(0.8f, 0.3f, 0.1f, 1.0f));
        Imf::RgbaOutputFile out(yca.path.c_str(), 8, 8, Imf::WRITE_YCA);
        out.setFrameBuffer(pixels.data(), 1, 8);
        out.writePixels(8);
    }
    Image colour = readExr(yca.bytes());
    ASSERT_EQ(colour.width, 8);
    const float* centre = colour.pixelFloat(4, 4);
    EXPECT_NEAR(centre[0], 0.8f, 0.01f);
    EXPECT_NEAR(centre[1], 0.3f, 0.01f);
    EXPECT_NEAR(centre[2], 0.1f, 0.01f);
    EXPECT_EQ(centre[3], 1.0f);

    Bytes twice = exrFile(1, 1, {{"Y", {0.5f}}, {"Z", {0.5f}}});
    size_t z = offsetOf(twice, std::string("Z\0", 2));
    ASSERT_NE(z, 0u);
    twice[z] = 'Y';
    EXPECT_EQ(readResult(twice, "twice.exr"),
              std::string(kDamaged) + " (its channel list names 'Y' twice)");
}

// Tiny files whose headers claim huge images (16384 x 8192, within the default pixel limit) are
// refused from what the file holds, before anything is allocated for the claim (each once took
// gigabytes).
TEST(HostileHeaders, HugeClaimsAreRefusedBeforeAllocating)
{
    PeakMemoryWatch memory;
    CraftedTiff floats(16384, 8192, 4, 32, 2);
    floats.set(339, 3, {3, 3, 3, 3});
    floats.set(279, 4, {49152});
    EXPECT_EQ(readResult(floats.bytes(Bytes(49152, 0)), "floats.tif"),
              std::string(kDamaged) + " (its strips hold fewer rows)");
    CraftedTiff packed(16384, 8192, 3, 16, 2);
    packed.set(259, 3, {5});  // LZW
    packed.set(279, 4, {2000});
    EXPECT_EQ(readResult(packed.bytes(Bytes(2000, 0)), "packed.tif"),
              std::string(kDamaged) + " (its strips are far too short for its size)");
    EXPECT_EQ(readResult(paletteBmp(16384, 8192, 0, Bytes(8192, 1)), "huge.bmp"),
              std::string(kDamaged) + " (its pixel rows reach past the end of the file)");

    const Bytes grey = exrFile(1, 1, {{"Y", {0.5f}}});
    const size_t window = offsetOf(grey, std::string("dataWindow\0box2i\0", 17)) + 17;
    ASSERT_GT(window, 17u);
    Bytes empty = grey;  // 16384 x 8192 with the one chunk of a pixel
    empty[window + 4 + 8] = 0xFF, empty[window + 4 + 9] = 0x3F;
    empty[window + 4 + 12] = 0xFF, empty[window + 4 + 13] = 0x1F;
    EXPECT_EQ(readResult(empty, "empty.exr"),
              std::string(kDamaged) + " (its table of pixel chunks is cut short)");
    Bytes attribute = grey;  // a value claiming 2 GB
    attribute[window + 3] = 0x7F;
    EXPECT_EQ(readResult(attribute, "attribute.exr"),
              std::string(kDamaged) + " (an attribute's value reaches past the end of the file)");
    Bytes deep = grey;
    deep[5] |= 0x08;  // the version's flag of deep data
    EXPECT_EQ(readResult(deep, "deep.exr"),
              "a deep OpenEXR file (several samples per pixel) is not supported");
    EXPECT_LT(memory.growthMegabytes(), 200.0);
}

// Output names that cannot be files say why in words, before any pixel is encoded; sizes read
// from headers are shown as the header gives them, in the form every size limit uses.
TEST(ErrorWords, NamesAndSizesAreToldInWords)
{
    ScratchFile folder("folder.png");
    CreateDirectoryW(utf8ToWide(folder.path).c_str(), nullptr);
    const std::string base = folder.path.substr(0, folder.path.rfind('\\') + 1);
    const std::pair<std::string, std::string> names[] = {
        {folder.path, "it is a folder"},
        {base + "con.png", "'con' is a name Windows keeps for a device, not a file"},
        {base + "LPT1.tif", "'LPT1' is a name Windows keeps for a device, not a file"},
        {base + "aux.exr", "'aux' is a name Windows keeps for a device, not a file"},
        {base + "a?b.png", "the name holds a character Windows does not allow in file names "
                           "(< > : \" | ? * or a control character)"},
    };
    for (const auto& [path, reason] : names) {
        try {
            ImageIO::write(Image(2, 2), path);
            ADD_FAILURE() << path << " was written";
        } catch (const ImageError& error) {
            EXPECT_EQ(std::string(error.what()), "cannot write '" + path + "': " + reason);
        }
    }
    RemoveDirectoryW(utf8ToWide(folder.path).c_str());

    CraftedTiff wide(0xFFFFFFFFu, 1, 1, 8, 1);
    wide.set(279, 4, {8});
    EXPECT_EQ(readResult(wide.bytes(Bytes(8, 0)), "wide.tif"),
              "4294967295 x 1 pixels; at most 30000 pixels a side are read");
    EXPECT_EQ(readResult(CraftedTiff(0, 1, 1, 8, 1).bytes(Bytes(8, 0)), "none.tif"),
              std::string(kDamaged) + " (its header gives it 0 x 1 pixels)");
}

// A legal output name near the 255 characters a file name may have gets a temporary name within
// them (the temporary name once added 21 characters and failed with a code).
TEST(ErrorWords, LongestLegalNamesAreWritten)
{
    for (size_t length : {size_t(235), size_t(255)}) {
        ScratchFile probe("");
        const std::string folder = probe.path.substr(0, probe.path.rfind('\\') + 1);
        const std::string name = std::string(length - 4, 'n') + ".png";
        ScratchFile file(name);
        file.path = folder + name;
        ImageIO::write(Image(3, 2), file.path);
        EXPECT_EQ(ImageIO::probe(file.path).width, 3) << length;
        WIN32_FIND_DATAW found;
        HANDLE left = FindFirstFileW(utf8ToWide(folder + "nnnnnnnnnn*.part").c_str(), &found);
        EXPECT_EQ(left, INVALID_HANDLE_VALUE) << length << ": a temporary file is left";
        if (left != INVALID_HANDLE_VALUE) {
            FindClose(left);
        }
    }
}
