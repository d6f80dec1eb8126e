#include "command/LaminoTool.h"

#include <windows.h>

#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <set>

#include "tool/BareRoundTrip.h"
#include "tool/DefaultImage.h"
#include "tool/EffectReport.h"
#include "tool/GpuLimits.h"
#include "hosting/HeadlessHost.h"
#include "tool/Progress.h"
#include "tool/RenderingAbilities.h"
#include "tool/Renderer.h"
#include "tool/SequenceWriter.h"
#include "soak/Soak.h"
#include "unicode/Utf8.h"

namespace Tessarine::Lamino {

namespace {

const char kPluginFileName[] = "OrlaLamino.aex";

std::string formatMilliseconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f ms", value);
    return text;
}

// The built-in image, at --size when given, once that size is one the GPU renders.
Image builtInImage(const Plan& plan, int32_t maxSide)
{
    int32_t width = plan.width > 0 ? plan.width : DefaultImage::kWidth;
    int32_t height = plan.width > 0 ? plan.height : DefaultImage::kHeight;
    if (width > maxSide || height > maxSide) {
        throw UsageError("--size " + std::to_string(width) + "x" + std::to_string(height)
                         + ": the GPU renders at most " + std::to_string(maxSide)
                         + " pixels a side");
    }
    if (int64_t(width) * height > plan.maxPixels) {
        throw UsageError("--size " + std::to_string(width) + "x" + std::to_string(height)
                         + ": at most " + std::to_string(plan.maxPixels)
                         + " pixels (--max-pixels sets the limit)");
    }
    return DefaultImage::make(width, height);
}

// The file number of frame `frame` (from 0) of the run.
int32_t fileNumber(const Plan& plan, int32_t frame)
{
    return plan.start + frame;
}

std::string outputFile(const Plan& plan, int32_t frame)
{
    return plan.sequence
        ? CommandLine::frameFileName(plan.output, fileNumber(plan, frame),
                                     plan.start + plan.frames - 1)
        : plan.output;
}

std::string inputFile(const Plan& plan, int32_t frame)
{
    return CommandLine::hasFramePattern(plan.input)
        ? CommandLine::frameFileName(plan.input, fileNumber(plan, frame), 0)
        : plan.input;
}

// The full, case-folded form of a path, to tell whether two names are one file.
std::wstring fileIdentity(const std::string& path)
{
    std::wstring wide = utf8ToWide(path);
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(wide.c_str(), DWORD(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) {
        full = wide;
    } else {
        full.resize(length);
    }
    CharLowerBuffW(full.data(), DWORD(full.size()));
    return full;
}

// A render must never write over a file it reads: the input image (each frame's, for a
// numbered input) or a layer file.
void checkOutputsAreNotInputs(const Plan& plan)
{
    std::set<std::wstring> read;
    for (const ControlSetting& setting : plan.controls) {
        if (setting.option.kind == ControlKind::Layer) {
            read.insert(fileIdentity(setting.value.file));
        }
    }
    for (int32_t frame = 0; frame < plan.frames; ++frame) {
        if (!plan.input.empty() && (frame == 0 || CommandLine::hasFramePattern(plan.input))) {
            read.insert(fileIdentity(inputFile(plan, frame)));
        }
    }
    for (int32_t frame = 0; frame < (plan.sequence ? plan.frames : 1); ++frame) {
        std::string output = outputFile(plan, frame);
        if (read.count(fileIdentity(output))) {
            throw UsageError("-o '" + output + "' would overwrite a file the render reads");
        }
    }
}

// Messages show paths as the user gave them. The wrapper script turns absolute Linux paths into
// Wine's drive Z: and sets LAMINO_UNIX_PATHS; such paths are shown as Linux paths again.
std::string shown(const std::string& text)
{
    char value[8];
    DWORD length = GetEnvironmentVariableA("LAMINO_UNIX_PATHS", value, sizeof value);
    if (length != 1 || value[0] != '1') {
        return text;
    }
    std::string result;
    bool inPath = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "Z:\\") == 0) {
            inPath = true;
            i += 1; // the backslash after "Z:" becomes the root "/"
            continue;
        }
        if (text[i] == '\n') {
            inPath = false;
        }
        result += inPath && text[i] == '\\' ? '/' : text[i];
    }
    return result;
}

std::string settingsText(const Plan& plan)
{
    std::string text;
    for (const RawControlOption& option : plan.controlOptions) {
        text += (text.empty() ? "--" : " --") + option.name + " " + option.value;
    }
    return text.empty() ? "the defaults" : text;
}

}  // namespace

