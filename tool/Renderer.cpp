#include "tool/Renderer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "hosting/SlimSharedMutex.h"

namespace Tessarine::Lamino {

std::string hostErrorName(PF_Err code)
{
    switch (code) {
    case PF_Err_OUT_OF_MEMORY: return "PF_Err_OUT_OF_MEMORY";
    case PF_Err_INTERNAL_STRUCT_DAMAGED: return "PF_Err_INTERNAL_STRUCT_DAMAGED";
    case PF_Err_INVALID_INDEX: return "PF_Err_INVALID_INDEX";
    case PF_Err_UNRECOGNIZED_PARAM_TYPE: return "PF_Err_UNRECOGNIZED_PARAM_TYPE";
    case PF_Err_INVALID_CALLBACK: return "PF_Err_INVALID_CALLBACK";
    case PF_Err_BAD_CALLBACK_PARAM: return "PF_Err_BAD_CALLBACK_PARAM";
    case PF_Interrupt_CANCEL: return "PF_Interrupt_CANCEL";
    case PF_Err_CANNOT_PARSE_KEYFRAME_TEXT: return "PF_Err_CANNOT_PARSE_KEYFRAME_TEXT";
    case A_Err_MISSING_SUITE: return "A_Err_MISSING_SUITE";
    default: return "";
    }
}

double BenchTimes::median() const
{
    std::vector<double> sorted = milliseconds;
    std::sort(sorted.begin(), sorted.end());
    size_t middle = sorted.size() / 2;
    return sorted.size() % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2.0;
}

double BenchTimes::minimum() const
{
    return *std::min_element(milliseconds.begin(), milliseconds.end());
}

double BenchTimes::maximum() const
{
    return *std::max_element(milliseconds.begin(), milliseconds.end());
}

Renderer::~Renderer()
{
    for (A_long index : layerIndices) {
        try {
            host.setLayer(index, nullptr);
        } catch (...) {
            // a parameter the host no longer declares hands out nothing anyway
        }
    }
}

Renderer::Renderer(HeadlessHost& host, const std::vector<ControlSetting>& settings, int32_t frames,
                   const RenderSetup& setup)
    : host(host), variations(setup.variations)
{
    double lastFrameSeconds = double(std::max(frames - 1, 1)) / kTimeScale;
    for (const ControlSetting& setting : settings) {
        const ControlOption& option = setting.option;
        const ControlValue& value = setting.value;
        if (option.kind == ControlKind::Layer) {
            // A downsampled render gets its layers downsampled too, with their full size.
            const World full =
                toWorld(readForRender(value.file, setup.maxSide, setup.maxPixels), setup.format);
            const LayerPlacement placement{0, 0, full.width(), full.height()};
            layers.push_back(std::make_unique<World>(
                downsampled(full, variations.downsampleX, variations.downsampleY)));
            host.setLayer(option.index, layers.back()->get(), placement);
            layerIndices.push_back(option.index);
        } else if (value.animated) {
            host.animate(option.index,
                         ParameterAnimation{value.from, value.to, 0.0, lastFrameSeconds});
        } else {
            host.setValue(option.index, value.from);
        }
    }
}

void Renderer::setShutter(double angle, double phase)
{
    shutterAngle = angle;
    shutterPhase = phase;
}

std::vector<ControlOption> Renderer::controlsOf(const HeadlessHost& host)
{
    std::vector<ControlOption> controls;
    std::vector<ParameterDefinition> definitions = host.parameters();
    for (size_t i = 0; i < definitions.size(); ++i) {
        controls.emplace_back(A_long(i + 1), definitions[i].paramDef());
    }
    return controls;
}

WorldFormat Renderer::formatFor(ImageDepth depth)
{
    switch (depth) {
    case ImageDepth::Bits8: return WorldFormat::Argb8;
    case ImageDepth::Bits16: return WorldFormat::Argb16;
    case ImageDepth::Float32: return WorldFormat::ArgbFloat;
    }
    return WorldFormat::Argb8;
}

ImageDepth Renderer::depthOf(WorldFormat format)
{
    switch (format) {
    case WorldFormat::Argb8: return ImageDepth::Bits8;
    case WorldFormat::Argb16: return ImageDepth::Bits16;
    case WorldFormat::ArgbFloat: return ImageDepth::Float32;
    }
    return ImageDepth::Bits8;
}

namespace {

// 0..65535 to the host's 0..32768 and back, to the nearest level (no ties going to the world;
// the one tie coming back, 16384, goes up).
A_u_short worldLevel(uint16_t value)
{
    return A_u_short((uint32_t(value) * PF_MAX_CHAN16 + 32767) / 65535);
}

uint16_t imageLevel(A_u_short value)
{
    uint32_t level = std::min<uint32_t>(value, PF_MAX_CHAN16);
    return uint16_t((level * 65535 + PF_MAX_CHAN16 / 2) / PF_MAX_CHAN16);
}

void fillWorld(const Image& image, World& world)
{
    for (int32_t y = 0; y < image.height; ++y) {
        switch (world.format()) {
        case WorldFormat::Argb8: {
            const uint8_t* source = image.pixel(0, y);
            PF_Pixel* row = world.pixel8(0, y);
            for (int32_t x = 0; x < image.width; ++x, source += 4) {
                row[x] = PF_Pixel{source[3], source[0], source[1], source[2]};
            }
            break;
        }
        case WorldFormat::Argb16: {
            const uint16_t* source = image.pixel16(0, y);
            PF_Pixel16* row = world.pixel16(0, y);
            for (int32_t x = 0; x < image.width; ++x, source += 4) {
                row[x] = PF_Pixel16{worldLevel(source[3]), worldLevel(source[0]),
                                    worldLevel(source[1]), worldLevel(source[2])};
            }
            break;
        }
        case WorldFormat::ArgbFloat: {
            const float* source = image.pixelFloat(0, y);
            PF_PixelFloat* row = world.pixelFloat(0, y);
            for (int32_t x = 0; x < image.width; ++x, source += 4) {
                row[x] = PF_PixelFloat{source[3], source[0], source[1], source[2]};
            }
            break;
        }
        }
    }
}

void fillImage(const World& world, Image& image)
{
    for (int32_t y = 0; y < image.height; ++y) {
        switch (world.format()) {
        case WorldFormat::Argb8: {
            const PF_Pixel* row = world.pixel8(0, y);
            uint8_t* target = image.pixel(0, y);
            for (int32_t x = 0; x < image.width; ++x, target += 4) {
                target[0] = row[x].red, target[1] = row[x].green, target[2] = row[x].blue,
                target[3] = row[x].alpha;
            }
            break;
        }
        case WorldFormat::Argb16: {
            const PF_Pixel16* row = world.pixel16(0, y);
            uint16_t* target = image.pixel16(0, y);
            for (int32_t x = 0; x < image.width; ++x, target += 4) {
                target[0] = imageLevel(row[x].red), target[1] = imageLevel(row[x].green),
                target[2] = imageLevel(row[x].blue), target[3] = imageLevel(row[x].alpha);
            }
            break;
        }
        case WorldFormat::ArgbFloat: {
            const PF_PixelFloat* row = world.pixelFloat(0, y);
            float* target = image.pixelFloat(0, y);
            for (int32_t x = 0; x < image.width; ++x, target += 4) {
                target[0] = row[x].red, target[1] = row[x].green, target[2] = row[x].blue,
                target[3] = row[x].alpha;
            }
            break;
        }
        }
    }
}

}  // namespace

namespace {

// A world's pixel at full scale 1: alpha, red, green, blue.
struct Sample {
    double v[4];
};

Sample readSample(const World& world, int32_t x, int32_t y)
{
    switch (world.format()) {
    case WorldFormat::Argb16: {
        const PF_Pixel16& p = *world.pixel16(x, y);
        const double full = PF_MAX_CHAN16;
        return {{p.alpha / full, p.red / full, p.green / full, p.blue / full}};
    }
    case WorldFormat::ArgbFloat: {
        const PF_PixelFloat& p = *world.pixelFloat(x, y);
        return {{p.alpha, p.red, p.green, p.blue}};
    }
    default: {
        const PF_Pixel& p = *world.pixel8(x, y);
        return {{p.alpha / 255.0, p.red / 255.0, p.green / 255.0, p.blue / 255.0}};
    }
    }
}

void writeSample(World& world, int32_t x, int32_t y, const Sample& s)
{
    auto level = [](double v, double full) { return std::lround(std::clamp(v, 0.0, 1.0) * full); };
    switch (world.format()) {
    case WorldFormat::Argb16: {
        auto q = [&](double v) { return A_u_short(level(v, PF_MAX_CHAN16)); };
        *world.pixel16(x, y) = PF_Pixel16{q(s.v[0]), q(s.v[1]), q(s.v[2]), q(s.v[3])};
        break;
    }
    case WorldFormat::ArgbFloat:
        *world.pixelFloat(x, y) = PF_PixelFloat{float(s.v[0]), float(s.v[1]), float(s.v[2]),
                                                float(s.v[3])};
        break;
    default: {
        auto q = [&](double v) { return A_u_char(level(v, 255.0)); };
        *world.pixel8(x, y) = PF_Pixel{q(s.v[0]), q(s.v[1]), q(s.v[2]), q(s.v[3])};
        break;
    }
    }
}

// The world inside a transparent margin: `mx`, `my` pixels on each side.
World withMargin(const World& world, int32_t mx, int32_t my)
{
    World wide(world.format(), world.width() + 2 * mx, world.height() + 2 * my);
    wide.fillBytes(0);
    for (int32_t y = 0; y < world.height(); ++y) {
        std::memcpy(wide.rowData(y + my) + size_t(mx) * world.pixelSize(), world.rowData(y),
                    size_t(world.width()) * world.pixelSize());
    }
    return wide;
}

// The world with every pixel outside the box made transparent.
World maskedTo(const World& world, const PF_LRect& box)
{
    World masked(world.format(), world.width(), world.height());
    masked.fillBytes(0);
    for (int32_t y = std::max(0, box.top); y < std::min(world.height(), box.bottom); ++y) {
        for (int32_t x = std::max(0, box.left); x < std::min(world.width(), box.right); ++x) {
            writeSample(masked, x, y, readSample(world, x, y));
        }
    }
    return masked;
}

int32_t ceilDiv(int32_t a, int32_t b)
{
    return (a + b - 1) / b;
}

int32_t floorDiv(int32_t a, int32_t b)
{
    return a >= 0 ? a / b : -ceilDiv(-a, b);
}

}  // namespace

World Renderer::downsampled(const World& world, int32_t nx, int32_t ny)
{
    World small(world.format(), ceilDiv(world.width(), nx), ceilDiv(world.height(), ny));
    if (nx == 1 && ny == 1) {
        for (int32_t y = 0; y < world.height(); ++y) {
            std::memcpy(small.rowData(y), world.rowData(y),
                        size_t(world.width()) * world.pixelSize());
        }
        return small;
    }
    for (int32_t y = 0; y < small.height(); ++y) {
        for (int32_t x = 0; x < small.width(); ++x) {
            Sample sum{{0.0, 0.0, 0.0, 0.0}};
            int32_t count = 0;
            for (int32_t j = y * ny; j < std::min(world.height(), (y + 1) * ny); ++j) {
                for (int32_t i = x * nx; i < std::min(world.width(), (x + 1) * nx); ++i) {
                    const Sample s = readSample(world, i, j);
                    sum.v[0] += s.v[0];
                    for (int c = 1; c < 4; ++c) {
                        sum.v[c] += s.v[0] * s.v[c];
                    }
                    ++count;
                }
            }
            Sample mean{{sum.v[0] / count, 0.0, 0.0, 0.0}};
            for (int c = 1; c < 4; ++c) {
                mean.v[c] = sum.v[0] != 0.0 ? sum.v[c] / sum.v[0] : 0.0;
            }
            writeSample(small, x, y, mean);
        }
    }
    return small;
}

namespace {

// What the effect produced of the output area the host asked for (from `area`'s corner on):
// the part its result rect covers.
World producedPart(const World& output, const int32_t area[2], const PF_LRect& result)
{
    const int32_t left = std::max(result.left, area[0]), top = std::max(result.top, area[1]);
    const int32_t right = std::min(result.right, area[0] + output.width());
    const int32_t bottom = std::min(result.bottom, area[1] + output.height());
    const bool some = right > left && bottom > top;
    World produced(output.format(), some ? right - left : 0, some ? bottom - top : 0);
    for (int32_t y = 0; y < produced.height(); ++y) {
        std::memcpy(produced.rowData(y),
                    output.rowData(y + top - area[1]) + size_t(left - area[0]) * output.pixelSize(),
                    size_t(produced.width()) * output.pixelSize());
    }
    return produced;
}

}  // namespace

// The input as the host hands it with the variations: masked, downsampled, grown by the upstream
// effect (transparent there). The mask's box, in buffer pixels, grows with what the upstream
// effect adds after it.
Renderer::PlacedInput Renderer::placedInput(const World& full) const
{
    const HostVariations& v = variations;
    const PF_LRect mask{v.maskX, v.maskY, v.maskX + v.maskWidth, v.maskY + v.maskHeight};
    const World small = v.masked
                            ? downsampled(maskedTo(full, mask), v.downsampleX, v.downsampleY)
                            : downsampled(full, v.downsampleX, v.downsampleY);
    PlacedInput placed{withMargin(small, ceilDiv(v.upstreamGrow, v.downsampleX),
                                  ceilDiv(v.upstreamGrow, v.downsampleY)),
                       {}, std::nullopt};
    placed.origin[0] = -ceilDiv(v.upstreamGrow, v.downsampleX);
    placed.origin[1] = -ceilDiv(v.upstreamGrow, v.downsampleY);
    if (v.masked) {
        placed.bounds = PF_LRect{floorDiv(mask.left, v.downsampleX) + placed.origin[0],
                                 floorDiv(mask.top, v.downsampleY) + placed.origin[1],
                                 ceilDiv(mask.right, v.downsampleX) - placed.origin[0],
                                 ceilDiv(mask.bottom, v.downsampleY) - placed.origin[1]};
    }
    return placed;
}

// The host asks for the layer's rect grown as far as the input and returns what the effect
// reports of it.
World Renderer::renderVaried(const World& full, int32_t frame)
{
    const HostVariations& v = variations;
    PlacedInput placed = placedInput(full);
    World output(placed.world.format(), placed.world.width(), placed.world.height());
    RenderRequest request;
    request.input = placed.world.get();
    request.output = output.get();
    request.time = frame;
    request.timeScale = kTimeScale;
    request.shutterAngle = shutterAngle;
    request.shutterPhase = shutterPhase;
    request.downsampleX = PF_RationalScale{1, A_u_long(v.downsampleX)};
    request.downsampleY = PF_RationalScale{1, A_u_long(v.downsampleY)};
    request.pixelAspect = PF_RationalScale{v.aspectNum, A_u_long(v.aspectDen)};
    request.layerWidth = full.width();
    request.layerHeight = full.height();
    std::copy(placed.origin, placed.origin + 2, request.inputOrigin);
    std::copy(placed.origin, placed.origin + 2, request.outputOrigin);
    request.inputBounds = placed.bounds;
    PF_PreRenderOutput reported{};
    request.preRender = &reported;
    check(host.render(request), frame);
    return producedPart(output, placed.origin, reported.result_rect);
}

World Renderer::toWorld(const Image& image, WorldFormat format)
{
    if (image.depth != depthOf(format)) {
        return toWorld(image.converted(depthOf(format)), format);
    }
    World world(format, image.width, image.height);
    fillWorld(image, world);
    return world;
}

World Renderer::toWorld(const Image& image)
{
    return toWorld(image, formatFor(image.depth));
}

Image Renderer::toImage(const World& world)
{
    Image image(world.width(), world.height(), depthOf(world.format()));
    fillImage(world, image);
    return image;
}

Image Renderer::readForRender(const std::string& path, int32_t maxSide, int64_t maxPixels)
{
    ImageIO::ReadLimits limits;
    limits.maxSide = maxSide;
    limits.sideIsTheGpus = true;
    limits.maxPixels = maxPixels;
    limits.maxPixelsSetBy = "--max-pixels";
    return ImageIO::readAtFileDepth(path, limits);
}

PF_Err Renderer::renderInto(const World& input, World& output, int32_t frame)
{
    RenderRequest request;
    // The host never writes the input layer; the request type just has no const.
    request.input = const_cast<PF_EffectWorld*>(input.get());
    request.output = output.get();
    request.time = frame;
    request.timeStep = 1;
    request.timeScale = kTimeScale;
    request.shutterAngle = shutterAngle;
    request.shutterPhase = shutterPhase;
    return host.render(request);
}

std::string hostErrorText(PF_Err code)
{
    if (code == HeadlessHost::kExceptionEscaped) {
        return "an exception left its entry point";
    }
    std::string name = hostErrorName(code);
    return "host error " + std::to_string(code) + (name.empty() ? "" : " (" + name + ")");
}

void Renderer::check(PF_Err err, int32_t frame) const
{
    if (err != PF_Err_NONE) {
        const std::string said = host.errorMessage();
        throw RenderError("the effect failed to render frame " + std::to_string(frame + 1) + ": "
                              + hostErrorText(err) + (said.empty() ? "" : ". " + said),
                          err);
    }
}

World Renderer::renderWorld(const World& input, int32_t frame)
{
    if (variations.any()) {
        return renderVaried(input, frame);
    }
    World output(input.format(), input.width(), input.height());
    check(renderInto(input, output, frame), frame);
    return output;
}

Image Renderer::render(const World& input, int32_t frame)
{
    return toImage(renderWorld(input, frame));
}

void Renderer::renderFrames(const World& input, int32_t frames, int32_t threads,
                            const std::function<void(int32_t, const Image&)>& deliver)
{
    std::shared_ptr<const World> shared(&input, [](const World*) {});
    renderFrames([&](int32_t) { return shared; }, frames, threads, deliver);
}

void Renderer::renderFrames(const FrameInput& inputFor, int32_t frames, int32_t threads,
                            const std::function<void(int32_t, const Image&)>& deliver)
{
    std::atomic<int32_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    SlimSharedMutex failureMutex;
    auto work = [&] {
        for (int32_t frame; !failed && (frame = next++) < frames;) {
            try {
                deliver(frame, render(*inputFor(frame), frame));
            } catch (...) {
                std::lock_guard<SlimSharedMutex> lock(failureMutex);
                if (!failure) {
                    failure = std::current_exception();
                }
                failed = true;
            }
        }
    };
    std::vector<std::thread> workers;
    for (int32_t i = 1; i < std::min(threads, frames); ++i) {
        workers.emplace_back(work);
    }
    work();  // the calling thread is one of the render threads
    for (std::thread& worker : workers) {
        worker.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

BenchTimes Renderer::bench(const World& input, int32_t runs, int32_t warmups,
                           const std::function<void()>& afterEach)
{
    for (int32_t i = 0; i < warmups; ++i) {
        render(input, 0);
        if (afterEach) {
            afterEach();
        }
    }
    BenchTimes times;
    World output(input.format(), input.width(), input.height());
    for (int32_t i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        PF_Err err = renderInto(input, output, 0);
        auto end = std::chrono::steady_clock::now();
        check(err, 0);
        times.milliseconds.push_back(
            std::chrono::duration<double, std::milli>(end - start).count());
        if (afterEach) {
            afterEach();
        }
    }
    return times;
}

}  // namespace Tessarine::Lamino
