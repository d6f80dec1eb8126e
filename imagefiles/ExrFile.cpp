#include "imagefiles/ExrFile.h"

#include "imagefiles/ImageIO.h"
#include "unicode/Utf8.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <half.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <fstream>
#include <new>

namespace Tessarine::Lamino {

namespace {

constexpr float kLargestHalf = 65504.0f;

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

ColourSource colourSource(const Imf::Header& header, const std::string& shownPath)
{
    const Imf::ChannelList& channels = header.channels();
    bool rgb = channels.findChannel("R") || channels.findChannel("G") || channels.findChannel("B");
    if (rgb) {
        return {"R", "G", "B"};
    }
    if (channels.findChannel("Y")) {
        return {"Y", "Y", "Y"};
    }
    throw ImageError("cannot read '" + shownPath + "': the file has no R, G, B or Y channel");
}

}  // namespace

bool ExrFile::hasSignature(const std::string& path)
{
    std::ifstream in(utf8ToWide(path).c_str(), std::ios::binary);
    unsigned char head[4] = {};
    in.read(reinterpret_cast<char*>(head), 4);
    return in && head[0] == 0x76 && head[1] == 0x2F && head[2] == 0x31 && head[3] == 0x01;
}

void ExrFile::probe(const std::string& path, const std::string& shownPath, int32_t& width,
                    int32_t& height)
{
    guarded("read", shownPath, [&] {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i window = file.header().dataWindow();
        int64_t w = int64_t(window.max.x) - window.min.x + 1;
        int64_t h = int64_t(window.max.y) - window.min.y + 1;
        width = int32_t(std::clamp<int64_t>(w, 0, INT32_MAX));
        height = int32_t(std::clamp<int64_t>(h, 0, INT32_MAX));
    });
}

Image ExrFile::read(const std::string& path, const std::string& shownPath, int32_t maxSide)
{
    return guarded("read", shownPath, [&] {
        Imf::InputFile file(path.c_str());
        const Imath::Box2i window = file.header().dataWindow();
        int64_t width = int64_t(window.max.x) - window.min.x + 1;
        int64_t height = int64_t(window.max.y) - window.min.y + 1;
        if (width <= 0 || height <= 0 || width > maxSide || height > maxSide) {
            throw ImageError("cannot read '" + shownPath + "': its size " + std::to_string(width)
                             + " x " + std::to_string(height) + " is outside 1 to "
                             + std::to_string(maxSide) + " pixels per side");
        }
        ColourSource colour = colourSource(file.header(), shownPath);
        Image image(int32_t(width), int32_t(height), ImageDepth::Float32);
        char* base = reinterpret_cast<char*>(image.rgbaFloat.data());
        const size_t xStride = 4 * sizeof(float), yStride = xStride * size_t(width);
        const char* names[] = {colour.red, colour.green, colour.blue, "A"};
        Imf::FrameBuffer frameBuffer;
        for (int c = 0; c < 4; ++c) {
            frameBuffer.insert(names[c],
                               Imf::Slice::Make(Imf::FLOAT, base + c * sizeof(float), window,
                                                xStride, yStride, 1, 1, c == 3 ? 1.0 : 0.0));
        }
        file.setFrameBuffer(frameBuffer);
        file.readPixels(window.min.y, window.max.y);
        unpremultiplyFloat(image);
        return image;
    });
}

void ExrFile::write(const Image& image, Channels channels, const std::string& path,
                    const std::string& shownPath)
{
    Image premultiplied = image.converted(ImageDepth::Float32);
    std::vector<float>& samples = premultiplied.rgbaFloat;
    for (size_t i = 0; i < samples.size(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            samples[i + c] *= samples[i + 3];
        }
    }
    // The library converts between a slice's type and its channel's on reading only.
    std::vector<half> halves;
    if (channels == Channels::Half) {
        halves.resize(samples.size());
        for (size_t i = 0; i < samples.size(); ++i) {
            halves[i] = half(std::clamp(samples[i], -kLargestHalf, kLargestHalf));  // NaN stays
        }
    }
    guarded("write", shownPath, [&] {
        Imf::Header header(image.width, image.height);
        Imf::PixelType type = channels == Channels::Half ? Imf::HALF : Imf::FLOAT;
        size_t sampleSize = channels == Channels::Half ? sizeof(half) : sizeof(float);
        char* base = channels == Channels::Half ? reinterpret_cast<char*>(halves.data())
                                                : reinterpret_cast<char*>(samples.data());
        const size_t xStride = 4 * sampleSize, yStride = xStride * size_t(image.width);
        const char* names[] = {"R", "G", "B", "A"};
        Imf::FrameBuffer frameBuffer;
        for (int c = 0; c < 4; ++c) {
            header.channels().insert(names[c], Imf::Channel(type));
            frameBuffer.insert(names[c], Imf::Slice(type, base + c * sampleSize, xStride, yStride));
        }
        Imf::OutputFile file(path.c_str(), header);
        file.setFrameBuffer(frameBuffer);
        file.writePixels(image.height);
    });
}

}  // namespace Tessarine::Lamino
