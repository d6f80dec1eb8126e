#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tool/CommandLine.h"
#include "hosting/HeadlessHost.h"
#include "imagefiles/ImageIO.h"
#include "hosting/World.h"

namespace Tessarine::Lamino {

// A command that the effect refused (a render, or its set-up); `code` is the host error code it
// returned.
class RenderError : public std::runtime_error {
public:
    RenderError(const std::string& message, PF_Err code) : std::runtime_error(message), code(code)
    {
    }
    PF_Err code;
};

// Per-frame times of a benchmark, in milliseconds, in the order they were taken.
struct BenchTimes {
    std::vector<double> milliseconds;
    double median() const;
    double minimum() const;
    double maximum() const;
};

// How a Renderer makes its worlds: the pixel format of the layers it reads, the largest side
// an image it reads may have (larger ones are refused before they are decoded), and how the host
// varies its renders.
struct RenderSetup {
    WorldFormat format = WorldFormat::Argb8;
    int32_t maxSide = ImageIO::kMaxSide;
    int64_t maxPixels = ImageIO::kDefaultMaxPixels;  // --max-pixels
    HostVariations variations;
};

// Renders images with the effect through a started HeadlessHost (global setup and parameter
// setup done): sets the controls' values for the host to hand out at checkout (animations as
// linear changes over the frames of a sequence), converts images to and from the host's ARGB
// worlds of any of its three depths, and sends renders. Owns the custom layer worlds that the
// host hands out. Renders may be sent from several threads at once; the host takes them one at a
// time.
class Renderer {
public:
    // Frame n of a sequence is at time n / kTimeScale seconds.
    static constexpr A_u_long kTimeScale = 30;

    // Reads layer files (converted to setup.format) and sets every setting's value; the
    // animations run from frame 0 to frame frames - 1. Throws ImageError for an unreadable or
    // too large layer file.
    Renderer(HeadlessHost& host, const std::vector<ControlSetting>& settings, int32_t frames,
             const RenderSetup& setup = {});
    // Takes its layers back from the host, which would otherwise hand out worlds that are gone
    // (the host's global setdown outlives the renderer).
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // The shutter every render hands the effect, in degrees of a frame (default 180 and 0).
    void setShutter(double angle, double phase);

    // The effect's controls, as the plug-in declared them.
    static std::vector<ControlOption> controlsOf(const HeadlessHost& host);

    // The world format that holds images of a depth, and the reverse.
    static WorldFormat formatFor(ImageDepth depth);
    static ImageDepth depthOf(WorldFormat format);

    // An image in a world of `format` (converted to its depth first), or of the image's own
    // depth. 16-bit worlds hold 0..32768 for the image's 0..65535, rounded to the nearest both
    // ways (0 and full are exact; a world's value survives the trip to an image and back).
    static World toWorld(const Image& image, WorldFormat format);
    static World toWorld(const Image& image);
    // The image of a world's pixels, at the world's depth.
    static Image toImage(const World& world);

    // The world box-downsampled by whole factors as a host renders at a lower resolution: each
    // pixel the average of the nx x ny block it covers (fewer at the right and bottom edges),
    // colour weighted by alpha.
    static World downsampled(const World& world, int32_t nx, int32_t ny);

    // Reads an image at its own depth once its header shows that no side is beyond `maxSide`
    // (what the GPU renders); throws ImageError otherwise, before decoding it.
    // and no more than `maxPixels` pixels (--max-pixels).
    static Image readForRender(const std::string& path, int32_t maxSide,
                               int64_t maxPixels = ImageIO::kDefaultMaxPixels);

    // Renders frame `frame` (from 0) of the input (full resolution) into a world of the input's
    // format and returns what the effect produced: the frame, or with the setup's variations the
    // host's result (downsampled, grown); throws RenderError when the effect fails.
    Image render(const World& input, int32_t frame);
    // The same, the result left in the output world (so that a caller can let the input go
    // before the result is converted: a frame less at the peak).
    World renderWorld(const World& input, int32_t frame);

    // Renders frames 0 to frames - 1 on `threads` threads and hands each result to `deliver`
    // (on the thread that rendered it, outside the host's lock, so deliveries overlap renders).
    // The first failure stops the threads and is thrown once they have ended.
    void renderFrames(const World& input, int32_t frames, int32_t threads,
                      const std::function<void(int32_t frame, const Image&)>& deliver);
    // The same with an input of its own for each frame, from inputFor(frame) on the thread that
    // renders it (a failure there stops the threads like a failed render).
    using FrameInput = std::function<std::shared_ptr<const World>(int32_t frame)>;
    void renderFrames(const FrameInput& inputFor, int32_t frames, int32_t threads,
                      const std::function<void(int32_t frame, const Image&)>& deliver);

    // Renders `warmups` untimed, then `runs` timed frames of the same input, calling
    // `afterEach` (when given) after every render, warm-up ones included.
    BenchTimes bench(const World& input, int32_t runs, int32_t warmups,
                     const std::function<void()>& afterEach = {});

private:
    // An input world as the host hands it with the variations, where it lies in the layer's
    // buffer pixels, and its max_result_rect when a mask crops it.
    struct PlacedInput {
        World world;
        int32_t origin[2];
        std::optional<PF_LRect> bounds;
    };
    PF_Err renderInto(const World& input, World& output, int32_t frame);
    PlacedInput placedInput(const World& full) const;
    World renderVaried(const World& input, int32_t frame);
    // Throws RenderError for a failed render, with what the effect told the user, if anything.
    void check(PF_Err err, int32_t frame) const;

    HeadlessHost& host;
    std::vector<std::unique_ptr<World>> layers;
    std::vector<A_long> layerIndices;  // the parameter each of `layers` was set for
    HostVariations variations;
    double shutterAngle = 180.0;
    double shutterPhase = 0.0;
};

// The name of a host error code ("PF_Err_BAD_CALLBACK_PARAM") or an empty string.
std::string hostErrorName(PF_Err code);
// "host error 516 (PF_Err_BAD_CALLBACK_PARAM)", or what HeadlessHost::kExceptionEscaped means.
std::string hostErrorText(PF_Err code);

}  // namespace Tessarine::Lamino
