#include "soak/Soak.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <exception>
#include <sstream>
#include <thread>

#include "tool/Renderer.h"

namespace Tessarine::Lamino {

namespace {

constexpr int32_t kSettleSide = 16;
// Setup cycles per stretch, on average (5 to 15): the heap after a stretch varies by some 0.1 MB
// with what the renders before it left, and ten cycles between two samples make a leak of 20 KB a
// cycle twice that.
constexpr int32_t kCyclesPerStretch = 10;
constexpr int32_t kReloadsPerStretch = 1;
constexpr double kFaultChance = 0.25;         // per batch of a render stretch
constexpr double kAnimatedChance = 0.1;       // batches with motion blur over animated controls
// Samples, renders and setup cycles before the first judged sample: the first of each stretch
// kind meets programs, contexts and allocator blocks made for the first time.
constexpr int32_t kWarmupSamples = 6;
constexpr int64_t kWarmupRenders = 1000;
constexpr int64_t kWarmupCycles = 10;
constexpr int32_t kSamplesToJudge = 8;
// Renders, setup cycles and reloads the samples a rate is fitted on (for memory their later
// half) must span for it to be judged: a rate per 100 reloads from three reloads is a guess.
const double kJudgedSpan[] = {1000, 20, 5};
constexpr double kMegabyte = 1024.0 * 1024.0;
const char* const kStretchNames[] = {"renders", "cycles", "reloads"};
const double kStretchUnits[] = {1000.0, 100.0, 100.0};
const char* const kUnitNames[] = {"per 1000 renders", "per 100 setup cycles", "per 100 reloads"};

// How much each figure may grow, per 1000 renders, per 100 setup cycles and per 100 reloads,
// in the figure's own unit (bytes are shown in MB). Each figure is fitted against all three
// counts at once (GrowthFit), comparing samples after like stretches only, so a growth is
// charged to the events it comes with. A rate beyond its tolerance fails only where it is also
// more than kSignificance standard errors above 0: a short run's noise is not a leak. Memory is
// fitted on the samples after setup cycles and reloads only (after renders it is mostly what
// allocators keep of the last large frames) and on their later half. A rate is judged only over
// a long enough stretch (kJudgedSpan). Each reload leaves 4 kernel handles under Wine, which the
// statically linked thread library of the plug-in makes for the loading thread and keeps past
// unload (2 semaphores, a copy of the thread's handle and an event;
// ResourceGrowth.LoadsAndUnloadsLeaveFewHandles). The headless side's own locks are slim locks
// that hold no kernel object, so every handle counted comes and goes with the effect, the
// threads and the contexts.
// How many standard errors above 0 a rate beyond its tolerance must be to fail: some twenty
// figures are judged three times each, and a run's noise should fail none of them.
constexpr double kSignificance = 3.0;
constexpr double kBoundedByVariants = -1.0;
constexpr double kShownOnly = -2.0;
// The slice program's variant slots (edge modes, moving bands, custom layers, soft edges, motion
// blur, supersampled and placed reads), each built the first time a render needs it.
constexpr int64_t kProgramVariants = 256;
// Kernel handles, in all and each kind by its object type alike, per 1000 renders, per 100
// cycles and per 100 reloads.
constexpr double kHandleTolerance[] = {0.5, 2.5, 600};
struct Tolerance {
    const char* figure;
    double scale;  // shown value = figure / scale
    double perStretch[3];
};

const Tolerance kTolerances[] = {
    {"windows", 1, {1, 1, 1}},
    {"GDI objects", 1, {10, 10, 10}},
    {"USER objects", 1, {10, 10, 10}},
    {"kernel handles", 1, {kHandleTolerance[0], kHandleTolerance[1], kHandleTolerance[2]}},
    // The page file usage and the working set keep what heaps hold free after large frames and
    // jump when a frame larger than any before comes: shown, while the heap's bytes are judged.
    {"private MB", kMegabyte, {kShownOnly, kShownOnly, kShownOnly}},
    {"working set MB", kMegabyte, {kShownOnly, kShownOnly, kShownOnly}},
    {"heap MB", kMegabyte, {4, 1, 50}},
    // A context's objects after a stretch depend on the frames it rendered last (a custom layer
    // or none): their level varies by a few, while a leak grows by one or more per event.
    {"GL textures", 1, {20, 20, 20}},
    {"GL buffers", 1, {20, 20, 20}},
    {"GL renderbuffers", 1, {20, 20, 20}},
    {"GL framebuffers", 1, {20, 20, 20}},
    {"GL programs", 1, {kBoundedByVariants, 20, 20}},
    {"GL shaders", 1, {20, 20, 20}},
    {"GL vertex arrays", 1, {20, 20, 20}},
};
// (GL programs after renders are not judged per render: they are the program variants that the
// stretch's renders happened to need, at most kProgramVariants; more than that at any sample
// fails instead.)
const char kHandleTypePrefix[] = "handles: ";

bool isHandleType(const std::string& figure)
{
    return figure.rfind(kHandleTypePrefix, 0) == 0;
}

// The checkout the GL probe runs in, on the thread that asked for it.
struct ProbeRequest {
    HGLRC own = nullptr;
    GlObjectCounts counts;
    bool done = false;
    bool ownWasCurrent = false;
};
thread_local ProbeRequest* pendingProbe = nullptr;

}  // namespace

struct Soak::Figures {
    ProcessResources process;
    GlObjectCounts gl;
    double seconds = 0.0;

