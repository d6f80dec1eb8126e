#include "host/EffectParameters.h"

#include <cstring>
#include <optional>

#include "AE_EffectCB.h"
#include "host/ControlStates.h"
#include "host/ShutterTimes.h"

namespace Tessarine::Lamino {

namespace {

constexpr PF_Fixed kFixedOne = 1 << 16;
constexpr double kFixedToDouble = 1.0 / 65536.0;
const char kNoCheckboxText[] = "";
const char kEdgeTypeChoices[] = "Normal|Repeat|Mirror|Clamp";
constexpr A_short kEdgeTypeChoiceCount = 4;

// One row per control: everything its declaration needs. Slider limits are in the control's own
// units; fixed sliders are scaled to 16.16 when declared.
struct ControlDefinition {
    ControlIndex index;
    const char* label;
    PF_ParamType type;
    A_long id;
    A_long validMin, validMax, sliderMin, sliderMax, dephault;
    A_short precision = 0;  // float sliders: decimals shown
    bool percent = true;    // float sliders: shown as a percentage
    // Controls added after projects were saved without them: the value such a project gets
    // (PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS), where it differs from the default a new
    // instance gets.
    std::optional<A_long> oldProjects = std::nullopt;
};

constexpr bool kMotionBlurByDefault = false;

// Projects saved before the own shutter existed blur only with the layer's shutter, as they did.
constexpr A_long kNoOwnShutter = 0;

// The ids of the last three do not follow the indices: saved projects know them by these ids.
constexpr ControlDefinition kControls[] = {
    {kSlices, "Slices", PF_Param_SLIDER, 1, 1, 2000, 1, 100, 30},
    {kAngle, "Angle", PF_Param_ANGLE, 2, 0, 0, 0, 0, 0},
    {kSizeRandom, "Size Random", PF_Param_FIX_SLIDER, 3, 0, 100, 0, 100, 0},
    {kSizeRandomSeed, "Size Random Seed", PF_Param_SLIDER, 4, 0, 10000, 0, 100, 0},
    {kOffsetRandom, "Offset Random", PF_Param_FLOAT_SLIDER, 5, -1000, 1000, 0, 100, 0},
    {kOffsetRandomSeed, "Offset Random Seed", PF_Param_SLIDER, 6, 0, 10000, 0, 100, 0},
    {kOffsetBothDirection, "Offset Both Direction", PF_Param_CHECKBOX, 7, 0, 0, 0, 0, 1},
    {kCustomLayer, "Custom Layer", PF_Param_LAYER, 8, 0, 0, 0, 0, PF_LayerDefault_NONE},
    {kLayerOpacity, "Layer Opacity", PF_Param_FIX_SLIDER, 11, 0, 100, 0, 100, 100},
    {kLayerRandomSeed, "Layer Random Seed", PF_Param_SLIDER, 9, 0, 10000, 0, 100, 0},
    {kEdgeType, "Edge Type", PF_Param_POPUP, 10, 0, 0, 0, 0, 1},
    {kEdgeSoftness, "Edge Softness", PF_Param_FLOAT_SLIDER, 12, 0, 100, 0, 100, 0, 1, false},
    {kMotionBlur, "Motion Blur", PF_Param_CHECKBOX, 13, 0, 0, 0, 0, kMotionBlurByDefault},
    {kShutterSamples, "Shutter Samples", PF_Param_SLIDER, 14, 2, 64, 2, 64, 8},
    {kEvolution, "Evolution", PF_Param_ANGLE, 15, 0, 0, 0, 0, 0},
    {kBandPhase, "Band Phase", PF_Param_FLOAT_SLIDER, 16, -1000, 1000, -10, 10, 0, 2, false},
    {kOwnShutterAngle, "Own Shutter Angle", PF_Param_FLOAT_SLIDER, 17, 0, 720, 0, 360, 180, 0,
     false, kNoOwnShutter},
    {kOwnShutterPhase, "Own Shutter Phase", PF_Param_FLOAT_SLIDER, 18, -360, 360, -180, 180, -90,
     0, false},
};
static_assert(sizeof(kControls) / sizeof(kControls[0]) == kControlCount - 1);

void describeSlider(const ControlDefinition& c, PF_SliderDef& sd)
{
    sd.value = c.dephault;
    sd.valid_min = c.validMin;
    sd.valid_max = c.validMax;
    sd.slider_min = c.sliderMin;
    sd.slider_max = c.sliderMax;
    sd.dephault = c.dephault;
}

void describeFixedSlider(const ControlDefinition& c, PF_FixedSliderDef& fd)
{
    fd.value = c.dephault * kFixedOne;
    fd.valid_min = c.validMin * kFixedOne;
    fd.valid_max = c.validMax * kFixedOne;
    fd.slider_min = c.sliderMin * kFixedOne;
    fd.slider_max = c.sliderMax * kFixedOne;
    fd.dephault = c.dephault * kFixedOne;
    fd.precision = 1;
    fd.display_flags |= PF_ValueDisplayFlag_PERCENT;
}

void describeFloatSlider(const ControlDefinition& c, PF_FloatSliderDef& fs)
{
    fs.value = c.oldProjects.value_or(c.dephault);
    fs.valid_min = static_cast<float>(c.validMin);
    fs.valid_max = static_cast<float>(c.validMax);
    fs.slider_min = static_cast<float>(c.sliderMin);
    fs.slider_max = static_cast<float>(c.sliderMax);
    fs.dephault = static_cast<float>(c.dephault);
    fs.precision = c.precision;
    fs.display_flags = c.percent ? PF_ValueDisplayFlag_PERCENT : PF_ValueDisplayFlag_NONE;
    fs.curve_tolerance = 0.05f;
    fs.fs_flags = 0;
}

void describe(const ControlDefinition& c, PF_ParamDef& def)
{
    switch (c.type) {
    case PF_Param_SLIDER: describeSlider(c, def.u.sd); break;
    case PF_Param_FIX_SLIDER: describeFixedSlider(c, def.u.fd); break;
    case PF_Param_FLOAT_SLIDER: describeFloatSlider(c, def.u.fs_d); break;
    case PF_Param_ANGLE:
        def.u.ad.value = def.u.ad.dephault = c.dephault * kFixedOne;
        def.u.ad.valid_min = def.u.ad.valid_max = 0;
        break;
    case PF_Param_CHECKBOX:
        def.u.bd.value = c.dephault;
        def.u.bd.dephault = static_cast<PF_Boolean>(c.dephault);
        def.u.bd.u.nameptr = kNoCheckboxText;
        break;
    case PF_Param_LAYER: def.u.ld.dephault = c.dephault; break;
    case PF_Param_POPUP:
        def.u.pd.value = c.dephault;
        def.u.pd.num_choices = kEdgeTypeChoiceCount;
        def.u.pd.dephault = static_cast<A_short>(c.dephault);
        def.u.pd.u.namesptr = kEdgeTypeChoices;
        break;
    default: break;
    }
}

// Holds one parameter checkout and checks it in when it goes, also while an error unwinds. A
// checkout that fails throws the host's code as it is; so does checkIn, for a failed checkin.
class ParamCheckout {
public:
    ParamCheckout(PF_InData* in_data, A_long index, const ParamTime* at = nullptr)
        : in_data(in_data)
    {
        std::memset(&def, 0, sizeof(def));
        if (!in_data || !in_data->inter.checkout_param || !in_data->inter.checkin_param) {
            throw int(PF_Err_BAD_CALLBACK_PARAM);
        }
        const ParamTime time = at ? *at : frameTime(in_data);
        const PF_Err err = in_data->inter.checkout_param(in_data->effect_ref, index, time.time,
                                                         time.step, time.scale, &def);
        if (err != PF_Err_NONE) {
            throw int(err);
        }
        held = true;
    }
    ~ParamCheckout()
    {
        if (held) {
            in_data->inter.checkin_param(in_data->effect_ref, &def);
        }
    }
    ParamCheckout(const ParamCheckout&) = delete;
    ParamCheckout& operator=(const ParamCheckout&) = delete;