std::string LaminoTool::defaultPluginPath()
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD length;
    while ((length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()))) == path.size()) {
        path.resize(path.size() * 2);
    }
    path.resize(length);
    size_t folder = path.find_last_of(L"\\/");
    return wideToUtf8(folder == std::wstring::npos ? std::wstring() : path.substr(0, folder + 1))
        + kPluginFileName;
}

int LaminoTool::run(const std::vector<std::string>& arguments)
{
    try {
        Plan plan = CommandLine::parse(arguments);
        if (plan.versionRequested) {
            out << "lamino " << LAMINO_TOOL_VERSION << "\n";
            return kExitDone;
        }
        return plan.command == Command::Help ? help(plan) : runCommand(plan);
    } catch (const UsageError& error) {
        err << "lamino: " << shown(error.what()) << std::endl;
        return kExitUsage;
    } catch (const std::exception& error) {
        err << "lamino: " << shown(error.what()) << std::endl;
        return kExitFailed;
    } catch (...) {
        err << "lamino: an unexpected failure" << std::endl;
        return kExitFailed;
    }
}

// The usage, and the effect's controls when the plug-in can be loaded to ask it for them.
int LaminoTool::help(const Plan& plan)
{
    if (!plan.helpRequested) {
        err << CommandLine::usage();
        return kExitUsage;
    }
    out << CommandLine::usage();
    std::string pluginPath = plan.plugin.empty() ? defaultPluginPath() : plan.plugin;
    try {
        HeadlessHost host(pluginPath);
        startHost(host);
        out << "\nEffect controls of " << pluginPath << ":\n"
            << EffectReport::controls(Renderer::controlsOf(host));
    } catch (const std::exception& error) {
        out << "\n(The effect's controls are not listed: " << error.what() << ")\n";
    }
    return kExitDone;
}

int LaminoTool::runCommand(Plan& plan)
{
    if (plan.command == Command::Soak) {
        return soak(plan);
    }
    std::string pluginPath = plan.plugin.empty() ? defaultPluginPath() : plan.plugin;
    HeadlessHost host(pluginPath);
    startHost(host);
    CommandLine::resolveControls(plan, Renderer::controlsOf(host));
    switch (plan.command) {
    case Command::Info: info(host, pluginPath); break;
    case Command::Render: render(host, plan); break;
    case Command::Bench: bench(host, plan); break;
    case Command::Help:
    case Command::Soak: break;
    }
    reportHostIssues(host);
    return kExitDone;
}

void LaminoTool::startHost(HeadlessHost& host)
{
    PF_Err result = host.globalSetup();
    if (result != PF_Err_NONE) {
        throw RenderError("the effect's global setup failed: " + hostErrorText(result), result);
    }
    result = host.paramsSetup();
    if (result != PF_Err_NONE) {
        throw RenderError("the effect's parameter setup failed: " + hostErrorText(result), result);
    }
}

void LaminoTool::info(HeadlessHost& host, const std::string& pluginPath)
{
    PF_Err result = host.about();
    if (result != PF_Err_NONE) {
        throw RenderError("the effect's about command failed: " + hostErrorText(result), result);
    }
    GlobalSetupResult setup = host.globalSetupResult();
    out << EffectReport::info(pluginPath, *host.pipl(),
                              RenderingAbilities::fromFlags(setup.outFlags, setup.outFlags2),
                              host.aboutText(),
                              Renderer::controlsOf(host));
}

int32_t LaminoTool::maxRenderSide()
{
    if (renderSideLimit == 0) {
        renderSideLimit = GpuLimits::maxRenderSide();
    }
    return renderSideLimit;
}

// The image of the first frame at its own depth: the input file's, the first file of a numbered
// input, or the built-in image.
Image LaminoTool::firstInput(const Plan& plan)
{
    if (plan.input.empty()) {
        return builtInImage(plan, maxRenderSide());
    }
    return Renderer::readForRender(inputFile(plan, 0), maxRenderSide(), plan.maxPixels);
}

