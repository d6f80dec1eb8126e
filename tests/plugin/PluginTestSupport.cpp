#include "PluginTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "command/LaminoTool.h"

namespace Tessarine::Lamino {

std::string builtPluginPath()
{
    return LaminoTool::defaultPluginPath();
}

World toWorld(const ArgbImage& image, int32_t paddingPixels)
{
    World world(WorldFormat::Argb8, image.width, image.height, paddingPixels);
    for (int y = 0; y < image.height; ++y) {
        std::memcpy(world.pixel8(0, y), image.at(0, y), size_t(image.width) * 4);
    }
    return world;
}

ArgbImage fromWorld(const World& world)
{
    ArgbImage image(world.width(), world.height());
    for (int y = 0; y < image.height; ++y) {
        std::memcpy(image.at(0, y), world.pixel8(0, y), size_t(image.width) * 4);
    }
    return image;
}

World toWorldAt(const ArgbImage& image, WorldFormat format, int32_t paddingPixels)
{
    if (format == WorldFormat::Argb8) {
        return toWorld(image, paddingPixels);
    }
    World world(format, image.width, image.height, paddingPixels);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.at(x, y);
            if (format == WorldFormat::Argb16) {
                auto wide = [](uint8_t v) { return A_u_short((v * 32768 + 127) / 255); };
                *world.pixel16(x, y) = PF_Pixel16{wide(p[0]), wide(p[1]), wide(p[2]), wide(p[3])};
            } else {
                auto real = [](uint8_t v) { return PF_FpShort(v / 255.0f); };
                *world.pixelFloat(x, y) =
                    PF_PixelFloat{real(p[0]), real(p[1]), real(p[2]), real(p[3])};
            }
        }
    }
    return world;
}

ArgbImage eightBitsOf(const World& world)
{
    if (world.format() == WorldFormat::Argb8) {
        return fromWorld(world);
    }
    ArgbImage image(world.width(), world.height());
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            uint8_t* p = image.at(x, y);
            if (world.format() == WorldFormat::Argb16) {
                const PF_Pixel16& q = *world.pixel16(x, y);
                auto narrow = [](A_u_short v) { return uint8_t((v * 255 + 16384) / 32768); };
                p[0] = narrow(q.alpha), p[1] = narrow(q.red), p[2] = narrow(q.green);
                p[3] = narrow(q.blue);
            } else {
                const PF_PixelFloat& q = *world.pixelFloat(x, y);
                auto narrow = [](float v) {
                    return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
                };
                p[0] = narrow(q.alpha), p[1] = narrow(q.red), p[2] = narrow(q.green);
                p[3] = narrow(q.blue);
            }
        }
    }
    return image;
}

ArgbImage smoothPicture(int width, int height)
{
    ArgbImage image(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = image.at(x, y);
            p[0] = uint8_t(x < width / 4 ? 255 - 2 * x : 255); // a transparent ramp at the left
            p[1] = uint8_t(40 + 150 * x / std::max(1, width - 1));
            p[2] = uint8_t(30 + 180 * y / std::max(1, height - 1));
            p[3] = uint8_t(200 - 100 * (x + y) / std::max(1, width + height - 2));
        }
    }
    return image;
}

ArgbImage detailedPicture(int width, int height, int salt)
{
    ArgbImage image(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = image.at(x, y);
            const uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ uint32_t(salt);
            p[0] = uint8_t(y < height / 3 ? 1 + (x + y) % 12 : y < height / 2 ? 90 : 255);
            p[1] = uint8_t((x * 9 + (h & 63)) % 256);
            p[2] = uint8_t((y * 13 + ((h >> 8) & 63)) % 256);
            p[3] = uint8_t((h >> 16) & 255);
        }
    }
    return image;
}

ArgbImage rowCodedPicture(int width, int height)
{
    if (height > 50) {
        throw std::invalid_argument("row-coded pictures hold at most 50 rows");
    }
    ArgbImage image(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = image.at(x, y);
            p[0] = 255;
            p[1] = uint8_t(x * 255 / std::max(1, width - 1));
            p[2] = uint8_t(2 + 5 * y);
            p[3] = 90;
        }
    }
    return image;
}

ArgbImage solid(int width, int height, uint8_t a, uint8_t r, uint8_t g, uint8_t b)
{
    ArgbImage image(width, height);
    for (size_t i = 0; i < image.argb.size(); i += 4) {
        image.argb[i] = a, image.argb[i + 1] = r, image.argb[i + 2] = g, image.argb[i + 3] = b;
    }
    return image;
}

ArgbImage boxDownsampled(const ArgbImage& image, int nx, int ny)
{
    ArgbImage small((image.width + nx - 1) / nx, (image.height + ny - 1) / ny);
    for (int y = 0; y < small.height; ++y) {
        for (int x = 0; x < small.width; ++x) {
            double alpha = 0.0, colour[3] = {0.0, 0.0, 0.0};
            int count = 0;
            for (int j = y * ny; j < std::min(image.height, (y + 1) * ny); ++j) {
                for (int i = x * nx; i < std::min(image.width, (x + 1) * nx); ++i) {
                    const uint8_t* p = image.at(i, j);
                    alpha += p[0];
                    for (int c = 0; c < 3; ++c) {
                        colour[c] += double(p[0]) * p[1 + c];
                    }
                    ++count;
                }
            }
            uint8_t* q = small.at(x, y);
            q[0] = uint8_t(std::lround(alpha / count));
            for (int c = 0; c < 3; ++c) {
                q[1 + c] = alpha > 0.0 ? uint8_t(std::lround(colour[c] / alpha)) : 0;
            }
        }
    }
    return small;
}

PluginHost::PluginHost() : headless(std::make_unique<HeadlessHost>(builtPluginPath()))
{
    if (headless->startUp() != PF_Err_NONE) {
        throw std::runtime_error("the plug-in failed to start: " + headless->report());
    }
}

PF_Err PluginHost::render(const ArgbImage& input, ArgbImage& output, int outWidth, int outHeight)
{
    return renderInto(RenderRequest{}, input, output, outWidth, outHeight);
}

PF_Err PluginHost::renderAt(const RenderRequest& timing, const ArgbImage& input, ArgbImage& output)
{
    return renderInto(timing, input, output, -1, -1);
}

PF_Err PluginHost::renderInto(const RenderRequest& timing, const ArgbImage& input,
                              ArgbImage& output, int outWidth, int outHeight)
{
    World in = toWorld(input);
    World out(WorldFormat::Argb8, outWidth < 0 ? input.width : outWidth,
              outHeight < 0 ? input.height : outHeight);
    RenderRequest request = timing;
    request.input = in.get();
    request.output = out.get();
    const PF_Err err = headless->render(request);
    output = fromWorld(out);
    if (!out.guardIntact() || !in.guardIntact()) {
        throw std::runtime_error("the render wrote outside the pixels of a world");
    }
    return err;
}

} // namespace Tessarine::Lamino