    // The checked-out definition, which must be of the type the control was declared with: a
    // host handing out another gives no value this render could use.
    PF_ParamDef& of(PF_ParamType type)
    {
        if (def.param_type != type) {
            throw int(PF_Err_BAD_CALLBACK_PARAM);
        }
        return def;
    }

    void checkIn()
    {
        held = false;
        const PF_Err err = in_data->inter.checkin_param(in_data->effect_ref, &def);
        if (err != PF_Err_NONE) {
            throw int(err);
        }
    }

    PF_InData* in_data;
    PF_ParamDef def;
    bool held = false;
};

A_long wholePart(PF_Fixed value)
{
    return value >> 16; // arithmetic shift: the floor, as the host's fixed-point values intend
}

} // namespace

ParamTime frameTime(const PF_InData* in_data)
{
    return {in_data->current_time, in_data->time_step, in_data->time_scale};
}

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data)
{
    if (!in_data || !out_data || !in_data->utils || !in_data->utils->ansi.strcpy ||
        !in_data->inter.add_param) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    out_data->num_params = kControlCount;
    for (const ControlDefinition& control : kControls) {
        PF_ParamDef def;
        std::memset(&def, 0, sizeof(def));
        def.param_type = control.type;
        in_data->utils->ansi.strcpy(def.name, control.label);
        describe(control, def);
        if (control.oldProjects) {
            def.flags |= PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS;
        }
        if (control.index == kMotionBlur) {
            def.flags |= PF_ParamFlag_SUPERVISE; // the controls it governs follow it
        }
        if (!controlEnabled(control.index, kMotionBlurByDefault)) {
            def.ui_flags |= PF_PUI_DISABLED;
        }
        def.uu.id = control.id;
        const PF_Err err = in_data->inter.add_param(in_data->effect_ref, -1, &def);
        if (err != PF_Err_NONE) {
            return err;
        }
    }
    return PF_Err_NONE;
}