// The depth of the worlds the effect gets for a run at `depth`: that depth where the effect
// declares it, else 8 bits, as a host renders an effect that is not deep-colour aware, with the
// frames converted from and to the run's depth. Warns once of that, and of a PNG output that
// cannot hold floats.
ImageDepth LaminoTool::worldDepth(HeadlessHost& host, const Plan& plan, ImageDepth depth)
{
    GlobalSetupResult setup = host.globalSetupResult();
    ImageDepth rendered = depth;
    if (!RenderingAbilities::fromFlags(setup.outFlags, setup.outFlags2).renders(depth)) {
        rendered = ImageDepth::Bits8;
        err << "lamino: warning: the effect does not declare " << int(depth)
            << "-bit rendering (lamino info shows what it declares); it renders 8-bit worlds, "
               "converted from and to " << int(depth) << " bits" << std::endl;
    }
    if (ImageIO::storedDepth(plan.output, depth) != depth && depth == ImageDepth::Float32) {
        err << "lamino: warning: a " << ImageIO::formatOf(plan.output, depth)->name
            << " holds at most 16 bits per channel: " << shown(plan.output)
            << (plan.sequence ? " and the other frames are" : " is")
            << " written at 16 bits, values clipped to 0..1 (TIFF and OpenEXR keep floats)"
            << std::endl;
    }
    return rendered;
}

namespace {

// Writes a rendered frame at the run's depth, complete under its temporary name.
ImageIO::PendingWrite prepareFrame(const Image& image, ImageDepth depth, const Plan& plan,
                                   const std::string& path)
{
    ImageIO::WriteOptions options{plan.exrChannels};
    if (image.depth == depth) {
        return ImageIO::prepare(image, path, options);
    }
    return ImageIO::prepare(image.converted(depth), path, options);
}

}  // namespace

void LaminoTool::render(HeadlessHost& host, const Plan& plan)
{
    checkOutputsAreNotInputs(plan);
    Image first = firstInput(plan);
    ImageDepth depth = plan.depth.value_or(first.depth);
    WorldFormat format = Renderer::formatFor(worldDepth(host, plan, depth));
    auto input = std::make_shared<const World>(Renderer::toWorld(first, format));
    first = Image();
    Renderer renderer(host, plan.controls, plan.frames,
                      RenderSetup{format, maxRenderSide(), plan.maxPixels, plan.variations});
    renderer.setShutter(plan.shutterAngle, plan.shutterPhase);
    if (plan.sequence) {
        renderSequence(host, plan, renderer, input, depth);
        return;
    }
    // At most three frames at a time: the input and output worlds while rendering, then the
    // output world and its image, then the image while it is encoded.
    Image image;
    {
        World rendered = renderer.renderWorld(*input, 0);
        input.reset();
        image = Renderer::toImage(rendered);
    }
    prepareFrame(image, depth, plan, plan.output).commit();
    if (!plan.quiet) {
        err << "lamino: wrote " << shown(plan.output) << " (" << image.width << " x "
            << image.height << ", " << int(depth) << " bits per channel)" << std::endl;
    }
}

void LaminoTool::renderSequence(HeadlessHost& host, const Plan& plan, Renderer& renderer,
                                const std::shared_ptr<const World>& input, ImageDepth depth)
{
    bool moving = CommandLine::hasFramePattern(plan.input);
    int32_t maxSide = maxRenderSide();
    Progress progress(err, plan.frames, !plan.quiet);
    Renderer::FrameInput inputFor = [&](int32_t frame) {
        if (!moving || frame == 0) {
            return input;
        }
        auto world = std::make_shared<const World>(Renderer::toWorld(
            Renderer::readForRender(inputFile(plan, frame), maxSide, plan.maxPixels), input->format()));
        if (world->width() != input->width() || world->height() != input->height()) {
            throw ImageError("'" + inputFile(plan, frame) + "' is not the size of the first input "
                             "frame (" + std::to_string(input->width()) + " x "
                             + std::to_string(input->height()) + ")");
        }
        return world;
    };
    SequenceWriter files([&](int32_t frame) { return outputFile(plan, frame); });
    try {
        renderer.renderFrames(inputFor, plan.frames, plan.threads,
                              [&](int32_t frame, const Image& image) {
                                  files.deliver(frame, prepareFrame(image, depth, plan,
                                                                    outputFile(plan, frame)));
                                  progress.frameDone();
                              });
    } catch (const std::exception& error) {
        // Which files are new matters as much as what failed: the folder now holds new frames
        // up to the failed one and the old ones after it.
        throw std::runtime_error(std::string(error.what()) + "; " + files.summary());
    }
    progress.finish();
    if (!plan.quiet) {
        err << "lamino: renders at once: up to " << host.peakRendersAtOnce()
            << (host.rendersConcurrently() ? "" : " (the effect renders one frame at a time)")
            << std::endl;
    }
    warnOfLongerSequence(plan);
}

