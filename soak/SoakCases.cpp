#include "soak/SoakCases.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace Tessarine::Lamino {

namespace {

constexpr double kHost16FullScale = 32768.0;
constexpr int32_t kFramesInComposition = 300;  // 10 s at the renderer's 30 frames a second

// Values in steps that the host's storage keeps exactly (16.16 fixed point, float), so that
// the model sees the very value the effect reads.
double quantize(double value, double steps) { return std::round(value * steps) / steps; }

// The fraction a percentage control hands the effect: a fixed slider is read as its whole
// part, as the effect reads it.
double percentOf(const SoakControl& control)
{
    double percent = control.option.kind == ControlKind::Fixed ? std::floor(control.value)
                                                               : control.value;
    return percent / 100.0;
}

int32_t wholeOf(const SoakControl& control)
{
    return control.option.kind == ControlKind::Fixed ? int32_t(std::floor(control.value))
                                                     : int32_t(control.value);
}

// Sets the model's field for a control known by its label; false for a label the model does
// not know.
bool applyToModel(const SoakControl& control, ModelControls& model)
{
    const std::string& label = control.option.label;
    const double value = control.value;
    if (label == "Slices") model.count = wholeOf(control);
    else if (label == "Angle") model.angle = value;
    else if (label == "Size Random") model.sizeRandom = percentOf(control);
    else if (label == "Size Random Seed") model.sizeRandomSeed = wholeOf(control);
    else if (label == "Offset Random") model.offsetRandom = percentOf(control);
    else if (label == "Offset Random Seed") model.offsetRandomSeed = wholeOf(control);
    else if (label == "Offset Both Direction") model.bothDirection = value != 0.0;
    else if (label == "Layer Opacity") model.layerAlpha = percentOf(control);
    else if (label == "Layer Random Seed") model.layerRandomSeed = wholeOf(control);
    else if (label == "Edge Type") model.edgeType = int32_t(value) - 1;
    else if (label == "Edge Softness") model.edgeSoftness = value;
    else if (label == "Evolution") model.evolution = value;
    else if (label == "Band Phase") model.bandPhase = value;
    // With nothing animated, motion blur averages equal frames, whatever the shutter: the frame
    // without it.
    else if (label != "Motion Blur" && label != "Shutter Samples" && label != "Own Shutter Angle"
             && label != "Own Shutter Phase") return false;
    return true;
}

uint8_t toLevel(double fraction)
{
    return uint8_t(std::lround(std::clamp(fraction, 0.0, 1.0) * 255.0));
}

}  // namespace

int32_t SoakCases::uniform(int32_t low, int32_t high)
{
    return std::uniform_int_distribution<int32_t>(low, high)(random);
}

bool SoakCases::chance(double probability)
{
    return std::uniform_real_distribution<double>(0.0, 1.0)(random) < probability;
}

uint32_t SoakCases::salt()
{
    return uint32_t(random());
}

