#pragma once

#include <cstdint>
#include <vector>

#include "AE_Effect.h"
#include "effect/SliceParameters.h"

namespace Tessarine::Lamino {

// Host parameter indices of the effect's controls. Index 0 is the layer the effect is applied
// to, which the host supplies; the order of the others fixes their indices in saved projects.
enum ControlIndex : A_long {
    kInputLayer = 0,
    kSlices,
    kAngle,
    kSizeRandom,
    kSizeRandomSeed,
    kOffsetRandom,
    kOffsetRandomSeed,
    kOffsetBothDirection,
    kCustomLayer,
    kLayerOpacity,
    kLayerRandomSeed,
    kEdgeType,
    kEdgeSoftness,
    kMotionBlur,
    kShutterSamples,
    kEvolution,
    kBandPhase,
    kOwnShutterAngle,
    kOwnShutterPhase,
    kControlCount
};

// A time at which the controls are read, as checkout_param takes it: what_time and time_step in
// units of 1 / scale seconds.
struct ParamTime {
    A_long time = 0;
    A_long step = 1;
    A_u_long scale = 1;
};

// The time being rendered.
ParamTime frameTime(const PF_InData* in_data);

// Declares the controls with the host; returns the first failing host code, else PF_Err_NONE.
PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data);

// The controls of one render: at the time being rendered, and with "Motion Blur" on at each of
// the frame's sample times across the shutter (ShutterTimes): the frame's record with every
// control that can animate read again at that time ("Edge Type", "Motion Blur", "Shutter
// Samples" and the own shutter stay the frame's). No samples with motion blur off or a closed
// shutter. The custom layer is not among them (customLayerTexture 0): its pixels come from a
// checkout of their own.
struct FrameControls {
    SliceParameters parameters;
    std::vector<SliceParameters> shutter;
};

// Reads every control but "Custom Layer" for this render. Every value is read for this render
// or the read fails: a failed checkout or checkin throws the host's own code as it is (517 for a
// cancelled render, PF_Err_OUT_OF_MEMORY, ...), and missing callbacks or a parameter of another
// type than declared throw PF_Err_BAD_CALLBACK_PARAM. Needs no GL context, and should run before
// any GL work of the render: a host may render other layers inside a checkout.
FrameControls ReadFrameControls(PF_InData* in_data);

// "Custom Layer" checked out for a classic render: the chosen layer's pixels while the checkout
// is held (null when no layer is chosen or it has no pixels). Checks out when made (throwing as
// ReadFrameControls does); checkIn gives it back and throws the host's error of a failed checkin;
// the destructor gives it back when checkIn did not run (an error unwinding).
class CustomLayerCheckout {
public:
    explicit CustomLayerCheckout(PF_InData* in_data);
    ~CustomLayerCheckout();
    CustomLayerCheckout(const CustomLayerCheckout&) = delete;
    CustomLayerCheckout& operator=(const CustomLayerCheckout&) = delete;

    PF_LayerDef* world();
    void checkIn();

private:
    PF_InData* in_data;
    PF_ParamDef def;
    bool held = false;
};

} // namespace Tessarine::Lamino
