#include "imagefiles/ExrFile.h"

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
        throw ImageError("cannot " + doing + " '" + shownPath + "': " + reason + error.what()
                         + (reason.empty() ? "" : ")"));
    }
}

// Where the colour of a file comes from: its R, G, B channels, or Y for all three.
struct ColourSource {
    const char* red;
    const char* green;
    const char* blue;
};

ColourSource colourSource(const Imf::Header& header, const SourceFile& file)
{
    const Imf::ChannelList& channels = header.channels();
    bool rgb = channels.findChannel("R") || channels.findChannel("G") || channels.findChannel("B");
    if (rgb) {
        return {"R", "G", "B"};
    }
    if (channels.findChannel("Y")) {
        return {"Y", "Y", "Y"};
    }
    file.fail("the file has no R, G, B or Y channel");
}

bool recognises(const SourceFile& file)
{
    return file.startsWith("\x76\x2F\x31\x01", 4);
}

ImageLayout readHeader(const SourceFile& file)
{
    return guarded("read", file.path(), [&] {
        SourceStream stream(file);
        Imf::InputFile input(stream);
        const Imath::Box2i window = input.header().dataWindow();
        ImageLayout layout;
        layout.width = std::max<int64_t>(0, int64_t(window.max.x) - window.min.x + 1);
        layout.height = std::max<int64_t>(0, int64_t(window.max.y) - window.min.y + 1);
        layout.depth = ImageDepth::Float32;
        return layout;
    });
}

Image decode(const SourceFile& file, const ImageLayout& layout)
{
    return guarded("read", file.path(), [&] {
        SourceStream stream(file);
        Imf::InputFile input(stream);
        const Imath::Box2i window = input.header().dataWindow();
        ColourSource colour = colourSource(input.header(), file);
        Image image(int32_t(layout.width), int32_t(layout.height), ImageDepth::Float32);
        char* base = reinterpret_cast<char*>(image.rgbaFloat.data());
        const size_t xStride = 4 * sizeof(float), yStride = xStride * size_t(layout.width);
        const char* names[] = {colour.red, colour.green, colour.blue, "A"};
        Imf::FrameBuffer frameBuffer;
        for (int c = 0; c < 4; ++c) {
            frameBuffer.insert(names[c],
                               Imf::Slice::Make(Imf::FLOAT, base + c * sizeof(float), window,
                                                xStride, yStride, 1, 1, c == 3 ? 1.0 : 0.0));
        }
        input.setFrameBuffer(frameBuffer);
        input.readPixels(window.min.y, window.max.y);
        unpremultiplyFloat(image);
        return image;
    });
}

void encode(const Image& image, const ImageWriteOptions& options, OutputSink& sink)
{
    ExrChannelType channels = options.exrChannels.value_or(
        image.depth == ImageDepth::Float32 ? ExrChannelType::Float : ExrChannelType::Half);
    Image premultiplied = image.converted(ImageDepth::Float32);
    std::vector<float>& samples = premultiplied.rgbaFloat;
    for (size_t i = 0; i < samples.size(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            samples[i + c] *= samples[i + 3];
        }
    }
    // The library converts between a slice's type and its channel's on reading only.
    std::vector<half> halves;
    if (channels == ExrChannelType::Half) {
        halves.resize(samples.size());
        for (size_t i = 0; i < samples.size(); ++i) {
            halves[i] = half(std::clamp(samples[i], -kLargestHalf, kLargestHalf));  // NaN stays
        }
    }
    guarded("write", sink.path(), [&] {
        Imf::Header header(image.width, image.height);
        Imf::PixelType type = channels == ExrChannelType::Half ? Imf::HALF : Imf::FLOAT;
        size_t sampleSize = channels == ExrChannelType::Half ? sizeof(half) : sizeof(float);
        char* base = channels == ExrChannelType::Half ? reinterpret_cast<char*>(halves.data())
                                                      : reinterpret_cast<char*>(samples.data());
        const size_t xStride = 4 * sampleSize, yStride = xStride * size_t(image.width);
        const char* names[] = {"R", "G", "B", "A"};
        Imf::FrameBuffer frameBuffer;
        for (int c = 0; c < 4; ++c) {
            header.channels().insert(names[c], Imf::Channel(type));
            frameBuffer.insert(names[c], Imf::Slice(type, base + c * sampleSize, xStride, yStride));
        }
        try {
            SinkStream stream(sink);
            Imf::OutputFile file(stream, header);
            file.setFrameBuffer(frameBuffer);
            file.writePixels(image.height);
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
