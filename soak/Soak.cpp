#include "soak/Soak.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <exception>
#include <sstream>

#include "tool/Renderer.h"

namespace Tessarine::Lamino {

namespace {

constexpr int32_t kSettleSide = 16;
constexpr int32_t kCyclesPerStretch = 5;
constexpr int32_t kReloadsPerStretch = 1;
constexpr double kFaultChance = 0.25;         // per batch of a render stretch
constexpr double kAnimatedChance = 0.1;       // batches with motion blur over animated controls
constexpr int32_t kWarmupStretches[] = {2, 1, 1};  // per stretch kind, not judged
constexpr int32_t kSamplesToJudge = 3;
// Renders, setup cycles and reloads the later half of the memory samples must span to be
// judged: over less, the allocators' noise is larger than any tolerance worth stating.
const double kMemorySpan[] = {5000, 100, 50};
constexpr double kMegabyte = 1024.0 * 1024.0;
const char* const kStretchNames[] = {"renders", "cycles", "reloads"};
const double kStretchUnits[] = {1000.0, 100.0, 100.0};
const char* const kUnitNames[] = {"per 1000 renders", "per 100 setup cycles", "per 100 reloads"};

// How much each figure may grow, per 1000 renders, per 100 setup cycles and per 100 reloads,
// in the figure's own unit (bytes are shown in MB). Memory allows for allocators that keep
// blocks of the large frames rendered between two samples (about +-25 MB from one sample to
// the next), and is judged only over a long enough stretch (kMemorySpan). Programs after
// renders allow for the program variants the effect builds as controls need them. Handles
// allow for the 4 that the statically linked thread library of the plug-in
// leaves at each unload (ResourceGrowth.LoadsAndUnloadsLeaveFewHandles): one reload comes
// between every fourth pair of render samples and every third pair of cycle samples.
struct Tolerance {
    const char* figure;
    double scale;  // shown value = figure / scale
    double perStretch[3];
};

const Tolerance kTolerances[] = {
    {"windows", 1, {1, 1, 1}},
    {"GDI objects", 1, {10, 10, 10}},
    {"USER objects", 1, {10, 10, 10}},
    // Each unload leaves the 4 handles of the statically linked thread library's data for the
    // loading thread; a reload also makes every context anew, which under Wine leaves about a
    // handle and a half more (5.4 per reload measured with 2 render threads).
    {"kernel handles", 1, {8, 40, 700}},
    {"private MB", kMegabyte, {8, 10, 50}},
    {"working set MB", kMegabyte, {16, 20, 100}},
    {"GL textures", 1, {2, 2, 2}},
    {"GL buffers", 1, {2, 2, 2}},
    {"GL renderbuffers", 1, {2, 2, 2}},
    {"GL framebuffers", 1, {2, 2, 2}},
    // The slice program comes in variants, each built the first time a render needs it (128
    // that the soak's renders meet: edge modes, moving bands, custom layers, soft edges, motion
    // blur and inputs cropped to a mask), so a short run still meets new ones.
    {"GL programs", 1, {16, 2, 2}},
    {"GL shaders", 1, {2, 2, 2}},
    {"GL vertex arrays", 1, {2, 2, 2}},
};

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
    : options(options), out(out), err(err), cases(options.seed), stats(std::make_unique<Stats>()),
      trends(kStretchKinds)
{
}

Soak::~Soak() = default;

// ------------------------------------------------------------------ outcome

void Soak::fail(const std::string& what)
{
    std::lock_guard<std::mutex> lock(failureMutex);
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
        sample(kRenders, 0);
        for (int32_t round = 0; !stopped() && !timeUp(); ++round) {
            renderStretch();
            if (stopped() || timeUp()) {
                break;
            }
            round % 4 == 3 ? reloadStretch() : cycleStretch();
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
    host->observeCheckouts([this](int32_t index) {
        ProbeRequest* request = pendingProbe;
        (void)index;  // every control is read with the effect's context current
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
    while (!stopped() && !timeUp() && stats->renders - first < options.sampleRenders) {
        const int32_t frames = crew->size() * cases.uniform(1, 4);
        runBatch(cases.batch(controls, frames, formatsToRender(), cases.chance(kAnimatedChance)));
        if (!stopped() && cases.chance(kFaultChance)) {
            faultEvent();
        }
    }
    sample(kRenders, double(stats->renders - first));
}

void Soak::cycleStretch()
{
    for (int32_t i = 0; i < kCyclesPerStretch && !stopped(); ++i) {
        if (PF_Err result = host->globalSetdown(); result != PF_Err_NONE) {
            fail("global setdown returned " + hostErrorText(result));
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
    sample(kCycles, kCyclesPerStretch);
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
    sample(kReloads, kReloadsPerStretch);
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
    const RenderUse use = RenderUse::between(before, host->counts(), frame.format);
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
        checkFaultFrame(fault, batch, output, what);
    }
}

// Controls that could not be read keep the render before's values (the same here), or have
// their defaults; a custom layer that could not be read through its parameter (the classic
// render) is none.
void Soak::checkFaultFrame(const SoakFault& fault, const SoakBatch& batch, const World& output,
                           const std::string& what)
{
    const SoakFrame& frame = batch.frames[0];
    std::optional<ModelControls> previous = SoakCases::modelControls(batch);
    SoakBatch defaults = batch;
    for (SoakControl& control : defaults.controls) {
        if (fault.controlUnread(control.option.index)) {
            control.value = control.option.defaultValue;
        }
    }
    std::optional<ModelControls> fallback = SoakCases::modelControls(defaults);
    // A smart render takes the custom layer's pixels from its own checkout, not from the
    // parameter: a fault in parameter reads leaves it in.
    const bool smart =
        (host->globalSetupResult().outFlags2 & PF_OutFlag2_SUPPORTS_SMART_RENDER) != 0;
    const bool withLayer = batch.hasLayer && (smart || !fault.controlUnread(layerIndex));
    if (previous && fallback && offPixels(batch, frame, output, *previous, withLayer) != 0 &&
        offPixels(batch, frame, output, *fallback, withLayer) != 0) {
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

void Soak::sample(Stretch stretch, double events)
{
    if (stopped()) {
        return;
    }
    const Figures figures = measure();
    ++stats->samples;
    // Each kind of stretch is compared only with itself: a setup cycle drops what renders
    // build up again (contexts, programs), so figures after renders and after cycles differ
    // without anything leaking.
    // Memory after renders is mostly what allocators keep of the last large frames; after a
    // setup cycle it is settled, so memory is judged from the cycle samples, against the
    // renders as well as the cycles between them.
    eventsSince[stretch] += events;
    if (!firstSample && ++stretchesSeen[stretch] > kWarmupStretches[stretch]) {
        for (const auto& [name, value] : figures.values()) {
            const bool memory = name == "private MB" || name == "working set MB";
            if (stretch == kCycles && memory) {
                trends[kRenders][name].add(double(stats->renders - rendersAtCycleSample), value);
            }
            if (stretch != kRenders || !memory) {
                trends[size_t(stretch)][name].add(eventsSince[stretch], value);
            }
        }
        eventsSince[stretch] = 0;
    }
    if (stretch == kCycles) {
        rendersAtCycleSample = stats->renders;
    }
    firstSample = false;
    if (!options.quiet || stats->samples == 1) {
        printRow(kStretchNames[stretch], figures);
    }
}

void Soak::printHeader()
{
    out << "GL objects are counted from inside the effect's own context (during a checkout);"
           " private MB is the page file usage where Windows' private usage reads 0 (Wine).\n";
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
                  "%-8s %7s %8s %8s %6s %7s %6s %4s %7s %8s %8s %4s %4s %4s %4s %4s %4s %4s\n",
                  "after", "seconds", "renders", "compared", "cycles", "reloads", "faults",
                  "wins", "handles", "privMB", "wsetMB", "tex", "buf", "rbo", "fbo", "prog",
                  "shd", "vao");
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
    char line[256];
    std::snprintf(line, sizeof line, "%-8s %7.0f %8lld %8lld %6lld %7lld %6lld %4lld %7lld "
                                     "%8.1f %8.1f %s\n",
                  stretch, figures.seconds, (long long)stats->renders.load(),
                  (long long)stats->compared.load(), (long long)stats->cycles.load(),
                  (long long)stats->reloads.load(), (long long)stats->faults.load(),
                  (long long)figures.process.windows, (long long)figures.process.kernelHandles,
                  figures.process.privateBytes / kMegabyte, figures.process.workingSet / kMegabyte,
                  gl);
    out << line << std::flush;
}

// Growth per stretch kind against the tolerances; true when nothing grew beyond them.
bool Soak::judge()
{
    bool held = true;
    out << "\nGrowth after the warm-up (Theil-Sen slope over the samples, memory over their "
           "later half; tolerance in brackets):\n";
    for (int stretch = 0; stretch < kStretchKinds; ++stretch) {
        const auto& series = trends[size_t(stretch)];
        const size_t samples = series.empty() ? 0 : series.begin()->second.samples();
        out << "  " << kUnitNames[stretch] << " (" << samples << " samples):";
        if (samples < size_t(kSamplesToJudge)) {
            out << " not judged, " << kSamplesToJudge << " samples needed\n";
            continue;
        }
        for (const Tolerance& tolerance : kTolerances) {
            auto found = series.find(tolerance.figure);
            if (found == series.end()) {
                continue;
            }
            if (found->second.samples() < size_t(kSamplesToJudge)) {
                out << " " << tolerance.figure << " (" << found->second.samples()
                    << " samples, not judged)";
                continue;
            }
            // A heap grows until it has met the largest frames; memory is judged on the
            // later half of the samples.
            const bool memory = tolerance.scale != 1;
            const size_t from = memory ? found->second.samples() / 2 : 0;
            const double span = found->second.eventsFrom(from);
            if (memory && span < kMemorySpan[stretch]) {
                out << " " << tolerance.figure << " (not judged: the samples span " << span
                    << ", " << kMemorySpan[stretch] << " needed)";
                continue;
            }
            const double rate =
                found->second.slope(from) * kStretchUnits[stretch] / tolerance.scale;
            const double limit = tolerance.perStretch[stretch];
            char text[96];
            std::snprintf(text, sizeof text, " %s %+.2f [%g]", tolerance.figure, rate, limit);
            out << text << (rate > limit ? " GREW" : "");
            if (rate > limit) {
                held = false;
                char why[160];
                std::snprintf(why, sizeof why, "%s grew by %.2f %s (tolerance %g)",
                              tolerance.figure, rate, kUnitNames[stretch], limit);
                failures.push_back(why);
            }
        }
        out << "\n";
    }
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
