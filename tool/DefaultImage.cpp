#include "tool/DefaultImage.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace Tessarine::Lamino {

namespace {

// A 5 x 7 bitmap font: seven rows per glyph, bit 4 the leftmost column.
struct Glyph {
    char character;
    uint8_t rows[7];
};

constexpr Glyph kFont[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}},
};

const Glyph* findGlyph(char character)
{
    for (const Glyph& glyph : kFont) {
        if (glyph.character == character) {
            return &glyph;
        }
    }
    return nullptr;  // a blank
}

struct Colour {
    float r, g, b;
};

// The picture is drawn in floating point, opaque, with a separate alpha mask applied at the end.
class Canvas {
public:
    Canvas(int32_t width, int32_t height)
        : width(width), height(height), colour(size_t(width) * size_t(height)),
          alpha(colour.size(), 1.0f), scale(std::min(width / float(DefaultImage::kWidth),
                                                     height / float(DefaultImage::kHeight)))
    {
    }

    // Coordinates of the 960 x 540 layout, scaled to the canvas.
    float sx(float x) const { return x * width / float(DefaultImage::kWidth); }
    float sy(float y) const { return y * height / float(DefaultImage::kHeight); }

    void blend(int32_t x, int32_t y, Colour c, float coverage)
    {
        if (x < 0 || y < 0 || x >= width || y >= height || coverage <= 0.0f) {
            return;
        }
        Colour& d = colour[size_t(y) * size_t(width) + size_t(x)];
        coverage = std::min(coverage, 1.0f);
        d = {d.r + (c.r - d.r) * coverage, d.g + (c.g - d.g) * coverage,
             d.b + (c.b - d.b) * coverage};
    }

    float& alphaAt(int32_t x, int32_t y) { return alpha[size_t(y) * size_t(width) + size_t(x)]; }

    Image toImage() const
    {
        Image image(width, height);
        auto byte
            = [](float v) { return uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
        for (size_t i = 0; i < colour.size(); ++i) {
            uint8_t* p = &image.rgba[i * 4];
            p[0] = byte(colour[i].r);
            p[1] = byte(colour[i].g);
            p[2] = byte(colour[i].b);
            p[3] = byte(alpha[i]);
        }
        return image;
    }

    int32_t width, height;
    std::vector<Colour> colour;
    std::vector<float> alpha;
    float scale;
};

void drawBackground(Canvas& canvas)
{
    for (int32_t y = 0; y < canvas.height; ++y) {
        float v = y / float(canvas.height);
        for (int32_t x = 0; x < canvas.width; ++x) {
            float u = x / float(canvas.width);
            canvas.blend(
                x, y, {0.08f + 0.55f * u * v, 0.12f + 0.30f * v, 0.42f + 0.35f * (1.0f - u)}, 1.0f);
        }
    }
    // A light grid every 48 layout pixels: shifted bands break its lines.
    float step = canvas.sx(48.0f);
    for (int32_t y = 0; y < canvas.height; ++y) {
        for (int32_t x = 0; x < canvas.width; ++x) {
            bool onLine = std::fmod(float(x), step) < canvas.scale
                || std::fmod(float(y), step) < canvas.scale;
            if (onLine) {
                canvas.blend(x, y, {1.0f, 1.0f, 1.0f}, 0.25f);
            }
        }
    }
}

void drawCheckerStrip(Canvas& canvas)
{
    int32_t top = int32_t(canvas.sy(396.0f)), bottom = int32_t(canvas.sy(456.0f));
    float cell = canvas.sx(30.0f);
    for (int32_t y = top; y < bottom; ++y) {
        for (int32_t x = 0; x < canvas.width; ++x) {
            bool light = (int32_t(x / cell) + int32_t((y - top) / cell)) % 2 == 0;
            canvas.blend(x, y, light ? Colour{0.95f, 0.95f, 0.92f} : Colour{0.05f, 0.05f, 0.08f},
                         1.0f);
        }
    }
}

// A disc with a radial gradient and a transparent hole; edges antialiased by distance.
void drawDisc(Canvas& canvas)
{
    float cx = canvas.sx(270.0f), cy = canvas.sy(250.0f), radius = 140.0f * canvas.scale;
    float hole = 46.0f * canvas.scale;
    for (int32_t y = int32_t(cy - radius - 2); y <= int32_t(cy + radius + 2); ++y) {
        for (int32_t x = int32_t(cx - radius - 2); x <= int32_t(cx + radius + 2); ++x) {
            if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height) {
                continue;
            }
            float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
            float t = d / radius;
            canvas.blend(x, y, {1.0f, 0.85f - 0.45f * t, 0.20f * (1.0f - t)}, radius - d + 0.5f);
            float holeCoverage = std::clamp(hole - d + 0.5f, 0.0f, 1.0f);
            canvas.alphaAt(x, y) *= 1.0f - holeCoverage;
        }
    }
}

