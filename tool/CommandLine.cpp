#include "tool/CommandLine.h"

#include "imagefiles/ImageIO.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

namespace Tessarine::Lamino {

namespace {

// The tool's own options that take a value, and the commands each applies to.
struct OwnOption {
    const char* name;
    bool takesValue;
    std::set<Command> commands;
};

const OwnOption kOwnOptions[] = {
    {"output", true, {Command::Render}},
    {"frames", true, {Command::Render}},
    {"start", true, {Command::Render}},
    {"threads", true, {Command::Render, Command::Soak}},
    {"depth", true, {Command::Render}},
    {"exr-channels", true, {Command::Render}},
    {"size", true, {Command::Render, Command::Bench}},
    {"max-pixels", true, {Command::Render, Command::Bench}},
    {"runs", true, {Command::Bench}},
    {"warmup", true, {Command::Bench}},
    {"baseline", false, {Command::Bench}},
    {"shutter-angle", true, {Command::Render, Command::Bench}},
    {"shutter-phase", true, {Command::Render, Command::Bench}},
    {"downsample", true, {Command::Render}},
    {"pixel-aspect", true, {Command::Render}},
    {"upstream-grow", true, {Command::Render}},
    {"mask", true, {Command::Render}},
    {"plugin", true, {Command::Render, Command::Bench, Command::Info, Command::Soak}},
    {"quiet", false, {Command::Render, Command::Bench, Command::Soak}},
    {"verbose", false, {Command::Render, Command::Bench, Command::Info, Command::Soak}},
    {"seconds", true, {Command::Soak}},
    {"renders", true, {Command::Soak}},
    {"seed", true, {Command::Soak}},
    {"sample-every", true, {Command::Soak}},
    {"leak-handles", true, {Command::Soak}},
    {"leak-kb", true, {Command::Soak}},
};

// A numbering pattern in a file name: where it starts, how long it is and its digit count (0:
// as many as the number has), or npos when there is none. Any other '%' is part of the name.
// Throws UsageError for a second pattern.
struct FramePattern {
    size_t at = std::string::npos;
    size_t length = 0;
    int digits = 0;
};

FramePattern findFramePattern(const std::string& path)
{
    FramePattern found;
    for (size_t i = path.find('%'); i != std::string::npos; i = path.find('%', i + 1)) {
        size_t end = i + 1;
        int digits = 0;
        if (end + 1 < path.size() && path[end] == '0' && path[end + 1] >= '1'
            && path[end + 1] <= '9') {
            digits = path[end + 1] - '0';
            end += 2;
        }
        if (end >= path.size() || path[end] != 'd') {
            continue;
        }
        if (found.at != std::string::npos) {
            throw UsageError("'" + path + "': a file name may hold one numbering pattern, %d or "
                             "%0Nd (for example out_%04d.png)");
        }
        found = FramePattern{i, end + 1 - i, digits};
    }
    return found;
}

double parseDegrees(const std::string& option, const std::string& text, double low, double high)
{
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    bool whole = !text.empty() && !std::isspace(static_cast<unsigned char>(text[0])) && *end == '\0';
    if (!whole || !(value >= low && value <= high)) {
        throw UsageError(option + " '" + text + "': allowed: degrees from " +
                         std::to_string(int(low)) + " to " + std::to_string(int(high)));
    }
    return value;
}

const char* commandName(Command command)
{
    switch (command) {
    case Command::Render: return "render";
    case Command::Bench: return "bench";
    case Command::Info: return "info";
    case Command::Soak: return "soak";
    case Command::Help: break;
    }
    return "help";
}

const OwnOption* findOwnOption(const std::string& name)
{
    for (const OwnOption& option : kOwnOptions) {
        if (name == option.name) {
            return &option;
        }
    }
    return nullptr;
}

int32_t parseCount(const std::string& option, const std::string& text, int32_t low, int32_t high)
{
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    bool whole = !text.empty() && std::isdigit(static_cast<unsigned char>(text[0])) && *end == '\0';
    if (!whole || value < low || value > high) {
        throw UsageError(option + " '" + text + "': allowed: a whole number from "
                         + std::to_string(low) + " to " + std::to_string(high));
    }
    return int32_t(value);
}

void parseSize(const std::string& text, Plan& plan)
{
    size_t x = text.find_first_of("xX");
    std::string problem = "--size '" + text + "': allowed: WIDTHxHEIGHT, each from 1 to "
        + std::to_string(CommandLine::kMaxSide) + " (for example 1920x1080)";
    if (x == std::string::npos) {
        throw UsageError(problem);
    }
    try {
        plan.width = parseCount("--size", text.substr(0, x), 1, CommandLine::kMaxSide);
        plan.height = parseCount("--size", text.substr(x + 1), 1, CommandLine::kMaxSide);
    } catch (const UsageError&) {
        throw UsageError(problem);
    }
}

// Whole numbers separated by `separator`, `count` of them, each within its range; otherwise
// UsageError with `allowed`.
std::vector<int32_t> parseList(const std::string& option, const std::string& text,
                               char separator, size_t count,
                               const std::vector<std::pair<int32_t, int32_t>>& ranges,
                               const std::string& allowed)
{
    std::vector<int32_t> values;
    size_t from = 0;
    try {
        for (size_t i = 0; i < count; ++i) {
            const size_t to = i + 1 < count ? text.find(separator, from) : text.size();
            if (to == std::string::npos) {
                throw UsageError(allowed);
            }
            values.push_back(parseCount(option, text.substr(from, to - from), ranges[i].first,
                                        ranges[i].second));
            from = to + 1;
        }
    } catch (const UsageError&) {
        throw UsageError(option + " '" + text + "': allowed: " + allowed);
    }
    return values;
}

void parseDownsample(const std::string& option, const std::string& text, HostVariations& v)
{
    const std::string allowed = "N or X,Y, each from 1 to " +
                                std::to_string(CommandLine::kMaxDownsample) +
                                " (2: Half, 3: Third, 4: Quarter)";
    const std::pair<int32_t, int32_t> range{1, CommandLine::kMaxDownsample};
    const bool pair = text.find(',') != std::string::npos;
    const std::vector<int32_t> n =
        parseList(option, text, ',', pair ? 2 : 1, {range, range}, allowed);
    v.downsampleX = n[0];
    v.downsampleY = pair ? n[1] : n[0];
}

void parseVariation(const std::string& name, const std::string& option, const std::string& text,
                    HostVariations& v)
{
    if (name == "downsample") {
        parseDownsample(option, text, v);
    } else if (name == "pixel-aspect") {
        const std::pair<int32_t, int32_t> term{1, CommandLine::kMaxAspectTerm};
        const std::vector<int32_t> ab = parseList(option, text, ':', 2, {term, term},
                                                  "A:B, a pixel's width to its height, each "
                                                  "from 1 to " +
                                                      std::to_string(CommandLine::kMaxAspectTerm) +
                                                      " (for example 2:1)");
        v.aspectNum = ab[0];
        v.aspectDen = ab[1];
    } else if (name == "upstream-grow") {
        v.upstreamGrow = parseCount(option, text, 0, CommandLine::kMaxGrow);
    } else if (name == "mask") {
        const std::pair<int32_t, int32_t> place{0, CommandLine::kMaxSide};
        const std::pair<int32_t, int32_t> size{1, CommandLine::kMaxSide};
        const std::vector<int32_t> box =
            parseList(option, text, ',', 4, {place, place, size, size},
                      "X,Y,W,H, the mask's box in the layer's pixels (X, Y from 0, W, H from 1 "
                      "to " + std::to_string(CommandLine::kMaxSide) + ")");
        v.masked = true;
        v.maskX = box[0], v.maskY = box[1], v.maskWidth = box[2], v.maskHeight = box[3];
    }
}

ImageDepth parseDepth(const std::string& option, const std::string& text)
{
    if (text == "8") {
        return ImageDepth::Bits8;
    }
    if (text == "16") {
        return ImageDepth::Bits16;
    }
    if (text == "32") {
        return ImageDepth::Float32;
    }
    throw UsageError(option + " '" + text
                     + "': allowed: 8, 16 or 32 bits per channel (32: floating point)");
}

ExrFile::Channels parseExrChannels(const std::string& option, const std::string& text)
{
    if (text == "half") {
        return ExrFile::Channels::Half;
    }
    if (text == "float") {
        return ExrFile::Channels::Float;
    }
    throw UsageError(option + " '" + text + "': allowed: half, float");
}

// Walks the arguments after the command word.
class ArgumentReader {
public:
    ArgumentReader(const std::vector<std::string>& arguments, Plan& plan)
        : arguments(arguments), plan(plan)
    {
    }