namespace {

// Checks one parameter out at `at` (the time being rendered without it), takes its value from the
// definition of the declared type with `take`, and checks it in.
template <class Take>
auto readParam(PF_InData* in_data, A_long index, const ParamTime* at, PF_ParamType type,
               Take take)
{
    ParamCheckout param(in_data, index, at);
    const auto value = take(param.of(type).u);
    param.checkIn();
    return value;
}

int32_t readInt(PF_InData* in_data, A_long index, const ParamTime* at)
{
    return readParam(in_data, index, at, PF_Param_SLIDER,
                     [](const PF_ParamDefUnion& u) { return int32_t(u.sd.value); });
}

// A fixed slider of whole percents, as a fraction (its fraction of a percent is dropped).
double readPercent(PF_InData* in_data, A_long index, const ParamTime* at)
{
    return readParam(in_data, index, at, PF_Param_FIX_SLIDER,
                     [](const PF_ParamDefUnion& u) { return wholePart(u.fd.value) / 100.0; });
}

double readFloat(PF_InData* in_data, A_long index, const ParamTime* at)
{
    return readParam(in_data, index, at, PF_Param_FLOAT_SLIDER,
                     [](const PF_ParamDefUnion& u) { return double(u.fs_d.value); });
}

double readAngle(PF_InData* in_data, A_long index, const ParamTime* at)
{
    return readParam(in_data, index, at, PF_Param_ANGLE,
                     [](const PF_ParamDefUnion& u) { return u.ad.value * kFixedToDouble; });
}

bool readBool(PF_InData* in_data, A_long index, const ParamTime* at)
{
    return readParam(in_data, index, at, PF_Param_CHECKBOX,
                     [](const PF_ParamDefUnion& u) { return u.bd.value != 0; });
}

int32_t readPopup(PF_InData* in_data, A_long index)
{
    return readParam(in_data, index, nullptr, PF_Param_POPUP,
                     [](const PF_ParamDefUnion& u) { return int32_t(u.pd.value - 1); });
}

// Every control that can change between two times of one frame.
void readAnimated(SliceParameters& record, PF_InData* in_data, const ParamTime* at)
{
    record.count = readInt(in_data, kSlices, at);
    record.angle = readAngle(in_data, kAngle, at);
    record.offsetRandom = readFloat(in_data, kOffsetRandom, at) / 100.0;
    record.offsetRandomSeed = readInt(in_data, kOffsetRandomSeed, at);
    record.bothDirection = readBool(in_data, kOffsetBothDirection, at);
    record.sizeRandom = readPercent(in_data, kSizeRandom, at);
    record.sizeRandomSeed = readInt(in_data, kSizeRandomSeed, at);
    record.layerAlpha = readPercent(in_data, kLayerOpacity, at);
    record.layerRandomSeed = readInt(in_data, kLayerRandomSeed, at);
    record.edgeSoftness = readFloat(in_data, kEdgeSoftness, at);
    record.evolution = readAngle(in_data, kEvolution, at);
    record.bandPhase = readFloat(in_data, kBandPhase, at);
}

SliceParameters readFrame(PF_InData* in_data)
{
    SliceParameters record;
    readAnimated(record, in_data, nullptr);
    record.edgeType = readPopup(in_data, kEdgeType);
    record.motionBlur = readBool(in_data, kMotionBlur, nullptr);
    record.shutterSamples = readInt(in_data, kShutterSamples, nullptr);
    record.ownShutterAngle = readFloat(in_data, kOwnShutterAngle, nullptr);
    record.ownShutterPhase = readFloat(in_data, kOwnShutterPhase, nullptr);
    record.customLayerTexture = 0;
    return record;
}

std::vector<SliceParameters> readShutterSamples(const SliceParameters& frame, PF_InData* in_data)
{
    std::vector<SliceParameters> samples;
    const Shutter shutter = frameShutter(*in_data, frame);
    if (!frame.motionBlur || shutter.angle == 0.0) {
        return samples;
    }
    for (const ParamTime& time : ShutterTimes(*in_data, shutter, frame.shutterSamples)) {
        samples.push_back(frame);
        readAnimated(samples.back(), in_data, &time);
    }
    return samples;
}

} // namespace

