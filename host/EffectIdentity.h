#pragma once

// What the host learns about the effect before loading it (the PIPL resource) and again at
// global setup. Kept in one place, readable by both the resource compiler and C++, because the
// two must agree.
#define LAMINO_EFFECT_NAME "Orla Lamino"
#define LAMINO_EFFECT_CATEGORY "Orla"
#define LAMINO_EFFECT_MATCH_NAME "Orla_Lamino"
// Version 1.0, fix level 0, development stage, build 1, in the host's version packing.
#define LAMINO_EFFECT_VERSION 0x00080001L
#define LAMINO_EFFECT_MAJOR 1
#define LAMINO_EFFECT_MINOR 0
// Out flags: PF_OutFlag_I_USE_SHUTTER_ANGLE (motion blur reads the shutter); out flags 2:
// PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG.
#define LAMINO_OUT_FLAGS 0x00080000L
#define LAMINO_OUT_FLAGS2 8L
