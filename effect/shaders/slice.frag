#version 330

// Cuts the frame into parallel bands at an angle. Every band moves its content along itself by
// its own shift, and about half of the bands show the custom layer laid over the input. The band
// table (ends, shifts, layer choices) and the geometry are worked out on the CPU once per render;
// this program finds each pixel's band in it and samples the layers. Works in window coordinates.
// Layer textures hold the host's A, R, G, B in r, g, b, a; the result is written in the same
// order, straight (not premultiplied), at the output format's scale.
//
// The slice pass builds one program per combination of the switches below, defined after the
// version line, so that each frame runs only the work its controls need:
//   EDGE_MODE     0 Normal, 1 Repeat, 2 Mirror, 3 Clamp
//   SHIFTED       1 when bands move (some shift is not 0)
//   CUSTOM_LAYER  1 when a custom layer is laid over the bands that choose it
// Without shifts every pixel shows its own texel, and without a custom layer as well the bands
// leave no trace: the program then copies the input.

uniform sampler2D t0;           // input layer
uniform sampler2D t1;           // custom layer (no texture when none is chosen)
uniform sampler2D bandLookup;   // two texels per whole pixel of distance across the bands
uniform int lastRecord;
uniform vec2 startPoint;        // frame corner through which the reference line runs
uniform vec2 along;             // unit direction along the bands
uniform vec2 across;            // unit direction across the bands, away from startPoint
uniform vec2 viewSize;          // frame size in pixels
uniform vec2 customScale;       // custom layer pixels per frame pixel
uniform float layerAlpha;
uniform float inputScale;       // brings a texel to full scale (16-bit hosts stop at 32768)
uniform float outputScale;      // full scale back to the output format's
uniform float alphaFloor;       // alpha below this stores as 0 in the output format

out vec4 colourOut;

const int recordsPerRow = 1024;

// Host order A, R, G, B in r, g, b, a to R, G, B, A.
vec4 swapChannel(vec4 c)
{
    return vec4(c.g, c.b, c.a, c.r);
}

// source laid over previous, both straight colour.
vec4 blendNormal(vec4 previous, vec4 source)
{
    return vec4(previous.rgb * (1.0 - source.a) + source.rgb * source.a,
                previous.a * (1.0 - source.a) + source.a);
}

// The shift along the bands (x) and the custom-layer choice (y) of the band holding distance
// dist. The record of the whole pixel below dist holds the ends of the first two bands that may
// hold it and the shifts and choices of all three (bands are at least one pixel wide).
vec2 bandAt(float dist)
{
    int record = clamp(int(floor(dist)), 0, lastRecord);
    ivec2 at = ivec2(2 * (record % recordsPerRow), record / recordsPerRow);
    vec4 ends = texelFetch(bandLookup, at, 0);               // end0, end1, shift0, shift1
    vec4 rest = texelFetch(bandLookup, at + ivec2(1, 0), 0); // shift2, choice0, choice1, choice2
    vec2 band = dist > ends.x ? vec2(ends.w, rest.z) : vec2(ends.z, rest.y);
    return dist > ends.y ? vec2(rest.x, rest.w) : band;
}

// Bilinear sample with clamp-to-edge at `texel`, a position in the layer's own pixels (pixel
// centres at .5), filtered here in single precision from fetched texels rather than by the
// sampler: drivers filter 8-bit textures at reduced precision (llvmpipe to within a few levels),
// and the same frame should come out on every one. A position on a texel centre takes one fetch.
vec4 sampleLayer(sampler2D layer, vec2 texel)
{
    ivec2 last = textureSize(layer, 0) - 1;
    vec2 corner = texel - 0.5;
    vec2 base = floor(corner);
    vec2 w = corner - base;
    ivec2 i0 = clamp(ivec2(base), ivec2(0), last);
    if (w.x == 0.0 && w.y == 0.0) {
        return texelFetch(layer, i0, 0);
    }
    ivec2 i1 = clamp(ivec2(base) + 1, ivec2(0), last);
    vec4 c00 = texelFetch(layer, i0, 0);
    vec4 c10 = texelFetch(layer, ivec2(i1.x, i0.y), 0);
    vec4 c01 = texelFetch(layer, ivec2(i0.x, i1.y), 0);
    vec4 c11 = texelFetch(layer, i1, 0);
    return mix(mix(c00, c10, w.x), mix(c01, c11, w.x), w.y);
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

void main()
{
    vec2 p = gl_FragCoord.xy;
#if SHIFTED || CUSTOM_LAYER
    vec2 band = bandAt(abs(dot(p - startPoint, across)));
#endif

#if SHIFTED
    // Where this pixel's content comes from: moved along the band by the band's shift.
    vec2 pos = p + along * band.x;
    vec2 mapped = edgeMap(pos);
    float mask = edgeMask(pos) * inputScale;
    vec4 result = swapChannel(sampleLayer(t0, mapped)) * mask;
#else
    vec2 mapped = p;
    float mask = inputScale;
    vec4 result = swapChannel(texelFetch(t0, ivec2(p), 0)) * mask;
#endif

#if CUSTOM_LAYER
    // The custom layer, stretched to the frame, is only read where a band shows it.
    if (band.y != 0.0) {
        vec4 custom = swapChannel(sampleLayer(t1, mapped * customScale)) * mask;
        custom.a *= layerAlpha;
        result = blendNormal(result, custom);
    }
#endif

    // A pixel that stores no coverage stores no colour.
    if (result.a == 0.0 || result.a < alphaFloor) {
        result = vec4(0.0);
    }
    colourOut = vec4(result.a, result.rgb) * outputScale;
}
