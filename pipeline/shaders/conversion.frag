#version 330

// Turns the resolved frame, premultiplied R, G, B, A, back into the host's straight A, R, G, B,
// scaled down by the host format's multiplier.

in vec2 uv;

uniform sampler2D videoTexture;
uniform float multiplier16bit;

out vec4 colourOut;

void main()
{
    vec4 c = texture(videoTexture, uv);
    vec4 straight = vec4(0.0);
    if (c.a != 0.0) {
        straight = vec4(c.a, c.r / c.a, c.g / c.a, c.b / c.a);
    }
    colourOut = straight / multiplier16bit;
}