double SoakCases::valueFor(const ControlOption& option)
{
    auto between = [&](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    switch (option.kind) {
    case ControlKind::Checkbox: return double(uniform(0, 1));
    case ControlKind::Popup: return double(uniform(1, std::max<int32_t>(1, option.choices.size())));
    case ControlKind::Angle:
        if (chance(0.16)) {
            return chance(0.5) ? option.validMin : option.validMax;
        }
        return quantize(between(-720.0, 720.0), 256.0);
    default: break;
    }
    // A quarter of the values are the default: most renders leave most controls alone.
    if (chance(0.25)) {
        return option.defaultValue;
    }
    double value;
    const double pick = between(0.0, 1.0);
    if (pick < 0.08) {
        value = option.validMin;
    } else if (pick < 0.16) {
        value = option.validMax;
    } else if (pick < 0.36) {
        value = between(option.validMin, option.validMax);
    } else {
        value = between(option.sliderMin, option.sliderMax);
    }
    switch (option.kind) {
    case ControlKind::Integer: return std::round(value);
    case ControlKind::Fixed: return quantize(value, 4.0);
    default: return quantize(value, 64.0);
    }
}

SoakFrame SoakCases::frame(const std::vector<WorldFormat>& formats, bool small)
{
    SoakFrame f;
    f.format = formats[size_t(uniform(0, int32_t(formats.size()) - 1))];
    f.salt = salt();
    f.time = uniform(0, kFramesInComposition - 1);
    const double pick = small ? 0.0 : std::uniform_real_distribution<double>(0.0, 1.0)(random);
    if (pick < 0.04) {
        f.width = uniform(1, 2), f.height = uniform(1, 2);
    } else if (pick < 0.75) {
        f.width = uniform(1, kModelSide), f.height = uniform(1, kModelSide);
    } else if (pick < 0.92) {
        f.width = uniform(1, 512), f.height = uniform(kModelSide + 1, 512);
        if (chance(0.5)) std::swap(f.width, f.height);
    } else if (pick < 0.99) {
        f.width = uniform(513, 1920), f.height = uniform(1, 1080);
    } else if (chance(0.3)) {
        f.width = kLargestWidth, f.height = kLargestHeight;
    } else {
        f.width = uniform(1921, kLargestWidth), f.height = uniform(1, kLargestHeight);
    }
    return f;
}

SoakBatch SoakCases::batch(const std::vector<ControlOption>& controls, int32_t frames,
                           const std::vector<WorldFormat>& formats, bool animated)
{
    SoakBatch b;
    b.animated = animated;
    if (animated) {
        b.shutterAngle = uniform(0, 720);
        b.shutterPhase = uniform(-360, 360);
    }
    for (const ControlOption& option : controls) {
        if (option.kind == ControlKind::Layer || option.kind == ControlKind::Unsupported) {
            continue;
        }
        SoakControl control{option, valueFor(option)};
        if (animated && option.label == "Motion Blur") {
            control.value = 1.0;
        } else if (animated && option.animatable() && chance(0.5)) {
            control.animated = true;
            control.to = valueFor(option);
        }
        b.controls.push_back(control);
    }
    std::vector<WorldFormat> frameFormats = formats;
    if (chance(0.4)) {
        b.hasLayer = true;
        b.layer = frame(formats, true);
        if (chance(0.3)) {
            b.layer.width = uniform(1, 1024), b.layer.height = uniform(1, 1024);
        }
        frameFormats = {b.layer.format};  // a layer is handed to the effect in the render's depth
    }
    for (int32_t i = 0; i < frames; ++i) {
        b.frames.push_back(boundedWork(b, frame(frameFormats, false)));
        place(b.frames.back());
    }
    return b;
}

// A large frame with many shutter samples and wide soft edges over narrow bands costs hours on a
// software renderer (every pixel blends every band of its window at every sample): such frames
// are made smaller, so that no render costs more than a few 4K frames would.
SoakFrame SoakCases::boundedWork(const SoakBatch& batch, SoakFrame frame)
{
    double samples = 1.0, softness = 0.0;
    bool blurred = false;
    for (const SoakControl& control : batch.controls) {
        const double most = std::max(control.value, control.animated ? control.to : 0.0);
        if (control.option.label == "Motion Blur") {
            blurred = most != 0.0;
        } else if (control.option.label == "Shutter Samples") {
            samples = most;
        } else if (control.option.label == "Edge Softness") {
            softness = most;
        }
    }
    const double work =
        double(frame.width) * frame.height * (blurred ? samples : 1.0) * (1.0 + softness);
    if (work > kMostWork) {
        const double scale = std::sqrt(kMostWork / work);
        frame.width = std::max(1, int32_t(frame.width * scale));
        frame.height = std::max(1, int32_t(frame.height * scale));
    }
    return frame;
}

SoakBatch SoakCases::smallBatch(const std::vector<ControlOption>& controls, WorldFormat format,
                                int32_t side, bool randomControls)
{
    SoakBatch b = batch(controls, 0, {format}, false);
    if (!randomControls) {
        b.hasLayer = false;
        for (SoakControl& control : b.controls) {
            control.value = control.option.defaultValue;
        }
    }
    SoakFrame f = frame({format}, true);
    if (side > 0) {
        f.width = f.height = side;
    }
    b.frames.push_back(f);
    return b;
}

std::optional<ModelControls> SoakCases::modelControls(const SoakBatch& batch)
{
    if (batch.animated) {
        return std::nullopt;
    }
    ModelControls model;
    for (const SoakControl& control : batch.controls) {
        if (!applyToModel(control, model) && control.value != control.option.defaultValue) {
            return std::nullopt;
        }
    }
    return model;
}

void SoakCases::place(SoakFrame& f)
{
    if (std::max(f.width, f.height) > kModelSide) {
        return;
    }
    if (chance(0.25)) {
        f.grow = uniform(1, 8);
    }
    if (chance(0.2)) {
        f.masked = true;
        f.mask[0] = uniform(0, f.width - 1);
        f.mask[1] = uniform(0, f.height - 1);
        f.mask[2] = uniform(f.mask[0] + 1, f.width);
        f.mask[3] = uniform(f.mask[1] + 1, f.height);
    }
}

ArgbImage SoakCases::inputPicture(const SoakFrame& frame)
{
    return picture(frame.width + 2 * frame.grow, frame.height + 2 * frame.grow, frame.salt);
}

ArgbImage SoakCases::layerPicture(const SoakFrame& frame)
{
    const ArgbImage input = inputPicture(frame);
    ArgbImage layer(frame.width, frame.height);
    const int32_t box[4] = {frame.masked ? frame.mask[0] : 0, frame.masked ? frame.mask[1] : 0,
                            frame.masked ? frame.mask[2] : frame.width,
                            frame.masked ? frame.mask[3] : frame.height};
    for (int32_t y = box[1]; y < box[3]; ++y) {
        std::memcpy(layer.at(box[0], y), input.at(box[0] + frame.grow, y + frame.grow),
                    size_t(box[2] - box[0]) * 4);
    }
    return layer;
}

ArgbImage SoakCases::picture(int32_t width, int32_t height, uint32_t salt)
{
    ArgbImage image(width, height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = image.at(x, y);
            const uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ salt;
            p[0] = uint8_t(y < height / 3 ? 1 + (x + y) % 12 : y < height / 2 ? 90 : 255);
            p[1] = uint8_t((x * 9 + (h & 63)) % 256);
            p[2] = uint8_t((y * 13 + ((h >> 8) & 63)) % 256);
            p[3] = uint8_t((h >> 16) & 255);
        }
    }
    return image;
}

