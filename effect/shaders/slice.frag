#version 330

// Cuts the frame into parallel bands at an angle. Every band moves its content along itself by
// its own shift, and about half of the bands show the custom layer laid over the input. The band
// tables (ends, shifts, layer choices) and the geometry are worked out on the CPU once per render;
// this program finds each pixel's band in them and samples the layers. The frame is the layer's
// rect; the output may show any part of it or beyond it, and the input world may cover any part of
// it (pixels it has not are transparent). Positions are in the layer's buffer pixels (downsampled,
// from the layer's top-left) where the layers are read, and in the layer's full-resolution square
// pixels where the bands are laid out. Layers are filtered and laid over each other with their
// colour weighted by alpha (premultiplied). Layer textures hold the host's A, R, G, B in r, g, b,
// a; the result is written in the same order, straight (not premultiplied), at the output
// format's scale.
//
// The slice pass builds one program per combination of the switches below, defined after the
// version line, so that each frame runs only the work its controls need:
//   EDGE_MODE     0 Normal, 1 Repeat, 2 Mirror, 3 Clamp
//   SHIFTED       1 when bands move (some shift is not 0)
//   CUSTOM_LAYER  1 when a custom layer is laid over the bands that choose it
//   SOFT          1 when neighbouring bands (and in Normal mode the frame's edge) blend over a
//                 width instead of meeting at a hard line
//   MOTION_BLUR   1 when the frame is the average of the effect at several times across the
//                 shutter, each with its own geometry and band table
//   SUPERSAMPLED  1 when a downsampled pixel averages the full-resolution pixels it covers
//   PLACED        1 when a world does not cover the rect it is read in (an input cropped to a
//                 mask's box or without pixels, a custom layer handed as its content box), so
//                 that reads beyond it must give transparent pixels
// Without shifts every pixel shows its own texel, and without a custom layer as well the bands
// leave no trace: the program then copies the input.

uniform sampler2D t0;           // input layer
uniform sampler2D t1;           // custom layer (no texture when none is chosen)
uniform sampler2D bandLookup;   // the band tables, kRowTexels texels to a row

// The render's own values, from a uniform buffer of the rendering context: the program is shared
// by renders on several threads at once and holds none of them. std140 layout, written by the
// slice pass (SliceUniformBlock).
layout(std140) uniform FrameValues {
    // One entry per sample time (only the first without MOTION_BLUR):
    vec4 sampleLine[64];   // frame corner the reference line runs through (xy), unit direction
                           // along the bands (zw)
    vec4 sampleBands[64];  // pattern shift (band phase), the lookup's origin, edge softness in
                           // pixels, layer opacity
    ivec4 sampleTable[64]; // the table's rows (lookup, soft edges), last record, last band
    vec2 viewSize;         // frame size in full-resolution square pixels
    vec2 customScale;      // custom layer buffer pixels per frame buffer pixel
    vec2 toSquare;         // square pixels per buffer pixel (downsampling, pixel aspect ratio)
    vec2 fromSquare;       // buffer pixels per square pixel
    vec2 outputOrigin;     // the output's first pixel, in the layer's buffer pixels
    ivec2 inputOrigin;     // the input world's first pixel, in the layer's buffer pixels
    ivec2 frameTexels;     // the frame in buffer pixels: the edge clamp's range
    ivec2 customOrigin;    // the custom world's first pixel in the custom layer's reference rect
    ivec2 customTexels;    // the custom layer's reference rect in its buffer pixels
    ivec2 supersample;     // full-resolution samples a buffer pixel averages, on each axis
    float inputScale;      // brings a texel to full scale (16-bit hosts stop at 32768)
    float outputScale;     // full scale back to the output format's
    float alphaFloor;      // alpha below this stores as 0 in the output format
    int sampleCount;       // sample times averaged (MOTION_BLUR)
    int keepZeroAlphaColour; // 1: colour under alpha 0 is written, not cleared
};

out vec4 colourOut;

const int recordsPerRow = 1024;
const int rowTexels = 2 * recordsPerRow;

// The effect at one sample time.
struct Slice {
    vec2 startPoint;
    vec2 along;          // unit direction along the bands
    vec2 across;         // unit direction across the bands, away from startPoint
    float patternShift;
    float recordOrigin;
    float softness;
    float layerAlpha;
    ivec4 table;
};

