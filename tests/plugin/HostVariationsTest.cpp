// The effect in the variations of a real host: inputs that an upstream effect grew or a mask
// cropped, custom layers handed as their content box, output requests for part of the frame or
// for the bounds alone, colour under zero alpha, downsampled buffers and non-square pixels.

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PluginTestSupport.h"
#include "host/EffectParameters.h"

namespace Tessarine::Lamino {
namespace {

bool sameRect(const PF_LRect& a, const PF_LRect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

ArgbImage part(const ArgbImage& image, int x, int y, int width, int height)
{
    ArgbImage cut(width, height);
    for (int j = 0; j < height; ++j) {
        std::memcpy(cut.at(0, j), image.at(x, y + j), size_t(width) * 4);
    }
    return cut;
}

// `image` inside a transparent margin of `margin` pixels.
ArgbImage withMargin(const ArgbImage& image, int margin)
{
    ArgbImage wide(image.width + 2 * margin, image.height + 2 * margin);
    for (int y = 0; y < image.height; ++y) {
        std::memcpy(wide.at(margin, y + margin), image.at(0, y), size_t(image.width) * 4);
    }
    return wide;
}

double meanDifference(const ArgbImage& a, const ArgbImage& b)
{
    double sum = 0.0;
    for (size_t i = 0; i < a.argb.size() && i < b.argb.size(); ++i) {
        sum += std::abs(int(a.argb[i]) - int(b.argb[i]));
    }
    return sum / double(std::max<size_t>(1, a.argb.size()));
}

// Where a pixel centre at `c` (of a frame `size` pixels wide) reads the frame in each edge mode
// beyond it; -1 for "Normal", which shows nothing there.
int edgeTexel(int c, int size, int edgeType)
{
    switch (edgeType) {
    case 2: return ((c % size) + size) % size;
    case 3: {
        const int turn = int(std::floor(double(c) / size));
        const int f = c - turn * size;
        return turn % 2 != 0 ? size - 1 - f : f;
    }
    case 4: return std::clamp(c, 0, size - 1);
    default: return -1;
    }
}

class HostVariationsTest : public ::testing::Test {
protected:
    void set(ControlIndex index, double value) { plugin.host().setValue(index, value); }

    void setMovingControls()
    {
        set(kAngle, 20);
        set(kSlices, 12);
        set(kOffsetRandom, 30);
        set(kSizeRandom, 40);
    }

    // Renders `input` by smart render as `request` places it, into an output area of
    // outWidth x outHeight pixels from the request's output origin.
    ArgbImage render(RenderRequest request, const ArgbImage& input, int outWidth, int outHeight)
    {
        World in = toWorld(input);
        World out(WorldFormat::Argb8, outWidth, outHeight);
        request.input = in.get();
        request.output = out.get();
        request.protocol = RenderProtocol::Smart;
        EXPECT_EQ(plugin.host().render(request), PF_Err_NONE);
        EXPECT_TRUE(in.guardIntact() && out.guardIntact());
        return fromWorld(out);
    }

    ArgbImage renderWhole(const ArgbImage& input)
    {
        return render(RenderRequest{}, input, input.width, input.height);
    }

    // A request for a 40 x 30 layer whose input an upstream effect grew by kGrow on every side,
    // with the output area grown as far.
    static constexpr int kGrow = 8;
    static RenderRequest grownRequest()
    {
        RenderRequest grown;
        grown.layerWidth = 40;
        grown.layerHeight = 30;
        grown.inputOrigin[0] = grown.inputOrigin[1] = -kGrow;
        grown.outputOrigin[0] = grown.outputOrigin[1] = -kGrow;
        return grown;
    }

    void TearDown() override
    {
        plugin.host().setLayer(kCustomLayer, nullptr);
        EXPECT_EQ(plugin.host().report(), "");
    }

    PluginHost plugin;
};

TEST_F(HostVariationsTest, UpstreamGrowthKeepsTheLayerAndTheMarginFollowsTheEdgeMode)
{
    const ArgbImage picture = detailedPicture(40, 30, 3);
    const ArgbImage grownInput = withMargin(picture, kGrow);
    const int width = 40 + 2 * kGrow, height = 30 + 2 * kGrow;
    setMovingControls();
    for (int edgeType = 1; edgeType <= 4; ++edgeType) {
        set(kEdgeType, edgeType);
        const ArgbImage plain = renderWhole(picture);
        RenderRequest grown = grownRequest();
        PF_PreRenderOutput reported{};
        grown.preRender = &reported;
        const ArgbImage wide = render(grown, grownInput, width, height);
        // The frame united with the grown input.
        EXPECT_TRUE(sameRect(reported.max_result_rect, PF_LRect{-kGrow, -kGrow, 40 + kGrow,
                                                                 30 + kGrow}));
        EXPECT_EQ(part(wide, kGrow, kGrow, 40, 30).argb, plain.argb) << "edge type " << edgeType;
    }

    // Unshifted, the margin shows what the edge mode puts beyond the frame, texel for texel.
    set(kOffsetRandom, 0);
    for (int edgeType = 1; edgeType <= 4; ++edgeType) {
        set(kEdgeType, edgeType);
        const ArgbImage wide = render(grownRequest(), grownInput, width, height);
        int wrong = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const int lx = x - kGrow, ly = y - kGrow;
                const bool inside = lx >= 0 && lx < 40 && ly >= 0 && ly < 30;
                const int tx = inside ? lx : edgeTexel(lx, 40, edgeType);
                const int ty = inside ? ly : edgeTexel(ly, 30, edgeType);
                const uint8_t none[4] = {0, 0, 0, 0};
                const uint8_t* expected = tx < 0 ? none : picture.at(tx, ty);
                wrong += std::memcmp(wide.at(x, y), expected, 4) != 0;
            }
        }
        EXPECT_EQ(wrong, 0) << "edge type " << edgeType;
    }
}

TEST_F(HostVariationsTest, AMaskedInputIsTheLayerTransparentOutsideTheMasksBox)
{
    const ArgbImage picture = detailedPicture(48, 36, 5);
    const PF_LRect box{12, 8, 36, 24};
    ArgbImage masked(48, 36);
    for (int y = box.top; y < box.bottom; ++y) {
        std::memcpy(masked.at(box.left, y), picture.at(box.left, y),
                    size_t(box.right - box.left) * 4);
    }
    RenderRequest cropped;
    cropped.inputBounds = box;
    setMovingControls();
    set(kEdgeSoftness, 4);
    EXPECT_EQ(render(cropped, picture, 48, 36).argb, renderWhole(masked).argb);

    // Bands that do not move show, inside the box, what they show without the mask: the bands
    // and their layer choices lie over the layer, not over the box.
    set(kOffsetRandom, 0);
    World custom = toWorld(detailedPicture(20, 15, 9));
    plugin.host().setLayer(kCustomLayer, custom.get());
    const ArgbImage inBox = part(render(cropped, picture, 48, 36), 12, 8, 24, 16);
    EXPECT_EQ(inBox.argb, part(renderWhole(picture), 12, 8, 24, 16).argb);
}

TEST_F(HostVariationsTest, ACustomLayerHandedAsItsContentBoxEqualsTheLayerHandedWhole)
{
    const ArgbImage picture = smoothPicture(48, 36);
    const ArgbImage patch = detailedPicture(10, 6, 4);
    ArgbImage layer(40, 30);
    for (int y = 0; y < patch.height; ++y) {
        std::memcpy(layer.at(12, 9 + y), patch.at(0, y), size_t(patch.width) * 4);
    }
    World whole = toWorld(layer);
    World box = toWorld(patch);
    setMovingControls();
    set(kEdgeType, 3);
    plugin.host().setLayer(kCustomLayer, whole.get());
    const ArgbImage expected = renderWhole(picture);
    plugin.host().setLayer(kCustomLayer, box.get(), LayerPlacement{12, 9, 40, 30});
    EXPECT_EQ(renderWhole(picture).argb, expected.argb);
}

TEST_F(HostVariationsTest, AnOutputRequestGetsItsPartOfTheFrameAndABoundsRequestNoPixels)
{
    const ArgbImage picture = detailedPicture(40, 30, 6);
    const ArgbImage grownInput = withMargin(picture, kGrow);
    setMovingControls();
    set(kEdgeType, 3);
    const ArgbImage wide = render(grownRequest(), grownInput, 40 + 2 * kGrow, 30 + 2 * kGrow);
    // Across the layer's corner into the margin, and inside the layer.
    for (const PF_LRect rect : {PF_LRect{-6, -5, 14, 12}, PF_LRect{10, 7, 30, 25}}) {
        RenderRequest request = grownRequest();
        request.outputOrigin[0] = rect.left;
        request.outputOrigin[1] = rect.top;
        request.outputRequest = rect;
        const int width = rect.right - rect.left, height = rect.bottom - rect.top;
        const ArgbImage got = render(request, grownInput, width, height);
        EXPECT_EQ(got.argb, part(wide, rect.left + kGrow, rect.top + kGrow, width, height).argb)
            << "from " << rect.left << ", " << rect.top;
    }

    const HostCounts before = plugin.host().counts();
    RenderRequest bounds;
    bounds.outputRequest = PF_LRect{0, 0, 0, 0};
    PF_PreRenderOutput reported{};
    bounds.preRender = &reported;
    render(bounds, picture, 40, 30);
    const HostCounts after = plugin.host().counts();
    EXPECT_EQ(after.requestedLayerPixels, before.requestedLayerPixels);
    EXPECT_EQ(after.layerPixelCheckouts, before.layerPixelCheckouts);
    EXPECT_TRUE(sameRect(reported.max_result_rect, PF_LRect{0, 0, 40, 30}));
}

TEST_F(HostVariationsTest, ColourUnderZeroAlphaIsKeptWhenTheRequestAsksForIt)
{
    ArgbImage picture(30, 20);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 30; ++x) {
            const uint8_t clear[4] = {0, 10, 200, 30}, opaque[4] = {255, 90, 60, 120};
            std::memcpy(picture.at(x, y), x % 3 == 0 ? clear : opaque, 4);
        }
    }
    RenderRequest keep;
    keep.preserveRgbOfZeroAlpha = true;
    EXPECT_EQ(render(keep, picture, 30, 20).argb, picture.argb);
    const ArgbImage cleared = renderWhole(picture);
    EXPECT_EQ(cleared.at(0, 0)[2], 0) << "asked for nothing, the colour under zero alpha goes";

    // Moved bands that read colour under zero alpha keep it too, also where soft edges or a
    // downsampled pixel average several samples of it.
    const ArgbImage clear = solid(30, 20, 0, 10, 200, 30);
    setMovingControls();
    set(kEdgeType, 4);
    EXPECT_EQ(render(keep, clear, 30, 20).argb, clear.argb);
    set(kEdgeSoftness, 6);
    EXPECT_EQ(render(keep, clear, 30, 20).argb, clear.argb);
    keep.downsampleX = keep.downsampleY = PF_RationalScale{1, 2};
    keep.layerWidth = 60;
    keep.layerHeight = 40;
    EXPECT_EQ(render(keep, clear, 30, 20).argb, clear.argb);
}