    void readAll()
    {
        for (next = 1; next < arguments.size();) {
            const std::string& argument = arguments[next++];
            if (argument == "-h" || argument == "--help") {
                plan.helpRequested = true;
            } else if (argument == "-o") {
                setOwn(*findOwnOption("output"), "-o", takeValue("-o"));
            } else if (argument == "-q") {
                setOwn(*findOwnOption("quiet"), "-q", "");
            } else if (argument == "--version") {
                plan.versionRequested = true;
            } else if (argument == "-v") {
                setOwn(*findOwnOption("verbose"), "-v", "");
            } else if (argument.rfind("--", 0) == 0 && argument.size() > 2) {
                readLongOption(argument.substr(2));
            } else if (argument.size() > 1 && argument[0] == '-') {
                throw UsageError("unknown option '" + argument
                                 + "' (lamino --help shows the options)");
            } else {
                readPositional(argument);
            }
        }
    }

private:
    std::string takeValue(const std::string& option)
    {
        if (next >= arguments.size()) {
            throw UsageError(option + " needs a value");
        }
        return arguments[next++];
    }

    void readLongOption(const std::string& text)
    {
        size_t equals = text.find('=');
        std::string name = text.substr(0, equals);
        bool inlineValue = equals != std::string::npos;
        const OwnOption* own = findOwnOption(name);
        if (own && !own->takesValue) {
            if (inlineValue) {
                throw UsageError("--" + name + " takes no value");
            }
            setOwn(*own, "--" + name, "");
            return;
        }
        if (!own && !inlineValue && next >= arguments.size()) {
            // Known or not, only the plug-in's controls can tell; resolveControls says which.
            plan.controlOptions.push_back({name, "", true});
            return;
        }
        std::string value = inlineValue ? text.substr(equals + 1) : takeValue("--" + name);
        if (own) {
            setOwn(*own, "--" + name, value);
        } else if (plan.command == Command::Info) {
            throw UsageError("unknown option '--" + name + "' for info (it takes only --plugin)");
        } else if (plan.command == Command::Soak) {
            throw UsageError("unknown option '--" + name + "' for soak (it picks the effect's "
                             "control values itself; lamino --help shows its options)");
        } else {
            plan.controlOptions.push_back({name, value});
        }
    }