Slice sliceAt(int s)
{
    Slice slice;
    slice.startPoint = sampleLine[s].xy;
    slice.along = sampleLine[s].zw;
    // (cos a, -sin a) from (sin a, cos a): the same numbers the CPU works out, exactly.
    slice.across = vec2(slice.along.y, -slice.along.x);
    slice.patternShift = sampleBands[s].x;
    slice.recordOrigin = sampleBands[s].y;
    slice.softness = sampleBands[s].z;
    slice.layerAlpha = sampleBands[s].w;
    slice.table = sampleTable[s];
    return slice;
}

// Host order A, R, G, B in r, g, b, a to R, G, B, A.
vec4 swapChannel(vec4 c)
{
    return vec4(c.g, c.b, c.a, c.r);
}

vec4 premultiply(vec4 c)
{
    return vec4(c.rgb * c.a, c.a);
}

// source laid over previous ("over" in premultiplied terms: the previous colour counts by its
// own alpha), both and the result in straight colour. Where both are transparent the previous
// colour stays; an opaque result needs no division.
vec4 blendNormal(vec4 previous, vec4 source)
{
    float a = previous.a * (1.0 - source.a) + source.a;
    vec3 rgb = previous.rgb * previous.a * (1.0 - source.a) + source.rgb * source.a;
    return a > 0.0 ? vec4(a == 1.0 ? rgb : rgb / a, a) : previous;
}

// Where a pixel lies in the band pattern: its distance across the bands from the reference line,
// less the band phase's shift.
float patternDistance(Slice slice, vec2 p)
{
    return abs(dot(p - slice.startPoint, slice.across)) - slice.patternShift;
}

// The record of the whole pixel of pattern distance below u.
int recordAt(Slice slice, float u)
{
    return clamp(int(floor(u - slice.recordOrigin)), 0, slice.table.z);
}

// The two texels of record `record` of a slice's lookup.
ivec2 recordTexel(Slice slice, int record)
{
    return ivec2(2 * (record % recordsPerRow), slice.table.x + record / recordsPerRow);
}

// The shift along the bands (x) and the custom-layer choice (y) of the band holding pattern
// distance u. The record of the whole pixel below u holds the ends of the first two bands that
// may hold it and the shifts and choices of all three (bands are at least one pixel wide).
vec2 bandAt(Slice slice, float u)
{
    ivec2 at = recordTexel(slice, recordAt(slice, u));
    vec4 ends = texelFetch(bandLookup, at, 0);               // end0, end1, shift0, shift1
    vec4 rest = texelFetch(bandLookup, at + ivec2(1, 0), 0); // shift2, choice0, choice1, choice2
    vec2 band = u > ends.x ? vec2(ends.w, rest.z) : vec2(ends.z, rest.y);
    return u > ends.y ? vec2(rest.x, rest.w) : band;
}

// Pixel `i` of a layer whose world starts at `origin`, both in the layer's buffer pixels:
// transparent where the world has no pixel.
vec4 worldTexel(sampler2D layer, ivec2 i, ivec2 origin)
{
    ivec2 t = i - origin;
#if PLACED
    if (any(lessThan(t, ivec2(0))) || any(greaterThanEqual(t, textureSize(layer, 0)))) {
        return vec4(0.0);
    }
#endif
    return texelFetch(layer, t, 0);
}

// A texel's colour (host order: alpha in r) weighted by its alpha.
vec3 weighted(vec4 c)
{
    return c.gba * c.r;
}

// Bilinear sample at `texel`, a position in the layer's buffer pixels (pixel centres at .5),
// with clamp-to-edge at the rect [0, texels) and the world placed at `origin`. Colours are
// weighted by alpha, so that the colour of a transparent pixel does not bleed into its
// neighbours; where the four alphas are equal that weighting cancels, and the plain blend is
// taken as it is. Where all four are transparent, their plain colour blend is kept (the colour
// under zero alpha). Filtered here in single precision from fetched texels rather than by the
// sampler: drivers filter 8-bit textures at reduced precision (llvmpipe to within a few levels),
// and the same frame should come out on every one. A position on a texel centre takes one fetch.
vec4 sampleLayer(sampler2D layer, vec2 texel, ivec2 origin, ivec2 texels)
{
    ivec2 last = texels - 1;
    vec2 corner = texel - 0.5;
    vec2 base = floor(corner);
    vec2 w = corner - base;
    ivec2 i0 = clamp(ivec2(base), ivec2(0), last);
    if (w.x == 0.0 && w.y == 0.0) {
        return worldTexel(layer, i0, origin);
    }
    ivec2 i1 = clamp(ivec2(base) + 1, ivec2(0), last);
    vec4 c00 = worldTexel(layer, i0, origin);
    vec4 c10 = worldTexel(layer, ivec2(i1.x, i0.y), origin);
    vec4 c01 = worldTexel(layer, ivec2(i0.x, i1.y), origin);
    vec4 c11 = worldTexel(layer, i1, origin);
    vec4 plain = mix(mix(c00, c10, w.x), mix(c01, c11, w.x), w.y);
    if (c00.r == c10.r && c00.r == c01.r && c00.r == c11.r) {
        return plain;
    }
    // The weighted alpha is the plain blend's alpha.
    vec3 sum = mix(mix(weighted(c00), weighted(c10), w.x), mix(weighted(c01), weighted(c11), w.x),
                   w.y);
    return plain.r > 0.0 ? vec4(plain.r, sum / plain.r) : plain;
}

