#include "imagefiles/ExrFile.h"

#include "imagefiles/ExrHeader.h"
#include "imagefiles/ImageError.h"
#include "imagefiles/OutputSink.h"
#include "imagefiles/SourceFile.h"

#include <Iex.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <ImfRgbaFile.h>
#include <half.h>

#include <algorithm>
#include <exception>
#include <new>

namespace Tessarine::Lamino {

namespace {

constexpr float kLargestHalf = 65504.0f;

// The library's reads, from a SourceFile.
class SourceStream : public Imf::IStream {
public:
    explicit SourceStream(const SourceFile& file) : Imf::IStream(file.path().c_str()), file(file)
    {
    }
    bool read(char c[], int n) override
    {
        if (n < 0 || !file.holds(at, uint64_t(n))) {
            throw Iex::InputExc("the file ends early");
        }
        file.read(at, c, size_t(n));
        at += uint64_t(n);
        return at < file.size();
    }
    uint64_t tellg() override { return at; }
    void seekg(uint64_t position) override { at = position; }

private:
    const SourceFile& file;
    uint64_t at = 0;
};

// The library's writes, into an OutputSink; a failed write ends the library's work.
class SinkStream : public Imf::OStream {
public:
    explicit SinkStream(OutputSink& sink) : Imf::OStream(sink.path().c_str()), sink(sink) { }
    void write(const char c[], int n) override
    {
        sink.write(c, size_t(n));
        if (sink.failed()) {
            throw Iex::IoExc("the file could not be written");
        }
    }
    uint64_t tellp() override { return sink.position(); }
    void seekp(uint64_t position) override { sink.seek(position); }

private:
    OutputSink& sink;
};

// The library's text without the file name it puts first ("Cannot read image file "F". ").
std::string libraryReason(const std::string& text)
{
    size_t named = text.find("image file \"");
    size_t end = named == std::string::npos ? named : text.find("\". ", named + 12);
    return end == std::string::npos ? text : text.substr(end + 3);
}

// Runs `work`, turning what the library throws into an ImageError about the file.
template <class Work>
auto guarded(const std::string& doing, const std::string& shownPath, Work work)
{
    try {
        return work();
    } catch (const ImageError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw ImageError("cannot " + doing + " '" + shownPath + "': not enough memory");
    } catch (const std::exception& error) {
        std::string reason = doing == "read" ? "the file is damaged or truncated (" : "";
        throw ImageError("cannot " + doing + " '" + shownPath + "': " + reason
                         + libraryReason(error.what()) + (reason.empty() ? "" : ")"));
    }
}

// How a file's colour is read: from R, G and B; from Y alone, as grey; or from luminance and
// chroma (Y, RY, BY), which the library's RGBA interface converts to RGB.
enum class ColourSource { Rgb, Grey, LuminanceChroma };

ColourSource colourSource(const ExrHeader& header, const SourceFile& file)
{
    auto full = [&](const char* name) {
        const ExrHeader::Channel* channel = header.channel(name);
        return !channel || (channel->xSampling == 1 && channel->ySampling == 1);
    };
    const bool rgb = header.channel("R") || header.channel("G") || header.channel("B");
    if (!full("R") || !full("G") || !full("B") || !full("A") || (!rgb && !full("Y"))) {
        file.fail("an OpenEXR file with subsampled colour channels is not supported (only "
                  "luminance-chroma files may subsample RY and BY)");
    }
    if (rgb) {
        return ColourSource::Rgb;
    }
    if (header.channel("Y")) {
        return header.channel("RY") || header.channel("BY") ? ColourSource::LuminanceChroma
                                                            : ColourSource::Grey;
    }
    file.fail("the file has no R, G, B or Y channel");
}

// Luminance and chroma through the library's conversion, a band of rows at a time.
void readLuminanceChroma(SourceStream& stream, Image& image)
{
    Imf::RgbaInputFile input(stream);
    const Imath::Box2i window = input.dataWindow();
    const size_t width = size_t(image.width);
    constexpr int32_t kBandRows = 64;
    std::vector<Imf::Rgba> band(width * kBandRows);
    for (int32_t top = window.min.y; top <= window.max.y; top += kBandRows) {
        int32_t bottom = std::min(window.max.y, top + kBandRows - 1);
        input.setFrameBuffer(band.data() - window.min.x - ptrdiff_t(top) * ptrdiff_t(width), 1,
                             width);
        input.readPixels(top, bottom);
        for (int32_t y = top; y <= bottom; ++y) {
            const Imf::Rgba* source = band.data() + size_t(y - top) * width;
            float* target = image.pixelFloat(0, y - window.min.y);
            for (size_t x = 0; x < width; ++x, target += 4) {
                target[0] = source[x].r, target[1] = source[x].g, target[2] = source[x].b;
                target[3] = source[x].a;
            }
        }
    }
}

// R, G, B and A (or Y into all three) through the library's general interface, as floats.
void readChannels(SourceStream& stream, ColourSource colour, Image& image)
{
    Imf::InputFile input(stream);
    const Imath::Box2i window = input.header().dataWindow();
    char* base = reinterpret_cast<char*>(image.rgbaFloat.data());
    const size_t xStride = 4 * sizeof(float), yStride = xStride * size_t(image.width);
    // A frame buffer keeps one slice per name: grey goes into red and is copied after.
    const char* names[] = {colour == ColourSource::Grey ? "Y" : "R", "G", "B", "A"};
    Imf::FrameBuffer frameBuffer;
    for (int c = 0; c < 4; ++c) {
        if (colour == ColourSource::Grey && (c == 1 || c == 2)) {
            continue;
        }
        frameBuffer.insert(names[c], Imf::Slice::Make(Imf::FLOAT, base + c * sizeof(float), window,
                                                      xStride, yStride, 1, 1, c == 3 ? 1.0 : 0.0));
    }
    input.setFrameBuffer(frameBuffer);
    input.readPixels(window.min.y, window.max.y);
    if (colour == ColourSource::Grey) {
        for (size_t i = 0; i < image.rgbaFloat.size(); i += 4) {
            image.rgbaFloat[i + 1] = image.rgbaFloat[i + 2] = image.rgbaFloat[i];
        }
    }
}

bool recognises(const SourceFile& file)
{
    return file.startsWith("\x76\x2F\x31\x01", 4);
}

ImageLayout readHeader(const SourceFile& file)
{
    return ExrHeader(file).layout();
}

Image decode(const SourceFile& file, const ImageLayout& layout)
{
    ExrHeader header(file);
    header.checkChunks(file);
    ColourSource colour = colourSource(header, file);
    return guarded("read", file.path(), [&] {
        Image image(int32_t(layout.width), int32_t(layout.height), ImageDepth::Float32);
        SourceStream stream(file);
        if (colour == ColourSource::LuminanceChroma) {
            readLuminanceChroma(stream, image);
        } else {
            readChannels(stream, colour, image);
        }
        unpremultiplyFloat(image);
        return image;
    });
}

// Sample `i` of the image as a float, as Image::converted gives it.
float floatSample(const Image& image, size_t i)
{
    switch (image.depth) {
    case ImageDepth::Bits8: return float(image.rgba[i]) / 255.0f;
    case ImageDepth::Bits16: return float(image.rgba16[i]) / 65535.0f;
    case ImageDepth::Float32: break;
    }
    return image.rgbaFloat[i];
}

// Rows top to top + rows - 1 of the image, premultiplied, into `floats` and (for half
// channels) `halves`, which clip to the largest half magnitude, 65504, rather than turn into
// infinity.
void fillBand(const Image& image, int32_t top, int32_t rows, std::vector<float>& floats,
              std::vector<half>& halves)
{
    const size_t first = size_t(top) * size_t(image.width) * 4;
    const size_t count = size_t(rows) * size_t(image.width) * 4;
    for (size_t i = 0; i < count; i += 4) {
        const float alpha = floatSample(image, first + i + 3);
        for (int c = 0; c < 3; ++c) {
            floats[i + c] = floatSample(image, first + i + c) * alpha;
        }
        floats[i + 3] = alpha;
    }
    for (size_t i = 0; i < (halves.empty() ? 0 : count); ++i) {
        halves[i] = half(std::clamp(floats[i], -kLargestHalf, kLargestHalf));  // NaN stays
    }
}

// Writes R, G, B, A channels of the type asked (half for 8 and 16-bit images, float for float
// ones, by default), premultiplied, a band of rows at a time, so that no premultiplied copy of
// the whole image is made.
void encode(const Image& image, const ImageWriteOptions& options, OutputSink& sink)
{
    const ExrChannelType channels = options.exrChannels.value_or(
        image.depth == ImageDepth::Float32 ? ExrChannelType::Float : ExrChannelType::Half);
    const bool halfChannels = channels == ExrChannelType::Half;
    guarded("write", sink.path(), [&] {
        Imf::Header header(image.width, image.height);
        const Imf::PixelType type = halfChannels ? Imf::HALF : Imf::FLOAT;
        const size_t sampleSize = halfChannels ? sizeof(half) : sizeof(float);
        const size_t xStride = 4 * sampleSize, yStride = xStride * size_t(image.width);
        const char* names[] = {"R", "G", "B", "A"};
        for (const char* name : names) {
            header.channels().insert(name, Imf::Channel(type));
        }
        constexpr int32_t kBandRows = 64;
        const size_t bandSamples = size_t(image.width) * 4 * kBandRows;
        std::vector<float> floats(bandSamples);
        std::vector<half> halves(halfChannels ? bandSamples : 0);
        try {
            SinkStream stream(sink);
            Imf::OutputFile file(stream, header);
            for (int32_t top = 0; top < image.height; top += kBandRows) {
                const int32_t rows = std::min(kBandRows, image.height - top);
                fillBand(image, top, rows, floats, halves);
                // The library addresses pixels by their row in the image, so the band's base
                // lies `top` rows before its first sample.
                char* base = (halfChannels ? reinterpret_cast<char*>(halves.data())
                                           : reinterpret_cast<char*>(floats.data()))
                    - ptrdiff_t(size_t(top) * yStride);
                Imf::FrameBuffer frameBuffer;
                for (int c = 0; c < 4; ++c) {
                    frameBuffer.insert(names[c],
                                       Imf::Slice(type, base + c * sampleSize, xStride, yStride));
                }
                file.setFrameBuffer(frameBuffer);
                file.writePixels(rows);
            }
        } catch (...) {
            sink.throwIfFailed();  // a full disk says more than the library's text
            throw;
        }
    });
}

}  // namespace

const ImageFormat& ExrFile::format()
{
    static const ImageFormat entry = {
        "OpenEXR", {"exr"}, {ImageDepth::Float32}, recognises, readHeader, decode, encode,
    };
    return entry;
}

}  // namespace Tessarine::Lamino