    void setOwn(const OwnOption& option, const std::string& spelled, const std::string& value)
    {
        if (!option.commands.count(plan.command)) {
            throw UsageError(spelled + " does not apply to " + commandName(plan.command));
        }
        if (!seen.insert(option.name).second) {
            throw UsageError(spelled + " is given twice");
        }
        std::string name = option.name;
        if (name == "output") {
            plan.output = value;
        } else if (name == "frames") {
            plan.frames = parseCount(spelled, value, 1, CommandLine::kMaxFrames);
            plan.sequence = true;
        } else if (name == "start") {
            plan.start = parseCount(spelled, value, 0, CommandLine::kMaxStart);
        } else if (name == "depth") {
            plan.depth = parseDepth(spelled, value);
        } else if (name == "exr-channels") {
            plan.exrChannels = parseExrChannels(spelled, value);
        } else if (name == "max-pixels") {
            plan.maxPixels = parseCount(spelled, value, 1, 2147483647);
        } else if (name == "threads") {
            plan.threads = parseCount(spelled, value, 1, CommandLine::kMaxThreads);
            plan.threadsGiven = true;
        } else if (name == "size") {
            parseSize(value, plan);
        } else if (name == "runs") {
            plan.runs = parseCount(spelled, value, 1, CommandLine::kMaxFrames);
        } else if (name == "warmup") {
            plan.warmups = parseCount(spelled, value, 0, CommandLine::kMaxFrames);
        } else if (name == "baseline") {
            plan.baseline = true;
        } else if (name == "shutter-angle") {
            plan.shutterAngle = parseDegrees(spelled, value, 0.0, 720.0);
        } else if (name == "shutter-phase") {
            plan.shutterPhase = parseDegrees(spelled, value, -360.0, 360.0);
        } else if (name == "downsample" || name == "pixel-aspect" || name == "upstream-grow" ||
                   name == "mask") {
            parseVariation(name, spelled, value, plan.variations);
        } else if (name == "plugin") {
            plan.plugin = value;
        } else if (name == "quiet") {
            plan.quiet = true;
        } else if (name == "verbose") {
            plan.verbose = true;
        } else if (name == "seconds") {
            plan.soakSeconds = parseCount(spelled, value, 1, CommandLine::kMaxSoakSeconds);
        } else if (name == "renders") {
            plan.soakRenders = parseCount(spelled, value, 1, CommandLine::kMaxSoakRenders);
        } else if (name == "seed") {
            plan.seed = uint64_t(parseCount(spelled, value, 0, 2147483647));
            plan.seedGiven = true;
        } else if (name == "sample-every") {
            plan.sampleRenders = parseCount(spelled, value, 10, 1000000);
        } else if (name == "leak-handles") {
            plan.leakHandlesPer1000Renders = parseCount(spelled, value, 0, 1000);
        } else if (name == "leak-kb") {
            plan.leakKilobytesPerCycle = parseCount(spelled, value, 0, 100000);
        }
    }