TEST_F(HostVariationsTest, DownsampledFramesAreTheFullResolutionFrameBoxDownsampled)
{
    const ArgbImage picture = smoothPicture(96, 72);
    const ArgbImage customPicture = smoothPicture(60, 40);
    struct Look {
        const char* name;
        std::function<void()> apply;
        bool custom;
    };
    const Look looks[] = {
        {"hard edges", [&] { setMovingControls(); }, false},
        {"soft edges", [&] { set(kEdgeSoftness, 8); }, false},
        {"2000 bands", [&] { set(kEdgeSoftness, 0), set(kSlices, 2000), set(kSizeRandom, 50); },
         false},
        {"custom layer", [&] { set(kSlices, 12), set(kEdgeType, 3); }, true},
    };
    const std::pair<int, int> factors[] = {{2, 2}, {3, 3}, {4, 4}, {2, 3}};
    // Only the input's own detail is lost at the lower resolution.
    constexpr double kTolerance = 0.5;
    for (const Look& look : looks) {
        look.apply();
        World fullCustom = toWorld(customPicture);
        plugin.host().setLayer(kCustomLayer, look.custom ? fullCustom.get() : nullptr);
        const ArgbImage full = renderWhole(picture);
        for (auto [nx, ny] : factors) {
            World smallCustom = toWorld(boxDownsampled(customPicture, nx, ny));
            plugin.host().setLayer(kCustomLayer, look.custom ? smallCustom.get() : nullptr,
                                   LayerPlacement{0, 0, 60, 40});
            RenderRequest request;
            request.downsampleX = PF_RationalScale{1, A_u_long(nx)};
            request.downsampleY = PF_RationalScale{1, A_u_long(ny)};
            request.layerWidth = 96;
            request.layerHeight = 72;
            const ArgbImage small =
                render(request, boxDownsampled(picture, nx, ny), 96 / nx, 72 / ny);
            EXPECT_LE(meanDifference(small, boxDownsampled(full, nx, ny)), kTolerance)
                << look.name << " at 1/" << nx << " x 1/" << ny;
        }
        plugin.host().setLayer(kCustomLayer, nullptr);
    }

    // The classic render reads the same factors from in_data.
    RenderRequest half;
    half.downsampleX = half.downsampleY = PF_RationalScale{1, 2};
    half.layerWidth = 96;
    half.layerHeight = 72;
    const ArgbImage smallPicture = boxDownsampled(picture, 2, 2);
    const ArgbImage smart = render(half, smallPicture, 48, 36);
    World in = toWorld(smallPicture);
    World out(WorldFormat::Argb8, 48, 36);
    half.input = in.get();
    half.output = out.get();
    half.protocol = RenderProtocol::Classic;
    ASSERT_EQ(plugin.host().render(half), PF_Err_NONE);
    EXPECT_EQ(fromWorld(out).argb, smart.argb);

    // Factors a host leaves zero count as full resolution.
    RenderRequest zero;
    zero.downsampleX = PF_RationalScale{0, 0};
    zero.downsampleY = PF_RationalScale{1, 0};
    EXPECT_EQ(render(zero, picture, 96, 72).argb, renderWhole(picture).argb);
}