// A file numbered just after the last one written belongs to an earlier, longer sequence under
// the same name: a reader of the folder would take its frames for part of this one.
void LaminoTool::warnOfLongerSequence(const Plan& plan)
{
    std::string after = outputFile(plan, plan.frames);
    if (GetFileAttributesW(utf8ToWide(after).c_str()) != INVALID_FILE_ATTRIBUTES) {
        err << "lamino: warning: " << shown(after)
            << " and maybe later frames of an earlier, longer sequence are still there; this "
               "sequence ends at " << shown(outputFile(plan, plan.frames - 1)) << std::endl;
    }
}

void LaminoTool::bench(HeadlessHost& host, const Plan& plan)
{
    // Bench renders 8-bit worlds: the bare round trip beside it uploads 8-bit frames.
    World input = Renderer::toWorld(plan.input.empty()
                                        ? builtInImage(plan, maxRenderSide())
                                        : Renderer::readForRender(plan.input, maxRenderSide(), plan.maxPixels),
                                    WorldFormat::Argb8);
    Renderer renderer(host, plan.controls, 1);
    renderer.setShutter(plan.shutterAngle, plan.shutterPhase);
    if (!plan.quiet) {
        err << "lamino: " << plan.warmups << " warm-up and " << plan.runs << " timed renders"
            << (plan.baseline ? ", each followed by a bare round trip" : "") << "..."
            << std::endl;
    }
    // The bare trips run in turn with the renders, so that both see the same load on the machine.
    std::unique_ptr<BareRoundTrip> bare;
    BenchTimes bareTimes;
    std::function<void()> afterEach;
    if (plan.baseline) {
        bare = std::make_unique<BareRoundTrip>(input);
        afterEach = [&] { bareTimes.milliseconds.push_back(bare->run()); };
    }
    BenchTimes times = renderer.bench(input, plan.runs, plan.warmups, afterEach);
    char fps[96];
    std::snprintf(fps, sizeof fps, "%.2f (from the median)", 1000.0 / times.median());
    out << "Image:       " << input.width() << " x " << input.height() << ", "
        << (plan.input.empty() ? "the built-in image" : plan.input) << "\n"
        << "Controls:    " << settingsText(plan) << "\n"
        << "Renders:     " << plan.runs << " timed, after " << plan.warmups << " warm-up\n"
        << "Per frame:   median " << formatMilliseconds(times.median()) << ", min "
        << formatMilliseconds(times.minimum()) << ", max " << formatMilliseconds(times.maximum())
        << "\n"
        << "Frames/s:    " << fps << std::endl;
    if (bare) {
        // The warm-up trips are not counted, as the warm-up renders are not.
        bareTimes.milliseconds.erase(bareTimes.milliseconds.begin(),
                                     bareTimes.milliseconds.begin() + plan.warmups);
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, "%.2f", times.median() / bareTimes.median());
        out << "Bare trip:   median " << formatMilliseconds(bareTimes.median()) << ", min "
            << formatMilliseconds(bareTimes.minimum()) << ", max "
            << formatMilliseconds(bareTimes.maximum())
            << " (RGBA8 upload, one textured draw, readback)\n"
            << "Ratio:       " << ratio << " x the bare trip (medians)" << std::endl;
    }
}

// The soak loads the plug-in itself (again and again); its own books are its findings.
int LaminoTool::soak(const Plan& plan)
{
    SoakOptions options;
    options.plugin = plan.plugin.empty() ? defaultPluginPath() : plan.plugin;
    options.seconds = plan.soakRenders > 0 ? 0 : (plan.soakSeconds > 0 ? plan.soakSeconds : 60);
    options.renders = plan.soakRenders;
    options.seed = plan.seedGiven ? plan.seed : (GetTickCount64() ^ GetCurrentProcessId()) % 1000000;
    options.threads = plan.threadsGiven ? plan.threads : 2;
    options.sampleRenders = plan.sampleRenders;
    options.quiet = plan.quiet;
    options.leakHandlesPer1000Renders = plan.leakHandlesPer1000Renders;
    options.leakKilobytesPerCycle = plan.leakKilobytesPerCycle;
    return Soak(options, out, err).run() == 0 ? kExitDone : kExitFailed;
}

// The host's books after global setdown: anything the effect did not give back or did wrong.
void LaminoTool::reportHostIssues(HeadlessHost& host)
{
    host.globalSetdown();
    for (const std::string& line : host.outstanding()) {
        err << "lamino: warning: the effect did not give back: " << shown(line) << std::endl;
    }
    for (const std::string& line : host.issues()) {
        err << "lamino: warning: " << shown(line) << std::endl;
    }
}

}  // namespace Tessarine::Lamino
