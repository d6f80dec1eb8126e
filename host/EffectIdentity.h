#pragma once

// What the host learns about the effect before loading it (the PIPL resource) and again at
// global setup. Kept in one place, readable by both the resource compiler and C++, because the
// two must agree.
#define LAMINO_EFFECT_NAME "Orla Lamino"
#define LAMINO_EFFECT_CATEGORY "Orla"
#define LAMINO_EFFECT_MATCH_NAME "Orla_Lamino"
// Version 1.2, fix level 0, development stage, build 1, in the host's version packing. 1.2
// filters and composites in premultiplied colour, lays the bands over the layer's rect and
// reads the host's shutter in its own units, so the host's cached frames of 1.1 must not be
// reused.
#define LAMINO_EFFECT_VERSION 0x00090001L
#define LAMINO_EFFECT_MAJOR 1
#define LAMINO_EFFECT_MINOR 2
// The effect API version the effect is written to (13.28, After Effects 23.4). Hosts from 2022 on
// render an effect on several threads at once only when it declares 13.25 or later; below that
// they take its renders one at a time, whatever its threaded-rendering flag says.
#define LAMINO_EFFECT_SPEC_MAJOR 13
#define LAMINO_EFFECT_SPEC_MINOR 28
// Out flags: PF_OutFlag_I_USE_SHUTTER_ANGLE (motion blur reads the shutter) and
// PF_OutFlag_DEEP_COLOR_AWARE (16-bit worlds). Out flags 2:
// PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG, PF_OutFlag2_SUPPORTS_SMART_RENDER,
// PF_OutFlag2_FLOAT_COLOR_AWARE (32-bit float worlds, smart render only) and
// PF_OutFlag2_SUPPORTS_THREADED_RENDERING (every render thread in a context of its own).
#define LAMINO_OUT_FLAGS 0x02080000L
#define LAMINO_OUT_FLAGS2 0x08001408L