// The direction of the bands in `frame` as shown, a buffer pixel `aspect` square pixels wide, in
// degrees: from the structure tensor of the green channel, whose gradient runs across the bands
// at minus their angle. Both differences span the same square distance, so that the stencil
// itself leans no way.
double bandAngle(const ArgbImage& frame, int aspect)
{
    double xx = 0.0, yy = 0.0, xy = 0.0;
    auto level = [&](int x, int y) { return double(frame.at(x, y)[2]); };
    for (int y = 2; y < frame.height - 2; ++y) {
        for (int x = 2; x < frame.width - 2; ++x) {
            const double gx = (level(x + 1, y) - level(x - 1, y)) / (2.0 * aspect);
            const double gy = (level(x, y + aspect) - level(x, y - aspect)) / (2.0 * aspect);
            xx += gx * gx, yy += gy * gy, xy += gx * gy;
        }
    }
    return -0.5 * std::atan2(2.0 * xy, xx - yy) * 45.0 / std::atan(1.0);
}

TEST_F(HostVariationsTest, BandsKeepTheirAngleOnPixelsTwiceAsWideAsTall)
{
    // Black input, white custom layer: the bands that show it are white, with wide soft edges
    // so that the measured direction does not follow the pixel grid.
    set(kAngle, 30);
    set(kSlices, 6);
    set(kEdgeSoftness, 16);
    set(kEdgeType, 4);
    for (int aspect : {1, 2}) {
        const int width = 96 / aspect;
        World white = toWorld(solid(width, 96, 255, 255, 255, 255));
        plugin.host().setLayer(kCustomLayer, white.get());
        RenderRequest request;
        request.pixelAspect = PF_RationalScale{aspect, 1};
        const ArgbImage frame = render(request, solid(width, 96, 255, 0, 0, 0), width, 96);
        EXPECT_NEAR(bandAngle(frame, aspect), 30.0, 0.5) << "pixel aspect ratio " << aspect;
        plugin.host().setLayer(kCustomLayer, nullptr);
    }
}

} // namespace
} // namespace Tessarine::Lamino