// A panel with a hue sweep, half transparent, and diagonal stripes below it.
void drawPanelAndStripes(Canvas& canvas)
{
    int32_t left = int32_t(canvas.sx(540.0f)), right = int32_t(canvas.sx(900.0f));
    int32_t top = int32_t(canvas.sy(110.0f)), bottom = int32_t(canvas.sy(250.0f));
    for (int32_t y = top; y < bottom; ++y) {
        for (int32_t x = left; x < right; ++x) {
            float h = 6.0f * (x - left) / float(right - left);
            auto channel = [h](float offset) {
                return std::clamp(std::fabs(std::fmod(h + offset, 6.0f) - 3.0f) - 1.0f, 0.0f, 1.0f);
            };
            canvas.blend(x, y, {channel(0.0f), channel(4.0f), channel(2.0f)}, 1.0f);
            canvas.alphaAt(x, y) = 0.55f;
        }
    }
    float period = 24.0f * canvas.scale;
    for (int32_t y = int32_t(canvas.sy(270.0f)); y < int32_t(canvas.sy(370.0f)); ++y) {
        for (int32_t x = left; x < right; ++x) {
            bool dark = std::fmod(float(x + y), period) < period / 2.0f;
            canvas.blend(x, y, dark ? Colour{0.10f, 0.55f, 0.35f} : Colour{0.92f, 0.90f, 0.30f},
                         1.0f);
        }
    }
}

void drawText(Canvas& canvas, const std::string& text, float layoutX, float layoutY,
              float layoutPixel, Colour c)
{
    int32_t pixel = std::max(1, int32_t(std::lround(layoutPixel * canvas.scale)));
    int32_t originX = int32_t(canvas.sx(layoutX)), originY = int32_t(canvas.sy(layoutY));
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph* glyph = findGlyph(text[i]);
        if (!glyph) {
            continue;
        }
        for (int32_t row = 0; row < 7 * pixel; ++row) {
            for (int32_t column = 0; column < 5 * pixel; ++column) {
                if (glyph->rows[row / pixel] & (0x10 >> (column / pixel))) {
                    int32_t x = originX + int32_t(i) * 6 * pixel + column, y = originY + row;
                    canvas.blend(x + pixel / 2, y + pixel / 2, {0.0f, 0.0f, 0.0f}, 0.6f);  // shadow
                    canvas.blend(x, y, c, 1.0f);
                }
            }
        }
    }
}

// The right edge fades out, so that the effect's handling of partly transparent pixels shows.
void fadeRightEdge(Canvas& canvas)
{
    int32_t start = int32_t(canvas.sx(880.0f));
    for (int32_t y = 0; y < canvas.height; ++y) {
        for (int32_t x = start; x < canvas.width; ++x) {
            canvas.alphaAt(x, y) *= 1.0f - 0.75f * (x - start) / float(canvas.width - start);
        }
    }
}

}  // namespace

Image DefaultImage::make(int32_t width, int32_t height)
{
    Canvas canvas(width, height);
    drawBackground(canvas);
    drawCheckerStrip(canvas);
    drawDisc(canvas);
    drawPanelAndStripes(canvas);
    drawText(canvas, "ORLA LAMINO", 40.0f, 24.0f, 8.0f, {1.0f, 1.0f, 1.0f});
    drawText(canvas, "THE QUICK BROWN FOX JUMPS OVER 0123456789", 40.0f, 476.0f, 3.0f,
             {0.95f, 0.95f, 0.60f});
    fadeRightEdge(canvas);
    return canvas.toImage();
}

}  // namespace Tessarine::Lamino