// Where the layers are sampled for a position `pos` in frame pixels. Normal and Clamp sample as
// they are (sampleLayer clamps to the edge texels); Repeat wraps, Mirror reflects every other
// turn.
vec2 edgeMap(vec2 pos)
{
#if EDGE_MODE == 1 || EDGE_MODE == 2
    vec2 turns = floor(pos / viewSize);
    vec2 f = pos - viewSize * turns;
#if EDGE_MODE == 1
    return f;
#else
    return mix(f, viewSize - f, mod(turns, 2.0));
#endif
#else
    return pos;
#endif
}

// 1.0 inside the frame; outside, "Normal" masks the sample away.
float edgeMask(vec2 pos)
{
#if EDGE_MODE == 0
    vec2 inside = step(vec2(0.0), pos) * (1.0 - step(viewSize, pos));
    return inside.x * inside.y;
#else
    return 1.0;
#endif
}

// "Normal" with soft edges: the frame's coverage ramps from 0 to 1 over `softness` pixels
// centred on its edge.
float softEdgeMask(vec2 pos, float softness)
{
#if EDGE_MODE == 0
    if (softness <= 0.0) {
        return edgeMask(pos);
    }
    vec2 halfWidth = vec2(0.5 * softness);
    vec2 cover = clamp((pos + halfWidth) / softness, 0.0, 1.0) *
                 clamp((viewSize - pos + halfWidth) / softness, 0.0, 1.0);
    return cover.x * cover.y;
#else
    return 1.0;
#endif
}

// What one band (its shift x and custom-layer choice y) shows at the pixel centred at p (square
// pixels) and `pixel` (buffer pixels): straight colour at full scale.
vec4 bandSample(Slice slice, vec2 p, vec2 pixel, vec2 band)
{
#if SHIFTED
    // Where this pixel's content comes from: moved along the band by the band's shift, and read
    // at that place in the buffers.
    vec2 pos = p + slice.along * band.x;
    vec2 mapped = edgeMap(pos) * fromSquare;
#if SOFT
    // The coverage scales alpha alone: the colour of a partly covered pixel stays its own.
    float cover = softEdgeMask(pos, slice.softness);
    vec4 result = swapChannel(sampleLayer(t0, mapped, inputOrigin, frameTexels)) * inputScale;
    result.a *= cover;
    float mask = inputScale;
#else
    float mask = edgeMask(pos) * inputScale;
    vec4 result = swapChannel(sampleLayer(t0, mapped, inputOrigin, frameTexels)) * mask;
#endif
#else
    vec2 mapped = pixel;
    float mask = inputScale;
    vec4 result = swapChannel(worldTexel(t0, ivec2(floor(pixel)), inputOrigin)) * mask;
#endif

#if CUSTOM_LAYER
    // The custom layer, stretched to the frame, is only read where a band shows it.
    if (band.y != 0.0) {
        vec4 custom = swapChannel(sampleLayer(t1, mapped * customScale, customOrigin,
                                              customTexels)) * mask;
#if SOFT && SHIFTED
        custom.a *= cover;
#endif
        custom.a *= slice.layerAlpha;
        result = blendNormal(result, custom);
    }
#endif
    return result;
}

// The frame at one sample time with hard band edges, straight colour.
vec4 hardSlice(Slice slice, vec2 p, vec2 pixel)
{
#if SHIFTED || CUSTOM_LAYER
    vec2 band = bandAt(slice, patternDistance(slice, p));
#else
    vec2 band = vec2(0.0);
#endif
    return bandSample(slice, p, pixel, band);
}

// Texel i of a slice's soft-edge rows: the first band of record i for i up to the last record,
// then the bands (start, end, shift, choice).
vec4 softTexel(Slice slice, int i)
{
    return texelFetch(bandLookup, ivec2(i % rowTexels, slice.table.y + i / rowTexels), 0);
}