namespace {

// One 8-bit ARGB pixel into a world of any depth: 16-bit levels run to 32768, float to 1.
void storePixel(World& world, int32_t x, int32_t y, const uint8_t* p)
{
    if (world.format() == WorldFormat::Argb8) {
        *world.pixel8(x, y) = PF_Pixel{p[0], p[1], p[2], p[3]};
    } else if (world.format() == WorldFormat::Argb16) {
        auto deep = [](uint8_t v) { return A_u_short(std::lround(v * kHost16FullScale / 255.0)); };
        *world.pixel16(x, y) = PF_Pixel16{deep(p[0]), deep(p[1]), deep(p[2]), deep(p[3])};
    } else {
        auto real = [](uint8_t v) { return PF_FpShort(v / 255.0f); };
        *world.pixelFloat(x, y) = PF_PixelFloat{real(p[0]), real(p[1]), real(p[2]), real(p[3])};
    }
}

// A pixel of any depth as 8-bit ARGB, rounded to the nearest level.
void loadPixel(const World& world, int32_t x, int32_t y, uint8_t* o)
{
    if (world.format() == WorldFormat::Argb8) {
        const PF_Pixel& p = *world.pixel8(x, y);
        o[0] = p.alpha, o[1] = p.red, o[2] = p.green, o[3] = p.blue;
    } else if (world.format() == WorldFormat::Argb16) {
        const PF_Pixel16& p = *world.pixel16(x, y);
        auto level = [](A_u_short v) { return toLevel(v / kHost16FullScale); };
        o[0] = level(p.alpha), o[1] = level(p.red), o[2] = level(p.green), o[3] = level(p.blue);
    } else {
        const PF_PixelFloat& p = *world.pixelFloat(x, y);
        o[0] = toLevel(p.alpha), o[1] = toLevel(p.red), o[2] = toLevel(p.green),
        o[3] = toLevel(p.blue);
    }
}

}  // namespace

