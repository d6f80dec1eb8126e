#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tool/ControlOption.h"
#include "imagefiles/ExrFile.h"
#include "imagefiles/Image.h"
#include "imagefiles/ImageIO.h"

namespace Tessarine::Lamino {

enum class Command { Help, Info, Render, Bench, Soak };

// An option that is not one of the tool's own: the name of an effect control, resolved once the
// plug-in has declared its controls.
struct RawControlOption {
    std::string name;  // without the leading dashes
    std::string value;
    bool missingValue = false;  // the last argument, with no value after it
};

// A control's value as the run will set it.
struct ControlSetting {
    ControlOption option;
    ControlValue value;
};

// How the headless host varies a render as a real host does (the defaults: full resolution,
// square pixels, whole layers): worlds downsampled by whole factors (box-filtered), a pixel
// aspect ratio, an input an upstream effect grew by `upstreamGrow` full-resolution pixels on
// every side (transparent there; the output grows as the effect reports), and an input cropped
// to a mask's box (full-resolution pixels of the layer; transparent outside it).
struct HostVariations {
    int32_t downsampleX = 1;
    int32_t downsampleY = 1;
    int32_t aspectNum = 1;
    int32_t aspectDen = 1;
    int32_t upstreamGrow = 0;
    bool masked = false;
    int32_t maskX = 0, maskY = 0, maskWidth = 0, maskHeight = 0;

    bool any() const
    {
        return downsampleX != 1 || downsampleY != 1 || aspectNum != aspectDen ||
               upstreamGrow != 0 || masked;
    }
};

// Everything a run does, decided from the arguments before any work starts.
struct Plan {
    Command command = Command::Help;
    bool helpRequested = false;  // --help, or help: usage to standard output, exit 0
    std::string input;  // empty: the built-in image
    std::string output;  // render: the image file (the name numbered files derive from)
    std::optional<ImageDepth> depth;  // --depth; without it the input image's own depth
    std::optional<ExrFile::Channels> exrChannels;  // --exr-channels
    std::string plugin;  // empty: OrlaLamino.aex beside the program
    int32_t frames = 1;
    bool sequence = false;  // --frames given, or a numbering pattern: numbered output files
    int32_t start = 1;  // --start: the number of the first file of a sequence
    bool versionRequested = false;  // --version
    int32_t threads = 1;
    bool threadsGiven = false;
    int32_t width = 0, height = 0;  // --size, for the built-in image; 0: its own size
    int64_t maxPixels = ImageIO::kDefaultMaxPixels;  // --max-pixels: the largest image read
    int32_t runs = 20, warmups = 3;  // bench
    bool baseline = false;  // bench: time a bare GPU round trip as well
    double shutterAngle = 180.0;  // degrees of a frame the host's shutter is open
    double shutterPhase = 0.0;    // degrees after the frame's time it opens
    HostVariations variations;    // render: --downsample, --pixel-aspect, --upstream-grow, --mask
    int32_t soakSeconds = 0, soakRenders = 0;  // soak: how long; neither given: 60 s
    uint64_t seed = 0;  // soak: the seed of its random choices
    bool seedGiven = false;  // soak: without --seed, one is made up and printed
    int32_t sampleRenders = 200;  // soak: renders between two samples
    // soak: leaks of its own, to show what its judgement catches (handles per 1000 renders, KB
    // per setup cycle)
    int32_t leakHandlesPer1000Renders = 0;
    int32_t leakKilobytesPerCycle = 0;
    bool quiet = false;
    bool verbose = false;  // the plug-in's own messages to standard error (lamino.exe's main)
    std::vector<RawControlOption> controlOptions;
    std::vector<ControlSetting> controls;  // filled by resolveControls
};

// Turns the tool's arguments (without the program name) into a Plan. Control options are kept
// raw until the plug-in's controls are known; everything else is checked here. Throws
// UsageError with a one-line message.
class CommandLine {
public:
    static constexpr int32_t kMaxFrames = 100000;
    static constexpr int32_t kMaxStart = 999999999;
    static constexpr int32_t kMaxThreads = 64;
    static constexpr int32_t kMaxSide = 16384;
    static constexpr int32_t kBenchWidth = 1920;
    static constexpr int32_t kBenchHeight = 1080;
    static constexpr int32_t kMaxSoakSeconds = 7 * 24 * 3600;
    static constexpr int32_t kMaxSoakRenders = 100000000;
    static constexpr int32_t kMaxDownsample = 8;
    static constexpr int32_t kMaxAspectTerm = 10000;
    static constexpr int32_t kMaxGrow = 4096;

    static Plan parse(const std::vector<std::string>& arguments);

    // Matches the raw control options to the plug-in's controls and checks their values.
    static void resolveControls(Plan& plan, const std::vector<ControlOption>& controls);

    // The file of frame `number` of a sequence: "out.png" -> "out_0001.png"; a name with a
    // numbering pattern gets the number in its place: "out_%04d.png" -> "out_0001.png".
    static std::string frameFileName(const std::string& output, int32_t number, int32_t frames);

    // Whether a file name holds a numbering pattern: one "%d" or "%0Nd" (N from 1 to 9).
    static bool hasFramePattern(const std::string& path);

    // The usage text of `lamino --help`, without the effect's controls.
    static std::string usage();
};

}  // namespace Tessarine::Lamino
