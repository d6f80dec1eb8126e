#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "headless/CommandLine.h"
#include "headless/HeadlessHost.h"
#include "headless/ImageIO.h"
#include "headless/World.h"

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

// Renders images with the effect through a started HeadlessHost (global setup and parameter
// setup done): sets the controls' values for the host to hand out at checkout (animations as
// linear changes over the frames of a sequence), converts images to and from the host's 8-bit
// ARGB worlds, and sends renders. Owns the custom layer worlds that the host hands out. Renders
// may be sent from several threads at once; the host takes them one at a time.
class Renderer {
public:
    // Frame n of a sequence is at time n / kTimeScale seconds.
    static constexpr A_u_long kTimeScale = 30;

    // Reads layer files and sets every setting's value; the animations run from frame 0 to
    // frame frames - 1. Throws ImageError for an unreadable layer file.
    Renderer(HeadlessHost& host, const std::vector<ControlSetting>& settings, int32_t frames);

    // The shutter every render hands the effect, in degrees of a frame (default 180 and 0).
    void setShutter(double angle, double phase);

    // The effect's controls, as the plug-in declared them.
    static std::vector<ControlOption> controlsOf(const HeadlessHost& host);

    static World toWorld(const Image& image);
    static Image toImage(const World& world);

    // Renders frame `frame` (from 0) of the input; throws RenderError when the effect fails.
    Image render(const World& input, int32_t frame);

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
    PF_Err renderInto(const World& input, World& output, int32_t frame);
    static void check(PF_Err err, int32_t frame);  // throws RenderError for a failed render

    HeadlessHost& host;
    std::vector<std::unique_ptr<World>> layers;
    double shutterAngle = 180.0;
    double shutterPhase = 0.0;
};

// The name of a host error code ("PF_Err_BAD_CALLBACK_PARAM") or an empty string.
std::string hostErrorName(PF_Err code);
// "host error 516 (PF_Err_BAD_CALLBACK_PARAM)", or what HeadlessHost::kExceptionEscaped means.
std::string hostErrorText(PF_Err code);

}  // namespace Tessarine::Lamino
