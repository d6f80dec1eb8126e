#version 330

// Cuts the frame into parallel bands at an angle. Every band gets a seeded random width and a
// seeded random shift along itself, and about half of the bands (chosen by a third seed) show
// the custom layer laid over the input. Works in window coordinates; writes premultiplied RGBA.
// Layer textures hold the host's A, R, G, B in r, g, b, a.

uniform sampler2D t0;           // input layer
uniform sampler2D t1;           // custom layer (no texture when none is chosen)
uniform float angle;            // degrees, not reduced to one turn
uniform float count;            // number of slices, at least 1
uniform float sizeRandom;       // spread of band widths as a fraction of the mean width
uniform float sizeRandomSeed;
uniform float offsetRandom;     // largest shift as a fraction of the extent across the bands
uniform float offsetRandomSeed;
uniform float bothDirection;    // 1.0: shifts go both ways; 0.0: one way
uniform float layerRandomSeed;
uniform float hasCustomLayer;   // 1.0 when t1 holds a custom layer
uniform float layerAlpha;
uniform int edgeType;           // 0 Normal, 1 Repeat, 2 Mirror, 3 Clamp
uniform vec2 startPoint;        // frame corner through which the reference line runs
uniform vec4 corner;            // the two frame corners at the extremes across the bands
uniform vec2 viewSize;          // frame size in pixels

out vec4 colourOut;

const float degreesToRadiansFactor = 0.017453292519943;
const vec2 hashWeights = vec2(12.9898, 78.233);
const float hashScale = 43758.5453;
const float offsetSeedShift = 2.0;
const float layerSeedShift = 4.0;
const float smallestBandWidth = 1.0;
const float layerChoiceThreshold = 0.4999;

const int edgeRepeat = 1;
const int edgeMirror = 2;

// Hash in [0, 1).
float nrand(vec2 n)
{
    return fract(hashScale * sin(hashWeights.x * n.x + hashWeights.y * n.y));
}

// Hash in [-limit, limit).
float random(vec2 n, float limit)
{
    return (nrand(n) * 2.0 - 1.0) * limit;
}

// Columns (cos a, -sin a) and (sin a, cos a): times (0, k) gives k * (sin a, cos a).
mat2 rotate(float a)
{
    return mat2(cos(a), -sin(a), sin(a), cos(a));
}

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

// Distance from p to the infinite line through p0 and p1.
float pointToLineLength(vec2 p, vec2 p0, vec2 p1)
{
    vec2 v = p1 - p0;
    vec2 w = p - p0;
    float b = dot(w, v) / dot(v, v);
    vec2 pb = p0 + b * v;
    return length(p - pb);
}

// Index of the band holding distance dist from the reference line. Every band is at least
// smallestBandWidth wide, so the walk takes at most dist + 1 steps; it may run past count where
// the random widths fall short of maxDist. A pixel on a boundary belongs to the band ending there.
float computeSegment(float dist, float maxDist)
{
    float segSize = maxDist / count;
    float index = 0.0;
    float end = max(smallestBandWidth,
                    segSize + random(vec2(index, sizeRandomSeed), sizeRandom) * segSize);
    while (dist > end) {
        index += 1.0;
        end += max(smallestBandWidth,
                   segSize + random(vec2(index, sizeRandomSeed), sizeRandom) * segSize);
    }
    return index;
}

// Where the layers are sampled for texture coordinates p under the edge mode.
vec2 uvMap(vec2 p, int mode)
{
    if (mode == edgeRepeat) {
        return fract(p);
    }
    if (mode == edgeMirror) {
        vec2 f = fract(p);
        return mix(f, 1.0 - f, mod(floor(p), 2.0));
    }
    // Normal and Clamp sample as they are; the sampler's clamp-to-edge wrap does the clamping.
    return p;
}

// 1.0 inside the frame; outside only "Normal" (mode 0) masks the sample away.
float pixelAlpha(vec2 p, int mode)
{
    float inside = step(0.0, p.x) * (1.0 - step(1.0, p.x))
                 * step(0.0, p.y) * (1.0 - step(1.0, p.y));
    return mix(inside, 1.0, sign(float(mode)));
}

void main()
{
    vec2 p = gl_FragCoord.xy;
    float a = angle * degreesToRadiansFactor;
    mat2 r = rotate(a);
    vec2 on = r * vec2(0.0, 1.0);

    float maxDist = pointToLineLength(corner.xy, vec2(0.0), on)
                  + pointToLineLength(corner.zw, vec2(0.0), on);
    float dist = pointToLineLength(p, startPoint, startPoint + on);
    float index = computeSegment(dist, maxDist);

    vec2 offsetSeed = vec2(index, offsetRandomSeed + offsetSeedShift);
    float oneWay = nrand(offsetSeed) * offsetRandom;
    float twoWay = random(offsetSeed, offsetRandom);
    float shift = mix(oneWay, twoWay, bothDirection) * maxDist;

    vec2 texCoords = (p + r * vec2(0.0, shift)) / viewSize;
    vec2 mapUV = uvMap(texCoords, edgeType);
    float mask = pixelAlpha(texCoords, edgeType);

    vec4 colour0 = swapChannel(texture(t0, mapUV)) * mask;
    vec4 colour1 = swapChannel(texture(t1, mapUV)) * mask;
    colour1.a *= layerAlpha;
    colour1 = mix(colour0, blendNormal(colour0, colour1), hasCustomLayer);

    float choice = step(layerChoiceThreshold, nrand(vec2(index, layerRandomSeed + layerSeedShift)));
    vec4 result = mix(colour0, colour1, choice);
    colourOut = vec4(result.rgb * result.a, result.a);
}