    std::vector<std::pair<std::string, double>> values() const
    {
        std::vector<std::pair<std::string, double>> list = {
            {"windows", double(process.windows)},
            {"kernel handles", double(process.kernelHandles)},
            {"private MB", double(process.privateBytes)},
            {"working set MB", double(process.workingSet)}};
        if (process.heapMeasured) {
            list.push_back({"heap MB", double(process.heapBytes)});
        }
        for (const auto& [type, count] : process.handlesByType) {
            list.push_back({kHandleTypePrefix + type, double(count)});
        }
        if (process.guiObjectsMeasured) {
            list.push_back({"GDI objects", double(process.gdiObjects)});
            list.push_back({"USER objects", double(process.userObjects)});
        }
        if (gl.measured) {
            for (int kind = 0; kind < GlObjectCounts::kKinds; ++kind) {
                list.push_back({std::string("GL ") + GlObjectCounts::kindName(kind),
                                double(gl.live[size_t(kind)])});
            }
        }
        return list;
    }
};

struct Soak::Stats {
    std::atomic<int64_t> renders{0}, compared{0}, large{0}, uncovered{0}, refused{0};
    std::atomic<int64_t> byFormat[3] = {};
    std::atomic<int64_t> faults{0}, cycles{0}, reloads{0}, samples{0};
    std::map<std::string, int64_t> faultKinds;  // main thread only
    std::atomic<int64_t> probesWithoutEffectContext{0};
};

Soak::Soak(const SoakOptions& options, std::ostream& out, std::ostream& err)
    : options(options), out(out), err(err), cases(options.seed), stats(std::make_unique<Stats>())
{
}

Soak::~Soak() = default;

// ------------------------------------------------------------------ outcome

void Soak::fail(const std::string& what)
{
    std::lock_guard<SlimSharedMutex> lock(failureMutex);
    if (failures.size() < 20) {
        failures.push_back(what);
    }
    stopping = true;
}

double Soak::elapsed() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool Soak::timeUp() const
{
    return (options.seconds > 0 && elapsed() >= options.seconds) ||
           (options.renders > 0 && stats->renders >= options.renders);
}

int Soak::run()
{
    start = std::chrono::steady_clock::now();
    out << "lamino soak: seed " << options.seed << " (repeat with --seed " << options.seed
        << "), " << options.threads << " render threads, "
        << (options.renders > 0 ? std::to_string(options.renders) + " renders"
                                : std::to_string(int64_t(options.seconds)) + " s")
        << std::endl;
    try {
        mainContext = std::make_unique<OwnGlContext>();
        load();
        printHeader();
        sample(kRenders);
        // The stretches' lengths and order vary, so that renders, cycles and reloads do not
        // grow in step and a growth can be told apart by the events it comes with.
        while (!stopped() && !timeUp()) {
            renderStretch();
            if (stopped() || timeUp()) {
                break;
            }
            const int32_t next = cases.uniform(0, 7);
            if (next < 2) {
                reloadStretch();
            } else if (next < 6) {
                cycleStretch();
            }
        }
        if (!stopped()) {
            unload();
        }
    } catch (const std::exception& error) {
        fail(std::string("the soak itself failed: ") + error.what());
    }
    crew.reset();
    host.reset();
    bool grew = failures.empty() && !judge();
    printTotals();
    for (const std::string& line : failures) {
        err << "lamino: soak: FAIL: " << line << std::endl;
    }
    const bool passed = failures.empty() && !grew;
    out << (passed ? "soak passed" : "soak FAILED") << " (seed " << options.seed << ")"
        << std::endl;
    return passed ? 0 : 1;
}

// ------------------------------------------------------------------ the plug-in

void Soak::load()
{
    host = std::make_unique<HeadlessHost>(options.plugin);
    if (PF_Err result = host->startUp(); result != PF_Err_NONE) {
        throw std::runtime_error("the effect failed to start: " + hostErrorText(result));
    }
    controls = Renderer::controlsOf(*host);
    layerIndex = 0;
    for (const ControlOption& option : controls) {
        if (option.kind == ControlKind::Layer && layerIndex == 0) {
            layerIndex = option.index;
        }
    }
    // The effect reads its controls before it makes its context current, and asks for pixels
    // inside it: the probe runs at the render's first pixel access.
    host->observePixelAccess([this]() {
        ProbeRequest* request = pendingProbe;
        if (request == nullptr || request->done) {
            return;
        }
        request->done = true;
        request->ownWasCurrent = wglGetCurrentContext() == request->own;
        if (!request->ownWasCurrent) {
            request->counts = GlObjectCounts::probeCurrentContext();
        }
    });
    probeFormats();
    crew = std::make_unique<RenderCrew>(options.threads);
}

void Soak::unload()
{
    crew.reset();  // render threads end (and the effect's contexts with them) before unloading
    host.reset();
    expectOwnCurrent(*mainContext, "the plug-in was unloaded");
}

// A tiny clean render of each depth tells which depths the effect renders by PF_Cmd_RENDER; the
// others it must keep refusing with an error code (never a success with a wrong frame).
void Soak::probeFormats()
{
    refusedFormats.clear();
    for (WorldFormat format : {WorldFormat::Argb8, WorldFormat::Argb16, WorldFormat::ArgbFloat}) {
        SoakBatch batch = cases.smallBatch(controls, format, 8, false);
        applyControls(batch, nullptr);
        World output(format, 8, 8);
        PF_Err result = renderFrame(batch, batch.frames[0], *mainContext, output, 0);
        expectCleanBooks("a first render of " + std::string(SoakCases::formatName(format)));
        if (result != PF_Err_NONE) {
            refusedFormats[format] = result;
        }
    }
    const bool deepDeclared = (host->globalSetupResult().outFlags & PF_OutFlag_DEEP_COLOR_AWARE);
    if (deepDeclared && refusedFormats.count(WorldFormat::Argb16)) {
        fail("the effect declares deep colour but refused a 16-bit render with " +
             hostErrorText(refusedFormats[WorldFormat::Argb16]));
    }
    if (refusedFormats.count(WorldFormat::Argb8)) {
        fail("the effect refused an 8-bit render with " +
             hostErrorText(refusedFormats[WorldFormat::Argb8]));
    }
}

std::vector<WorldFormat> Soak::formatsToRender() const
{
    // Mostly 8-bit, as most host renders are; each deeper depth a fifth of the time.
    return {WorldFormat::Argb8, WorldFormat::Argb8, WorldFormat::Argb8, WorldFormat::Argb16,
            WorldFormat::ArgbFloat};
}

// ------------------------------------------------------------------ stretches

void Soak::renderStretch()
{
    const int64_t first = stats->renders;
    const int64_t length = int64_t(options.sampleRenders) * cases.uniform(50, 150) / 100;
    while (!stopped() && !timeUp() && stats->renders - first < length) {
        const int32_t frames = crew->size() * cases.uniform(1, 4);
        runBatch(cases.batch(controls, frames, formatsToRender(), cases.chance(kAnimatedChance)));
        if (!stopped() && cases.chance(kFaultChance)) {
            faultEvent();
        }
    }
    leakedHandlesDue += double(stats->renders - first) * options.leakHandlesPer1000Renders / 1000.0;
    leakForTesting(kRenders);
    sample(kRenders);
}

void Soak::cycleStretch()
{
    // Every other stretch, a render thread of its own renders a frame and ends while the
    // stretch's first global setdown runs, as a host's render threads may end (a thread's end is
    // no command, and nothing orders it against setdown).
    const bool endThreadInSetdown = cycleStretches++ % 2 == 1;
    const int32_t count = cases.uniform(kCyclesPerStretch / 2, kCyclesPerStretch * 3 / 2);
    for (int32_t i = 0; i < count && !stopped(); ++i) {
        std::thread ending;
        if (endThreadInSetdown && i == 0) {
            ending = endingRenderThread();
        }
        const PF_Err setdown = host->globalSetdown();
        if (ending.joinable()) {
            ending.join();
        }
        if (setdown != PF_Err_NONE) {
            fail("global setdown returned " + hostErrorText(setdown));
        }
        expectOwnCurrent(*mainContext, "global setdown");
        if (PF_Err result = host->globalSetup(); result != PF_Err_NONE) {
            fail("global setup returned " + hostErrorText(result));
        }
        expectOwnCurrent(*mainContext, "global setup");
        expectCleanBooks("a setup cycle");
        ++stats->cycles;
        checkBatch();
    }
    leakForTesting(kCycles);
    sample(kCycles);
}

void Soak::reloadStretch()
{
    for (int32_t i = 0; i < kReloadsPerStretch && !stopped(); ++i) {
        expectCleanBooks("the renders before an unload");
        unload();
        load();
        ++stats->reloads;
        checkBatch();
    }
    sample(kReloads);
}

// A small batch on every render thread after a cycle or reload: the effect renders correctly.
void Soak::checkBatch()
{
    if (!stopped()) {
        runBatch(cases.batch(controls, crew->size(), {WorldFormat::Argb8}, false));
    }
}

void Soak::applyControls(const SoakBatch& batch, const World* layer)
{
    for (const SoakControl& control : batch.controls) {
        if (control.animated) {
            host->animate(control.option.index,
                          ParameterAnimation{control.value, control.to, 0.0, 10.0});
        } else {
            host->setValue(control.option.index, control.value);
        }
    }
    if (layerIndex != 0) {
        host->setLayer(layerIndex, layer != nullptr ? layer->get() : nullptr);
    }
}

std::unique_ptr<World> Soak::layerWorld(const SoakBatch& batch)
{
    if (!batch.hasLayer) {
        return nullptr;
    }
    return std::make_unique<World>(SoakCases::toWorld(
        SoakCases::picture(batch.layer.width, batch.layer.height, batch.layer.salt),
        batch.layer.format));
}

void Soak::runBatch(const SoakBatch& given)
{
    // Inputs placed as a real host places them need the smart render.
    SoakBatch batch = given;
    if ((host->globalSetupResult().outFlags2 & PF_OutFlag2_SUPPORTS_SMART_RENDER) == 0) {
        for (SoakFrame& frame : batch.frames) {
            frame.grow = 0;
            frame.masked = false;
        }
    }
    const std::unique_ptr<World> layer = layerWorld(batch);
    applyControls(batch, layer.get());
    std::vector<RenderCrew::Job> jobs;
    for (const SoakFrame& frame : batch.frames) {
        jobs.push_back([this, &batch, frame](OwnGlContext& own, int32_t) {
            if (!stopped()) {
                renderChecked(batch, frame, own);
            }
        });
    }
    crew->run(std::move(jobs));
    if (layerIndex != 0) {
        host->setLayer(layerIndex, nullptr);
    }
    expectCleanBooks("a batch of renders (" + SoakCases::describe(batch) + ")");
}

// ------------------------------------------------------------------ renders and checks

PF_Err Soak::renderFrame(const SoakBatch& batch, const SoakFrame& frame, OwnGlContext& own,
                         World& output, int64_t number)
{
    // A grown or masked input goes to the effect as a smart render places it; the layer's own
    // area of the grown output is the frame.
    World input = SoakCases::toWorld(SoakCases::inputPicture(frame), frame.format);
    const int32_t g = frame.grow;
    World grown(frame.format, g > 0 ? frame.width + 2 * g : 0, g > 0 ? frame.height + 2 * g : 0);
    RenderRequest request;
    request.input = input.get();
    request.output = g > 0 ? grown.get() : output.get();
    request.inputOrigin[0] = request.inputOrigin[1] = -g;
    request.outputOrigin[0] = request.outputOrigin[1] = -g;
    request.layerWidth = frame.width;
    request.layerHeight = frame.height;
    if (frame.masked) {
        request.inputBounds = PF_LRect{frame.mask[0], frame.mask[1], frame.mask[2], frame.mask[3]};
    }
    request.time = frame.time;
    request.timeScale = Renderer::kTimeScale;
    request.shutterAngle = batch.shutterAngle;
    request.shutterPhase = batch.shutterPhase;
    if (!own.makeCurrent()) {
        throw std::runtime_error("the soak's own OpenGL context could not be made current");
    }
    const PF_Err result = host->render(request);
    for (int32_t y = 0; g > 0 && y < output.height(); ++y) {
        std::memcpy(output.rowData(y), grown.rowData(y + g) + size_t(g) * grown.pixelSize(),
                    size_t(output.width()) * output.pixelSize());
    }
    const std::string what = "render " + std::to_string(number) + " (" +
                             SoakCases::describe(frame) + ")";
    expectOwnCurrent(own, what);
    if (!input.guardIntact() || !output.guardIntact()) {
        fail(what + " wrote outside the pixels of a world");
    }
    if (result == HeadlessHost::kExceptionEscaped) {
        fail(what + ": an exception escaped the entry point");
    }
    return result;
}

size_t Soak::offPixels(const SoakBatch& batch, const SoakFrame& frame, const World& output,
                       const ModelControls& model, bool withLayer, std::string* first) const
{
    const ArgbImage picture = SoakCases::layerPicture(frame);
    ArgbImage layerPicture;
    if (withLayer) {
        layerPicture = SoakCases::picture(batch.layer.width, batch.layer.height, batch.layer.salt);
    }
    const SliceModel slices(model, frame.width, frame.height);
    const ArgbImage rendered = SoakCases::toArgb8(output);
    const ArgbImage expected = slices.render(picture, withLayer ? &layerPicture : nullptr);
    if (first != nullptr) {
        *first = SoakCases::firstOffPixel(rendered, expected);
    }
    return SoakCases::offPixels(rendered, expected);
}

void Soak::renderChecked(const SoakBatch& batch, const SoakFrame& frame, OwnGlContext& own)
{
    const int64_t number = ++stats->renders;
    ++stats->byFormat[frame.format == WorldFormat::Argb8 ? 0
                      : frame.format == WorldFormat::Argb16 ? 1 : 2];
    World output(frame.format, frame.width, frame.height);
    const bool probing = pendingProbe != nullptr;
    const PF_Err result = renderFrame(batch, frame, own, output, number);
    const std::string what = "render " + std::to_string(number) + " (" +
                             SoakCases::describe(frame) + ", " + SoakCases::describe(batch) + ")";
    if (result != PF_Err_NONE) {
        if (refusedFormats.count(frame.format) != 0) {
            ++stats->refused;
        } else if (result != HeadlessHost::kExceptionEscaped) {
            fail(what + " failed with " + hostErrorText(result));
        }
        return;
    }
    if (probing) {
        return;  // a settling render: its frame is the defaults' and not the point
    }
    if (std::max(frame.width, frame.height) > SoakCases::kModelSide) {
        ++stats->large;
        return;
    }
    const std::optional<ModelControls> model = SoakCases::modelControls(batch);
    if (!model) {
        ++stats->uncovered;
        return;
    }
    std::string first;
    if (const size_t off = offPixels(batch, frame, output, *model, batch.hasLayer, &first)) {
        fail(what + " reported success with " + std::to_string(off) +
             " pixels off the CPU model by more than one level, the first " + first);
    }
    ++stats->compared;
}

void Soak::expectCleanBooks(const std::string& after)
{
    const std::string report = host->report();
    if (!report.empty()) {
        fail("the host's books are not clean after " + after + ":\n" + report);
        host->resetBooks();
    }
}

void Soak::expectOwnCurrent(const OwnGlContext& own, const std::string& after)
{
    if (!own.isCurrent()) {
        fail("the host's own OpenGL context was not current after " + after);
        own.makeCurrent();
    }
}

// ------------------------------------------------------------------ faults

// A fault between batches, on the main thread while no other render runs: a clean render, the
// same controls with the fault, then a clean render of new controls.
void Soak::faultEvent()
{
    if (faultDeck.empty()) {
        faultDeck = SoakFaults::kinds();
        std::shuffle(faultDeck.begin(), faultDeck.end(), std::mt19937_64(cases.salt()));
    }
    const SoakFault fault = SoakFaults::make(faultDeck.back(), cases, int32_t(controls.size()));
    faultDeck.pop_back();
    ++stats->faults;
    ++stats->faultKinds[fault.kind];
    std::vector<WorldFormat> accepted;
    for (WorldFormat format : {WorldFormat::Argb8, WorldFormat::Argb16, WorldFormat::ArgbFloat}) {
        if (refusedFormats.count(format) == 0) {
            accepted.push_back(format);
        }
    }
    const WorldFormat format = accepted[size_t(cases.uniform(0, int32_t(accepted.size()) - 1))];
    SoakBatch batch = cases.smallBatch(controls, format, 0, true);
    if (fault.command == FaultedCommand::Render) {
        injectRenderFault(fault, batch, *mainContext);
    } else {
        injectCommandFault(fault);
    }
    if (!stopped()) {
        SoakBatch after = cases.smallBatch(controls, format, 0, true);
        const std::unique_ptr<World> layer = layerWorld(after);
        applyControls(after, layer.get());
        renderChecked(after, after.frames[0], *mainContext);
        host->setLayer(layerIndex, nullptr);
        expectCleanBooks("the render after the fault '" + fault.kind + "'");
    }
}

void Soak::injectRenderFault(const SoakFault& fault, const SoakBatch& batch, OwnGlContext& own)
{
    const std::unique_ptr<World> layer = layerWorld(batch);
    applyControls(batch, layer.get());
    const SoakFrame& frame = batch.frames[0];
    const HostCounts before = host->counts();
    renderChecked(batch, frame, own);
    const RenderUse use = RenderUse::between(before, host->counts(), frame.format, layerIndex);
    if (stopped()) {
        return;
    }
    const std::string what = "the fault '" + fault.kind + "' in a render (" +
                             SoakCases::describe(frame) + ", " + SoakCases::describe(batch) + ")";
    World output(frame.format, frame.width, frame.height);
    host->setFaultPlan(fault.plan);
    const int64_t number = ++stats->renders;
    const PF_Err result = renderFrame(batch, frame, own, output, number);
    host->setFaultPlan(FaultPlan{});
    host->setLayer(layerIndex, nullptr);
    expectCleanBooks(what);
    const PF_Err expected = fault.expected(use, int32_t(controls.size()));
    if (result != expected) {
        fail(what + " returned " + hostErrorText(result) + ", expected " + hostErrorText(expected));
        return;
    }
    if (result == PF_Err_NONE) {
        checkFaultFrame(batch, output, what);
    }
}

// A fault that the render did not need leaves its frame as a clean render makes it: every
// control read, the custom layer in.
void Soak::checkFaultFrame(const SoakBatch& batch, const World& output, const std::string& what)
{
    const SoakFrame& frame = batch.frames[0];
    std::optional<ModelControls> model = SoakCases::modelControls(batch);
    if (model && offPixels(batch, frame, output, *model, batch.hasLayer) != 0) {
        fail(what + " reported success with a frame off the CPU model");
    }
}

void Soak::injectCommandFault(const SoakFault& fault)
{
    const bool about = fault.command == FaultedCommand::About;
    const std::string what = "the fault '" + fault.kind + "' in " +
                             (about ? "PF_Cmd_ABOUT" : "PF_Cmd_PARAMS_SETUP");
    const RenderUse none;
    const PF_Err expected = fault.expected(none, int32_t(controls.size()));
    host->setFaultPlan(fault.plan);
    const PF_Err result = about ? host->about() : host->paramsSetup();
    host->setFaultPlan(FaultPlan{});
    expectOwnCurrent(*mainContext, what);
    expectCleanBooks(what);
    if (result != expected) {
        fail(what + " returned " + hostErrorText(result) + ", expected " + hostErrorText(expected));
    }
    const PF_Err again = about ? host->about() : host->paramsSetup();
    if (again != PF_Err_NONE || int32_t(host->parameters().size()) != int32_t(controls.size())) {
        fail("the command after " + what + " returned " + hostErrorText(again));
    }
    expectCleanBooks("the command after " + what);
}

// ------------------------------------------------------------------ figures

// Settles every render thread with a tiny default render (so that no thread's surface holds a
// large frame), counting the effect's GL objects from inside it, then samples the process.
Soak::Figures Soak::measure()
{
    std::vector<ProbeRequest> requests(size_t(crew->size()));
    SoakBatch settle = cases.smallBatch(controls, WorldFormat::Argb8, kSettleSide, false);
    applyControls(settle, nullptr);
    crew->runOnEach([&](OwnGlContext& own, int32_t thread) {
        ProbeRequest& request = requests[size_t(thread)];
        request.own = own.handle();
        pendingProbe = &request;
        renderChecked(settle, settle.frames[0], own);
        pendingProbe = nullptr;
    });
    renderChecked(settle, settle.frames[0], *mainContext);  // the fault events' thread too
    Figures figures;
    figures.gl.measured = true;
    for (const ProbeRequest& request : requests) {
        if (!request.done || request.ownWasCurrent || !request.counts.measured) {
            figures.gl.measured = false;
            ++stats->probesWithoutEffectContext;
            continue;
        }
        // Shared objects are the same from every context of the group; framebuffers and
        // vertex arrays are each context's own.
        for (int kind = 0; kind < GlObjectCounts::kKinds; ++kind) {
            const size_t k = size_t(kind);
            const bool perContext =
                kind == GlObjectCounts::Framebuffers || kind == GlObjectCounts::VertexArrays;
            figures.gl.live[k] = perContext ? figures.gl.live[k] + request.counts.live[k]
                                            : std::max(figures.gl.live[k], request.counts.live[k]);
            figures.gl.highestName[k] =
                std::max(figures.gl.highestName[k], request.counts.highestName[k]);
        }
    }
    figures.process = ProcessResources::sample();
    figures.seconds = elapsed();
    return figures;
}

void Soak::sample(Stretch stretch)
{
    if (stopped()) {
        return;
    }
    const Figures figures = measure();
    ++stats->samples;
    const size_t programs = size_t(GlObjectCounts::Programs);
    if (figures.gl.measured && figures.gl.live[programs] > kProgramVariants + 2) {
        fail("the effect holds " + std::to_string(figures.gl.live[programs]) +
             " GL programs, more than its " + std::to_string(kProgramVariants) +
             " variants and 2 more");
    }
    if (++samplesTaken > kWarmupSamples && stats->renders >= kWarmupRenders &&
        stats->cycles >= kWarmupCycles) {
        const GrowthFit::Counts counts = {double(stats->renders.load()),
                                          double(stats->cycles.load()),
                                          double(stats->reloads.load())};
        for (const auto& [name, value] : figures.values()) {
            if (settledOnly(name) && stretch == kRenders) {
                continue;
            }
            if (isHandleType(name) &&
                std::find(handleTypes.begin(), handleTypes.end(), name) == handleTypes.end()) {
                handleTypes.push_back(name);
            }
            fits[name].add(int(stretch), counts, value);
        }
        // A kind of handle that has gone counts 0 from then on, not as missing.
        for (const std::string& type : handleTypes) {
            if (figures.process.handlesByType.count(type.substr(sizeof kHandleTypePrefix - 1)) ==
                0) {
                fits[type].add(int(stretch), counts, 0.0);
            }
        }
    }
    if (!options.quiet || stats->samples == 1) {
        printRow(kStretchNames[stretch], figures);
    }
}

// A thread that renders one small frame in an OpenGL context of the host's own, then ends once
// it is released, which is when it is returned: the caller's next step races with its end.
std::thread Soak::endingRenderThread()
{
    SoakBatch batch = cases.smallBatch(controls, WorldFormat::Argb8, kSettleSide, false);
    applyControls(batch, nullptr);
    std::atomic<bool> rendered{false};
    std::atomic<bool>* released = new std::atomic<bool>(false);
    std::thread thread([this, batch, &rendered, released] {
        {
            OwnGlContext own;
            renderChecked(batch, batch.frames[0], own);
        }
        rendered = true;
        while (!released->load()) {
            std::this_thread::yield();
        }
        delete released;
    });
    while (!rendered) {
        std::this_thread::yield();
    }
    released->store(true);
    return thread;
}

// Figures fitted on the samples after setup cycles and reloads only, where the effect has let go
// of all it holds for renders: memory, which after renders is mostly what allocators keep of the
// last large frames. (Kernel handles are fitted on every sample: after renders every render
// thread holds its context, so their level differs from state to state by a constant that the
// pairs of like samples leave out, and a leak of one handle per 1000 renders shows in twice the
// pairs.)
bool Soak::settledOnly(const std::string& figure)
{
    return figure == "private MB" || figure == "working set MB" || figure == "heap MB";
}

// The soak's own leaks, at the end of each stretch, charged to its events: handles that render
// threads leave as they render, memory that setup cycles leave.
void Soak::leakForTesting(Stretch stretch)
{
    if (stretch == kRenders && options.leakHandlesPer1000Renders > 0) {
        // Spread over the render threads, as a leak in the effect's render path would be.
        std::atomic<int64_t> due{int64_t(leakedHandlesDue)};
        leakedHandlesDue -= double(int64_t(leakedHandlesDue));
        crew->runOnEach([&](OwnGlContext&, int32_t) {
            while (due.fetch_sub(1) > 0) {
                CreateEventW(nullptr, TRUE, FALSE, nullptr);
            }
        });
    }
    if (stretch == kCycles && options.leakKilobytesPerCycle > 0) {
        for (int64_t i = leakedCycles; i < stats->cycles; ++i) {
            leakedMemory.emplace_back(size_t(options.leakKilobytesPerCycle * 1024.0), char(1));
        }
    }
    leakedCycles = stats->cycles;
}

void Soak::printHeader()
{
    out << "GL objects are counted from inside the effect's own context (at its first pixel "
           "access); private MB is the page file usage where Windows' private usage reads 0 "
           "(Wine).\n";
    if (ProcessResources::sample().handlesProbed) {
        out << "Kernel handles are counted by probing every handle value with "
               "GetHandleInformation: GetProcessHandleCount reports 0 here.\n";
    }
    const std::string gui = ProcessResources::guiObjectsNote();
    if (!gui.empty()) {
        out << gui << ".\n";
    }
    char line[256];
    std::snprintf(line, sizeof line,
                  "%-8s %7s %8s %8s %6s %7s %6s %4s %7s %8s %8s %8s %4s %4s %4s %4s %4s %4s %4s\n",
                  "after", "seconds", "renders", "compared", "cycles", "reloads", "faults",
                  "wins", "handles", "privMB", "wsetMB", "heapMB", "tex", "buf", "rbo", "fbo",
                  "prog", "shd", "vao");
    out << line << std::flush;
}

void Soak::printRow(const char* stretch, const Figures& figures)
{
    char gl[64] = "   -    -    -    -    -    -    -";
    if (figures.gl.measured) {
        const auto& n = figures.gl.live;
        std::snprintf(gl, sizeof gl, "%4lld %4lld %4lld %4lld %4lld %4lld %4lld",
                      (long long)n[0], (long long)n[1], (long long)n[2], (long long)n[3],
                      (long long)n[4], (long long)n[5], (long long)n[6]);
    }
    char heap[16] = "       -";
    if (figures.process.heapMeasured) {
        std::snprintf(heap, sizeof heap, "%8.2f", figures.process.heapBytes / kMegabyte);
    }
    char line[256];
    std::snprintf(line, sizeof line, "%-8s %7.0f %8lld %8lld %6lld %7lld %6lld %4lld %7lld "
                                     "%8.1f %8.1f %s %s\n",
                  stretch, figures.seconds, (long long)stats->renders.load(),
                  (long long)stats->compared.load(), (long long)stats->cycles.load(),
                  (long long)stats->reloads.load(), (long long)stats->faults.load(),
                  (long long)figures.process.windows, (long long)figures.process.kernelHandles,
                  figures.process.privateBytes / kMegabyte, figures.process.workingSet / kMegabyte,
                  heap, gl);
    out << line << std::flush;
}

// Growth of every figure against the tolerances; true when nothing grew beyond them.
bool Soak::judge()
{
    out << "\nGrowth after the warm-up (least squares on renders, setup cycles and reloads at "
           "once, memory over the later half of the samples after cycles and reloads; the rate "
           "+- its standard error, tolerance in brackets):\n";
    bool held = true;
    for (const Tolerance& tolerance : kTolerances) {
        held = judgeFigure(tolerance.figure, tolerance.perStretch, tolerance.scale) && held;
    }
    for (const std::string& type : handleTypes) {
        held = judgeFigure(type, kHandleTolerance, 1) && held;
    }
    return held;
}

bool Soak::judgeFigure(const std::string& figure, const double limits[3], double scale)
{
    auto found = fits.find(figure);
    if (found == fits.end()) {
        return true;
    }
    const GrowthFit& fit = found->second;
    out << "  " << figure << ":";
    if (fit.samples() < size_t(kSamplesToJudge)) {
        out << " not judged, " << fit.samples() << " samples (" << kSamplesToJudge
            << " needed)\n";
        return true;
    }
    // A heap grows until it has met the largest frames; memory is judged on the later half.
    const bool memory = scale != 1;
    const size_t from = memory ? fit.samples() / 2 : 0;
    const GrowthFit::Rates rates = fit.fit(from);
    if (!rates.valid) {
        out << " not judged: too few pairs of samples after like stretches\n";
        return true;
    }
    bool held = true;
    for (int kind = 0; kind < kStretchKinds; ++kind) {
        const double span = fit.span(kind, from);
        if (!rates.fitted[size_t(kind)]) {
            continue;
        }
        if (span < kJudgedSpan[kind]) {
            out << " " << kUnitNames[kind] << " (not judged: the samples span " << span << ", "
                << kJudgedSpan[kind] << " needed);";
            continue;
        }
        if (limits[kind] == kBoundedByVariants) {
            continue;
        }
        const double unit = kStretchUnits[kind] / scale;
        const double rate = rates.rate[size_t(kind)] * unit;
        const double error = rates.error[size_t(kind)] * unit;
        const bool shownOnly = limits[kind] == kShownOnly;
        const bool grew = !shownOnly && rate > limits[kind] && rate > kSignificance * error;
        char text[128];
        char limit[32] = "[shown]";
        if (!shownOnly) {
            std::snprintf(limit, sizeof limit, "[%g]", limits[kind]);
        }
        std::snprintf(text, sizeof text, " %+.2f +-%.2f %s %s%s;", rate, error,
                      kUnitNames[kind], limit, grew ? " GREW" : "");
        out << text;
        if (grew) {
            held = false;
            char why[192];
            std::snprintf(why, sizeof why, "%s grew by %.2f (+-%.2f) %s (tolerance %g)",
                          figure.c_str(), rate, error, kUnitNames[kind], limits[kind]);
            failures.push_back(why);
        }
    }
    out << "\n";
    return held;
}

void Soak::printTotals()
{
    const Stats& s = *stats;
    out << "\nRenders: " << s.renders << " (8-bit " << s.byFormat[0] << ", 16-bit "
        << s.byFormat[1] << ", float " << s.byFormat[2] << "); compared with the CPU model "
        << s.compared << "; larger than " << SoakCases::kModelSide << " x "
        << SoakCases::kModelSide << ", not compared " << s.large
        << "; motion blur over animated controls, not compared " << s.uncovered << "\n";
    out << "Refused depths:";
    if (refusedFormats.empty()) {
        out << " none";
    }
    for (const auto& [format, code] : refusedFormats) {
        out << " " << SoakCases::formatName(format) << " (" << hostErrorText(code) << ")";
    }
    out << "; refused renders " << s.refused << "\n";
    out << "Setup cycles " << s.cycles << ", reloads " << s.reloads << ", samples " << s.samples
        << "; faults " << s.faults << " of " << s.faultKinds.size() << " kinds (of "
        << SoakFaults::kinds().size() << "):";
    for (const auto& [kind, count] : s.faultKinds) {
        out << " " << kind << " " << count << ";";
    }
    out << "\n";
    if (s.probesWithoutEffectContext > 0) {
        out << "GL probes that found no context of the effect current: "
            << s.probesWithoutEffectContext << "\n";
    }
    out << "Seconds: " << int64_t(elapsed()) << std::endl;
}

}  // namespace Tessarine::Lamino
