#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tool/ControlOption.h"
#include "model/SliceModel.h"
#include "hosting/World.h"

namespace Tessarine::Lamino {

// One control's value for a stretch of renders: constant, or a linear change from `value` to
// `to` over the pretend composition (then no frame of it is compared with the model).
struct SoakControl {
    ControlOption option;
    double value = 0.0;
    double to = 0.0;
    bool animated = false;
};

// A frame to render: its size, its depth, its time (frame number) and the salt of its picture.
// A smart render may hand the input as a real host does: grown by `grow` pixels of an upstream
// effect's halo on every side (the output area grown as far), or cropped to a mask's box
// (left, top, right, bottom in the frame), pixels outside it transparent.
struct SoakFrame {
    int32_t width = 1, height = 1;
    WorldFormat format = WorldFormat::Argb8;
    int32_t time = 0;
    uint32_t salt = 0;
    int32_t grow = 0;
    bool masked = false;
    int32_t mask[4] = {0, 0, 0, 0};
};

// Renders that share the controls and the custom layer (the host holds one value per control,
// so renders in flight at once see the same values).
struct SoakBatch {
    std::vector<SoakControl> controls;
    bool hasLayer = false;
    SoakFrame layer;  // the custom layer's size, depth and salt; its time is unused
    std::vector<SoakFrame> frames;
    bool animated = false;  // some control changes over time
    double shutterAngle = 180.0, shutterPhase = 0.0;  // degrees of a frame
};

// The soak's random choices, all from one seeded generator, so that a seed gives the same
// sequence of batches again: frame sizes from 1 x 1 to 3840 x 2160 (mostly small), depths,
// control values (each control's declared minimum and maximum among them), custom layers of
// other sizes, and the pictures rendered. Also turns a batch's values into the CPU model's
// controls, and pictures into host worlds of any depth and back. One thread.
class SoakCases {
public:
    static constexpr int32_t kModelSide = 64;  // frames up to this size are compared
    static constexpr int32_t kLargestWidth = 3840, kLargestHeight = 2160;

    explicit SoakCases(uint64_t seed) : random(seed) { }

    // `frames` renders over the effect's `controls`, of the given depths; with animated, some
    // controls change over time and "Motion Blur" is on.
    SoakBatch batch(const std::vector<ControlOption>& controls, int32_t frames,
                    const std::vector<WorldFormat>& formats, bool animated);
    // A batch of one small frame with defaults everywhere but its size.
    SoakBatch smallBatch(const std::vector<ControlOption>& controls, WorldFormat format,
                         int32_t side, bool randomControls);

    SoakFrame frame(const std::vector<WorldFormat>& formats, bool small);
    // Gives a frame the model compares a grown input or a mask's box, now and then.
    void place(SoakFrame& frame);
    double valueFor(const ControlOption& option);
    int32_t uniform(int32_t low, int32_t high);  // inclusive
    bool chance(double probability);
    uint32_t salt();

    // The model's controls for the batch's values, or nothing when the model does not cover
    // them: controls that animate, or a control the model does not know away from its default.
    static std::optional<ModelControls> modelControls(const SoakBatch& batch);

    // A picture with detail everywhere and alphas from 1/255 up, from its salt.
    static ArgbImage picture(int32_t width, int32_t height, uint32_t salt);
    // The frame's input world's picture: with a grown input, the layer's picture inside its halo.
    static ArgbImage inputPicture(const SoakFrame& frame);
    // What the frame's layer shows the effect: its part of the input picture, transparent outside
    // a mask's box.
    static ArgbImage layerPicture(const SoakFrame& frame);
    // The picture in a world of the given depth, with padded rows.
    static World toWorld(const ArgbImage& picture, WorldFormat format);
    // Any world as 8-bit straight colour, rounded to the nearest level; a pixel whose alpha
    // rounds to 0 keeps no colour, as the effect stores 8-bit frames.
    static ArgbImage toArgb8(const World& world);

    // Pixels differing from the model by more than one level in any channel. In a pixel where
    // one side's alpha is 0 and the other's is at most one level, colour is not compared: after
    // a deep frame's rounding it may hold either side of that edge.
    static size_t offPixels(const ArgbImage& rendered, const ArgbImage& model);
    // "at (x, y) ARGB a r g b, the model a r g b" for the first such pixel; empty when none.
    static std::string firstOffPixel(const ArgbImage& rendered, const ArgbImage& model);

    static std::string describe(const SoakBatch& batch);
    static std::string describe(const SoakFrame& frame);
    static const char* formatName(WorldFormat format);

private:
    static constexpr double kMostWork = 4.0 * kLargestWidth * kLargestHeight;  // pixel-samples
    static SoakFrame boundedWork(const SoakBatch& batch, SoakFrame frame);

    std::mt19937_64 random;
};

}  // namespace Tessarine::Lamino
