#include "tool/Renderer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>

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
    : host(host)
{
    double lastFrameSeconds = double(std::max(frames - 1, 1)) / kTimeScale;
    for (const ControlSetting& setting : settings) {
        const ControlOption& option = setting.option;
        const ControlValue& value = setting.value;
        if (option.kind == ControlKind::Layer) {
            layers.push_back(std::make_unique<World>(
                toWorld(readForRender(value.file, setup.maxSide), setup.format)));
            host.setLayer(option.index, layers.back()->get());
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

Image Renderer::readForRender(const std::string& path, int32_t maxSide)
{
    ImageIO::FileLayout layout = ImageIO::probe(path);
    if (layout.width > maxSide || layout.height > maxSide) {
        throw ImageError("'" + path + "': " + std::to_string(layout.width) + " x "
                         + std::to_string(layout.height) + " pixels; the GPU renders at most "
                         + std::to_string(maxSide) + " pixels a side");
    }
    return ImageIO::readAtFileDepth(path);
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

void Renderer::check(PF_Err err, int32_t frame)
{
    if (err != PF_Err_NONE) {
        throw RenderError("the effect failed to render frame " + std::to_string(frame + 1) + ": "
                              + hostErrorText(err),
                          err);
    }
}

Image Renderer::render(const World& input, int32_t frame)
{
    World output(input.format(), input.width(), input.height());
    check(renderInto(input, output, frame), frame);
    return toImage(output);
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
    std::mutex failureMutex;
    auto work = [&] {
        for (int32_t frame; !failed && (frame = next++) < frames;) {
            try {
                deliver(frame, render(*inputFor(frame), frame));
            } catch (...) {
                std::lock_guard<std::mutex> lock(failureMutex);
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