// The position among the table's bands of the band holding pattern distance u.
int softBandAt(Slice slice, float u)
{
    int record = recordAt(slice, u);
    int first = int(softTexel(slice, record).x);
    vec4 ends = texelFetch(bandLookup, recordTexel(slice, record), 0);
    int step = (u > ends.x ? 1 : 0) + (u > ends.y ? 1 : 0);
    return min(first + step, slice.table.w);
}

// The frame at one sample time with soft band edges, premultiplied: every band's sample weighted
// by the share of the window `softness` wide, centred on the pixel's distance across the bands,
// that the band covers. Next to a lone boundary this is a straight blend of the two bands over
// the softness, centred on the boundary.
vec4 softSlice(Slice slice, vec2 p, vec2 pixel, out vec3 plain)
{
    float u = patternDistance(slice, p);
    float low = u - 0.5 * slice.softness;
    float high = u + 0.5 * slice.softness;
    int first = softBandAt(slice, low);
    int last = softBandAt(slice, high);
    vec4 sum = vec4(0.0);
    plain = vec3(0.0);
    for (int i = first; i <= last; ++i) {
        vec4 band = softTexel(slice, slice.table.z + 1 + i);
        float from = i == first ? low : band.x;
        float to = i == last ? high : band.y;
        float weight = slice.softness > 0.0 ? (to - from) / slice.softness : 1.0;
        vec4 shown = bandSample(slice, p, pixel, band.zw);
        sum += weight * premultiply(shown);
        plain += weight * shown.rgb;
    }
    return sum;
}

// The frame at one sample time, premultiplied; `plain` gets the same blend of the colours
// without their alphas' weights: the colour under zero alpha where nothing covers the pixel.
vec4 slicePremultiplied(Slice slice, vec2 p, vec2 pixel, out vec3 plain)
{
#if SOFT
    return softSlice(slice, p, pixel, plain);
#else
    vec4 shown = hardSlice(slice, p, pixel);
    plain = shown.rgb;
    return premultiply(shown);
#endif
}

// The effect at the point `pixel` (buffer pixels), premultiplied: with MOTION_BLUR the average
// over the sample times. Colour averages in premultiplied form, so that a transparent sample
// adds no colour.
vec4 framePremultiplied(vec2 pixel, out vec3 plain)
{
    vec2 p = pixel * toSquare;
#if MOTION_BLUR
    vec4 sum = vec4(0.0);
    plain = vec3(0.0);
    for (int s = 0; s < sampleCount; ++s) {
        vec3 one;
        sum += slicePremultiplied(sliceAt(s), p, pixel, one);
        plain += one;
    }
    plain /= float(sampleCount);
    return sum / float(sampleCount);
#else
    return slicePremultiplied(sliceAt(0), p, pixel, plain);
#endif
}

// Straight colour of a premultiplied average; where it has no alpha, the plain colour average.
vec4 straightOf(vec4 sum, vec3 plain)
{
    return sum.a > 0.0 ? vec4(sum.rgb / sum.a, sum.a) : vec4(plain, 0.0);
}

void main()
{
    // The pixel's centre in the layer's buffer pixels.
    vec2 pixel = gl_FragCoord.xy + outputOrigin;
    vec4 result;
#if SUPERSAMPLED
    {
        // A downsampled pixel is the average of the full-resolution pixels it covers: the bands,
        // their floor and their soft edges stay those of the full-resolution frame.
        vec2 spacing = 1.0 / vec2(supersample);
        vec4 sum = vec4(0.0);
        vec3 plain = vec3(0.0);
        for (int j = 0; j < supersample.y; ++j) {
            for (int i = 0; i < supersample.x; ++i) {
                vec3 one;
                sum += framePremultiplied(pixel - 0.5 + (vec2(i, j) + 0.5) * spacing, one);
                plain += one;
            }
        }
        float count = float(supersample.x * supersample.y);
        result = straightOf(sum / count, plain / count);
    }
#elif MOTION_BLUR || SOFT
    vec3 plain;
    vec4 sum = framePremultiplied(pixel, plain);
    result = straightOf(sum, plain);
#else
    result = hardSlice(sliceAt(0), pixel * toSquare, pixel);
#endif

    // A pixel that stores no coverage stores no colour, unless the host asks for the colour
    // under zero alpha.
    if (result.a == 0.0 || result.a < alphaFloor) {
        result = keepZeroAlphaColour != 0 ? vec4(result.rgb, 0.0) : vec4(0.0);
    }
    colourOut = vec4(result.a, result.rgb) * outputScale;
}
