#pragma once

#include <memory>
#include <string>


#include "hosting/HeadlessHost.h"
#include "hosting/OwnGlContext.h"
#include "model/SliceModel.h"
#include "hosting/World.h"

namespace Tessarine::Lamino {

// The built plug-in, OrlaLamino.aex, beside the test program.
std::string builtPluginPath();

// Host-side images: 8-bit worlds to and from the model's packed images.
World toWorld(const ArgbImage& image, int32_t paddingPixels = 3);
ArgbImage fromWorld(const World& world);
// The same picture in a world of any depth: 16-bit channels v * 32768 / 255 rounded, float v / 255.
World toWorldAt(const ArgbImage& image, WorldFormat format, int32_t paddingPixels = 3);
// A world of any depth in 8 bits, rounded to nearest (16-bit v * 255 / 32768; float held to 0..1).
ArgbImage eightBitsOf(const World& world);

// A smooth test picture with partly transparent regions: gentle gradients keep linear filtering
// close to the model even where a measured shift is slightly off.
ArgbImage smoothPicture(int width, int height);
// Every pixel opaque with green = 2 + 5 * y (rows up to 50): a shift along y shows in green.
ArgbImage rowCodedPicture(int width, int height);
ArgbImage solid(int width, int height, uint8_t a, uint8_t r, uint8_t g, uint8_t b);
// Detail everywhere, so that a sample taken from the wrong place shows, and alpha from 1/255 up
// in the top third; `salt` varies the detail.
ArgbImage detailedPicture(int width, int height, int salt);

// The picture at a host's lower resolution: each pixel the average of the nx x ny block it covers
// (fewer at the right and bottom edges), colour weighted by alpha, rounded to nearest.
ArgbImage boxDownsampled(const ArgbImage& image, int nx, int ny);

// The plug-in loaded by a headless host that has sent global and parameter setup, with helpers
// to render an image at given control values.
class PluginHost {
public:
    PluginHost();
    HeadlessHost& host() { return *headless; }
    // Renders `input` into an output world of the same size (or of the given size).
    PF_Err render(const ArgbImage& input, ArgbImage& output, int outWidth = -1, int outHeight = -1);
    // Renders at the time and with the shutter of `timing` (its worlds are not used).
    PF_Err renderAt(const RenderRequest& timing, const ArgbImage& input, ArgbImage& output);

private:
    PF_Err renderInto(const RenderRequest& timing, const ArgbImage& input, ArgbImage& output,
                      int outWidth, int outHeight);
    std::unique_ptr<HeadlessHost> headless;
};

// A legacy OpenGL context of the host's own, current while it lives: the plug-in must leave it
// current after every command.
using HostGlContext = OwnGlContext;

} // namespace Tessarine::Lamino