FrameControls ReadFrameControls(PF_InData* in_data)
{
    if (!in_data) {
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
    FrameControls controls;
    controls.parameters = readFrame(in_data);
    controls.shutter = readShutterSamples(controls.parameters, in_data);
    return controls;
}

CustomLayerCheckout::CustomLayerCheckout(PF_InData* in_data) : in_data(in_data)
{
    std::memset(&def, 0, sizeof(def));
    if (!in_data || !in_data->inter.checkout_param || !in_data->inter.checkin_param) {
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
    const ParamTime time = frameTime(in_data);
    const PF_Err err = in_data->inter.checkout_param(in_data->effect_ref, kCustomLayer, time.time,
                                                     time.step, time.scale, &def);
    if (err != PF_Err_NONE) {
        throw int(err);
    }
    if (def.param_type != PF_Param_LAYER) {
        in_data->inter.checkin_param(in_data->effect_ref, &def);
        throw int(PF_Err_BAD_CALLBACK_PARAM);
    }
    held = true;
}

CustomLayerCheckout::~CustomLayerCheckout()
{
    if (held) {
        in_data->inter.checkin_param(in_data->effect_ref, &def);
    }
}

PF_LayerDef* CustomLayerCheckout::world()
{
    // No layer chosen, or one without pixels: nothing to lay over the input.
    return def.u.ld.data && def.u.ld.width > 0 && def.u.ld.height > 0 ? &def.u.ld : nullptr;
}

void CustomLayerCheckout::checkIn()
{
    held = false;
    const PF_Err err = in_data->inter.checkin_param(in_data->effect_ref, &def);
    if (err != PF_Err_NONE) {
        throw int(err);
    }
}

} // namespace Tessarine::Lamino