    void readPositional(const std::string& argument)
    {
        if (plan.command == Command::Info || plan.command == Command::Soak) {
            throw UsageError(std::string(commandName(plan.command)) + " takes no file ('" +
                             argument + "')");
        }
        if (!plan.input.empty()) {
            throw UsageError("only one input image can be given ('" + plan.input + "', then '"
                             + argument + "')");
        }
        plan.input = argument;
    }

    const std::vector<std::string>& arguments;
    Plan& plan;
    size_t next = 1;
    std::set<std::string> seen;
};

void checkPlan(Plan& plan)
{
    if (plan.command == Command::Render && plan.output.empty()) {
        throw UsageError("render needs -o OUTPUT (.png, .tif, .tiff or .exr)");
    }
    const ImageFormat* format = ImageIO::formatOf(plan.output);
    if (plan.command == Command::Render && !format) {
        throw UsageError("-o '" + plan.output
                         + "': the output must be a .png, .tif, .tiff or .exr file");
    }
    if (plan.exrChannels && format != &ExrFile::format()) {
        throw UsageError("--exr-channels applies only to an .exr output");
    }
    if (CommandLine::hasFramePattern(plan.output)) {
        plan.sequence = true;
    }
    if (CommandLine::hasFramePattern(plan.input) && !plan.sequence) {
        throw UsageError("'" + plan.input + "' names numbered input frames; add --frames N");
    }
    if (!plan.input.empty() && plan.width != 0) {
        throw UsageError(
            "--size applies only to the built-in image; an input image keeps its own size");
    }
    if (plan.command == Command::Soak && plan.soakSeconds > 0 && plan.soakRenders > 0) {
        throw UsageError("soak takes --seconds or --renders, not both");
    }
    if (plan.command == Command::Bench && plan.width == 0 && plan.input.empty()) {
        plan.width = CommandLine::kBenchWidth;
        plan.height = CommandLine::kBenchHeight;
    }
}

}  // namespace

Plan CommandLine::parse(const std::vector<std::string>& arguments)
{
    Plan plan;
    if (arguments.empty()) {
        return plan;  // help, not asked for: the caller shows usage as an error
    }
    const std::string& word = arguments[0];
    if (word == "-h" || word == "--help" || word == "help") {
        plan.helpRequested = true;
        return plan;
    }
    if (word == "--version") {
        plan.versionRequested = true;
        return plan;
    }
    if (word == "render") {
        plan.command = Command::Render;
    } else if (word == "bench") {
        plan.command = Command::Bench;
    } else if (word == "info") {
        plan.command = Command::Info;
    } else if (word == "soak") {
        plan.command = Command::Soak;
    } else {
        throw UsageError("unknown command '" + word
                         + "'; commands: render, bench, info, soak (lamino --help shows usage)");
    }

    ArgumentReader(arguments, plan).readAll();
    if (plan.helpRequested) {
        plan.command = Command::Help;
        return plan;
    }
    if (plan.versionRequested) {
        return plan;
    }
    checkPlan(plan);
    return plan;
}

void CommandLine::resolveControls(Plan& plan, const std::vector<ControlOption>& controls)
{
    std::string known;
    for (const ControlOption& control : controls) {
        known += (known.empty() ? "--" : ", --") + control.name;
    }
    std::set<std::string> seen;
    for (const RawControlOption& raw : plan.controlOptions) {
        auto match
            = std::find_if(controls.begin(), controls.end(),
                           [&](const ControlOption& control) { return control.name == raw.name; });
        if (match == controls.end()) {
            throw UsageError("unknown option '--" + raw.name + "'; the effect's controls are "
                             + known + " (lamino info lists their values)");
        }
        if (raw.missingValue) {
            throw UsageError("--" + raw.name + " needs a value");
        }
        if (!seen.insert(raw.name).second) {
            throw UsageError("--" + raw.name + " is given twice");
        }
        ControlSetting setting{*match, match->parse(raw.value)};
        if (setting.value.animated && plan.command != Command::Render) {
            throw UsageError("--" + raw.name + " '" + raw.value
                             + "': FROM:TO animates a render sequence; " + commandName(plan.command)
                             + " takes one value");
        }
        if (setting.value.animated && !plan.sequence) {
            throw UsageError("--" + raw.name + " '" + raw.value
                             + "': FROM:TO animates over frames; add --frames N");
        }
        plan.controls.push_back(setting);
    }
}

bool CommandLine::hasFramePattern(const std::string& path)
{
    return findFramePattern(path).at != std::string::npos;
}

std::string CommandLine::frameFileName(const std::string& output, int32_t number, int32_t frames)
{
    FramePattern pattern = findFramePattern(output);
    if (pattern.at != std::string::npos) {
        std::string digits = std::to_string(number);
        digits.insert(0, size_t(pattern.digits) - std::min(size_t(pattern.digits), digits.size()),
                      '0');
        return output.substr(0, pattern.at) + digits + output.substr(pattern.at + pattern.length);
    }
    size_t folder = output.find_last_of("/\\");
    size_t dot = output.rfind('.');
    if (dot == std::string::npos || (folder != std::string::npos && dot < folder)) {
        dot = output.size();
    }
    std::string digits = std::to_string(number);
    size_t width = std::max<size_t>(4, std::to_string(frames).size());
    digits.insert(0, width - std::min(width, digits.size()), '0');
    return output.substr(0, dot) + "_" + digits + output.substr(dot);
}

std::string CommandLine::usage()
{
    return R"(Usage:
  lamino render [INPUT] -o OUTPUT [options] [control options]
  lamino bench [INPUT] [options] [control options]
  lamino info [--plugin PATH]
  lamino soak [--seconds N | --renders N] [--seed N] [--threads K] [options]
  lamino --help

Applies the Orla Lamino effect to an image, driving the plug-in (OrlaLamino.aex) as
After Effects does.

Commands:
  render   Render INPUT (PNG, TIFF, OpenEXR, JPEG or BMP; without INPUT a built-in
           test image) and write the result with alpha as PNG, TIFF or OpenEXR, by
           OUTPUT's extension (.png, .tif, .tiff, .exr).
  bench    Render repeatedly without writing and print the time per frame (median,
           minimum, maximum) and frames per second.
  info     Show the effect's registration, the depths and threading it declares,
           its about text and its controls with their option names, ranges and
           defaults.
  soak     Render for a long time in one process with random sizes, depths, controls
           and custom layers on several threads, with global setup cycles, reloads of
           the plug-in and host-call faults between renders; compare small frames with
           a CPU model of the effect and sample windows, handles, memory and the
           effect's GL objects. Fails on a wrong frame, a fault not survived, or growth.

Options:
  -o, --output FILE      the image to write (render); with --frames, numbered files
                         FILE_0001.png, FILE_0002.png, ...; a name with %04d (or %d)
                         gets the number there instead (out_%04d.png)
  --depth 8|16|32        bits per channel of the worlds the effect renders (32: float);
                         default the input's own (8-bit files 8, 16-bit PNG and TIFF 16,
                         float TIFF and OpenEXR 32, the built-in image 8). Custom layers
                         are converted to it. The output keeps it where its format can:
                         PNG 8 or 16 (at 32 it gets 16 bits, values clipped to 0..1),
                         TIFF 8, 16 or float, OpenEXR half (8, 16) or float (32)
  --exr-channels half|float  the channel type of an OpenEXR output
  --frames N             render a sequence of N frames (1 to 100000); an INPUT named
                         with %04d (in_%04d.png) gives one input file per frame
  --start N              the number of the sequence's first file (default 1)
  --threads K            spread the frames over K render threads (1 to 64, default 1;
                         soak: default 2)
  --size WxH             size of the built-in image (default 960x540; bench 1920x1080)
  --max-pixels N         the largest image read or made, in pixels (default 134217728,
                         128 megapixels: about 3 frames of it are in memory at once)
  --runs N               bench: timed renders (default 20)
  --warmup N             bench: untimed renders before them (default 3)
  --baseline             bench: also time a bare GPU round trip of the same frame (upload,
                         one textured draw, readback) in turn with the renders, and print
                         the ratio of the medians
  --shutter-angle DEG    how long the host's shutter stays open, in degrees of a frame
                         (0 to 720, default 180), for "Motion Blur"
  --shutter-phase DEG    when it opens after the frame's time (-360 to 360, default 0)
  --downsample N|X,Y     render as a host does at a lower resolution: worlds of 1/N the
                         size (box-filtered; 1 to 8, 2 is Half), the output as well
  --pixel-aspect A:B     the layers' pixel aspect ratio, a pixel's width to its height
                         (default 1:1; 2:1 for anamorphic footage)
  --upstream-grow PX     the input as an upstream effect (a glow) hands it: grown by PX
                         transparent pixels on every side; the output grows as the
                         effect reports
  --mask X,Y,W,H         the input cropped to a mask's box (in the layer's pixels),
                         transparent outside it
  --seconds N            soak: run for N seconds (default 60)
  --renders N            soak: run for N renders instead
  --seed N               soak: the seed of its random choices (default: made up and
                         printed, so that a failing run can be repeated)
  --sample-every N       soak: renders between two samples of the figures (default 200)
  --leak-handles N       soak: leak N kernel handles per 1000 renders of its own, and
  --leak-kb N            N KB of memory per setup cycle, to see its judgement catch them
  --plugin PATH          the plug-in to load (default: OrlaLamino.aex beside lamino.exe)
  -q, --quiet            no progress messages on standard error
  -v, --verbose          also show the plug-in's own messages (its OpenGL context
                         descriptions) on standard error
  -h, --help             show this text
  --version              show the tool's version

Control options: one per effect control, named after its label in lower case with
dashes ("Edge Type" is --edge-type), with the ranges and defaults the plug-in declares
(lamino info lists them). Write --name VALUE or --name=VALUE. Numeric controls and
checkboxes take FROM:TO to animate linearly over the frames of --frames (for example
--angle 0:90; a checkbox switches halfway).

Exit status: 0 done, 1 failed (file, plug-in or render error), 2 wrong command line.
)";
}

}  // namespace Tessarine::Lamino