World SoakCases::toWorld(const ArgbImage& picture, WorldFormat format)
{
    World world(format, picture.width, picture.height);
    for (int32_t y = 0; y < picture.height; ++y) {
        for (int32_t x = 0; x < picture.width; ++x) {
            storePixel(world, x, y, picture.at(x, y));
        }
    }
    return world;
}

ArgbImage SoakCases::toArgb8(const World& world)
{
    ArgbImage image(world.width(), world.height());
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x) {
            uint8_t* o = image.at(x, y);
            loadPixel(world, x, y, o);
            if (o[0] == 0) {
                o[1] = o[2] = o[3] = 0;
            }
        }
    }
    return image;
}

namespace {

bool pixelOff(const uint8_t* rendered, const uint8_t* model)
{
    const bool edgeOfVisible =
        std::min(rendered[0], model[0]) == 0 && std::max(rendered[0], model[0]) <= 1;
    for (int c = 0; c < (edgeOfVisible ? 1 : 4); ++c) {
        if (std::abs(int(rendered[c]) - int(model[c])) > 1) {
            return true;
        }
    }
    return false;
}

}  // namespace

size_t SoakCases::offPixels(const ArgbImage& rendered, const ArgbImage& model)
{
    if (rendered.width != model.width || rendered.height != model.height) {
        return size_t(std::max(rendered.width * rendered.height, model.width * model.height));
    }
    size_t count = 0;
    for (size_t p = 0; p + 3 < rendered.argb.size(); p += 4) {
        count += pixelOff(&rendered.argb[p], &model.argb[p]);
    }
    return count;
}

std::string SoakCases::firstOffPixel(const ArgbImage& rendered, const ArgbImage& model)
{
    for (int32_t y = 0; y < rendered.height && y < model.height; ++y) {
        for (int32_t x = 0; x < rendered.width && x < model.width; ++x) {
            const uint8_t* r = rendered.at(x, y);
            const uint8_t* m = model.at(x, y);
            if (pixelOff(r, m)) {
                std::ostringstream text;
                text << "at (" << x << ", " << y << ") ARGB " << int(r[0]) << " " << int(r[1])
                     << " " << int(r[2]) << " " << int(r[3]) << ", the model " << int(m[0])
                     << " " << int(m[1]) << " " << int(m[2]) << " " << int(m[3]);
                return text.str();
            }
        }
    }
    return "";
}

const char* SoakCases::formatName(WorldFormat format)
{
    switch (format) {
    case WorldFormat::Argb8: return "8-bit";
    case WorldFormat::Argb16: return "16-bit";
    case WorldFormat::ArgbFloat: return "float";
    }
    return "?";
}

std::string SoakCases::describe(const SoakFrame& frame)
{
    std::ostringstream text;
    text << frame.width << " x " << frame.height << " " << formatName(frame.format) << ", frame "
         << frame.time << ", picture salt " << frame.salt;
    if (frame.grow > 0) {
        text << ", input grown by " << frame.grow;
    }
    if (frame.masked) {
        text << ", masked to " << frame.mask[0] << "," << frame.mask[1] << " - " << frame.mask[2]
             << "," << frame.mask[3];
    }
    return text.str();
}

std::string SoakCases::describe(const SoakBatch& batch)
{
    std::ostringstream text;
    for (const SoakControl& control : batch.controls) {
        text << "--" << control.option.name << " " << control.value;
        if (control.animated) {
            text << ":" << control.to;
        }
        text << " ";
    }
    if (batch.hasLayer) {
        text << "with a custom layer of " << describe(batch.layer);
    } else {
        text << "without a custom layer";
    }
    return text.str();
}

}  // namespace Tessarine::Lamino
