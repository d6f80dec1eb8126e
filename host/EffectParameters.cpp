#include "host/EffectParameters.h"

#include <cstring>

#include "AE_EffectCB.h"
#include "host/ShutterTimes.h"
#include "pipeline/LayerUpload.h"
#include "pipeline/PixelFormat.h"

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
};

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
    {kMotionBlur, "Motion Blur", PF_Param_CHECKBOX, 13, 0, 0, 0, 0, 0},
    {kShutterSamples, "Shutter Samples", PF_Param_SLIDER, 14, 2, 64, 2, 64, 8},
    {kEvolution, "Evolution", PF_Param_ANGLE, 15, 0, 0, 0, 0, 0},
    {kBandPhase, "Band Phase", PF_Param_FLOAT_SLIDER, 16, -1000, 1000, -10, 10, 0, 2, false},
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
    fs.value = c.dephault;
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

// Holds one parameter checkout and checks it in when the read ends, also when the custom
// layer's upload throws: the host counts every checkout against its checkin.
class ParamCheckout {
public:
    ParamCheckout(PF_InData* in_data, A_long index, const ParamTime* at = nullptr)
        : in_data(in_data)
    {
        std::memset(&def, 0, sizeof(def));
        if (!in_data || !in_data->inter.checkout_param || !in_data->inter.checkin_param) {
            return;
        }
        const ParamTime time = at ? *at : frameTime(in_data);
        checkedOut = in_data->inter.checkout_param(in_data->effect_ref, index, time.time,
                                                   time.step, time.scale, &def) == PF_Err_NONE;
    }
    ~ParamCheckout()
    {
        if (checkedOut) {
            in_data->inter.checkin_param(in_data->effect_ref, &def);
        }
    }
    ParamCheckout(const ParamCheckout&) = delete;
    ParamCheckout& operator=(const ParamCheckout&) = delete;

    PF_InData* in_data;
    PF_ParamDef def;
    bool checkedOut = false;
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
        def.uu.id = control.id;
        const PF_Err err = in_data->inter.add_param(in_data->effect_ref, -1, &def);
        if (err != PF_Err_NONE) {
            return err;
        }
    }
    return PF_Err_NONE;
}

bool GetIntParam(PF_InData* in_data, A_long index, int32_t& value, const ParamTime* at)
{
    ParamCheckout param(in_data, index, at);
    if (!param.checkedOut) {
        return false;
    }
    switch (param.def.param_type) {
    case PF_Param_SLIDER: value = param.def.u.sd.value; return true;
    case PF_Param_FIX_SLIDER: value = wholePart(param.def.u.fd.value); return true;
    case PF_Param_FLOAT_SLIDER: value = static_cast<int32_t>(param.def.u.fs_d.value); return true;
    default: return false;
    }
}

bool GetPercentParam(PF_InData* in_data, A_long index, double& value, const ParamTime* at)
{
    double stored = 0.0;
    {
        ParamCheckout param(in_data, index, at);
        if (!param.checkedOut) {
            return false;
        }
        switch (param.def.param_type) {
        case PF_Param_SLIDER: stored = param.def.u.sd.value; break;
        case PF_Param_FIX_SLIDER: stored = wholePart(param.def.u.fd.value); break;
        case PF_Param_FLOAT_SLIDER: stored = param.def.u.fs_d.value; break;
        default: return false;
        }
    }
    value = stored / 100.0;
    return true;
}

bool GetFloatParam(PF_InData* in_data, A_long index, double& value, const ParamTime* at)
{
    ParamCheckout param(in_data, index, at);
    if (!param.checkedOut || param.def.param_type != PF_Param_FLOAT_SLIDER) {
        return false;
    }
    value = param.def.u.fs_d.value;
    return true;
}

bool GetAngleParam(PF_InData* in_data, A_long index, double& value, const ParamTime* at)
{
    ParamCheckout param(in_data, index, at);
    if (!param.checkedOut || param.def.param_type != PF_Param_ANGLE) {
        return false;
    }
    value = param.def.u.ad.value * kFixedToDouble;
    return true;
}

bool GetBoolParam(PF_InData* in_data, A_long index, bool& value, const ParamTime* at)
{
    ParamCheckout param(in_data, index, at);
    if (!param.checkedOut || param.def.param_type != PF_Param_CHECKBOX) {
        return false;
    }
    value = param.def.u.bd.value != 0;
    return true;
}

bool GetPopupParam(PF_InData* in_data, A_long index, int32_t& value)
{
    ParamCheckout param(in_data, index);
    if (!param.checkedOut || param.def.param_type != PF_Param_POPUP) {
        return false;
    }
    value = param.def.u.pd.value - 1;
    return true;
}

bool GetLayerParam(PF_InData* in_data, A_long index, const LayerFormat& format,
                   LayerTexture& target, gl::GLuint& texture)
{
    ParamCheckout param(in_data, index);
    if (!param.checkedOut || param.def.param_type != PF_Param_LAYER) {
        return false;
    }
    // No layer chosen, or one without pixels: nothing to lay over the input. A layer is
    // uploaded while it is still checked out.
    texture = param.def.u.ld.data ? uploadLayer(format, &param.def.u.ld, in_data, target) : 0;
    return true;
}

namespace {

// Every control that can change between two times of one frame.
void readAnimated(SliceParameters& record, PF_InData* in_data, const ParamTime* at)
{
    GetIntParam(in_data, kSlices, record.count, at);
    GetAngleParam(in_data, kAngle, record.angle, at);
    GetPercentParam(in_data, kOffsetRandom, record.offsetRandom, at);
    GetIntParam(in_data, kOffsetRandomSeed, record.offsetRandomSeed, at);
    GetBoolParam(in_data, kOffsetBothDirection, record.bothDirection, at);
    GetPercentParam(in_data, kSizeRandom, record.sizeRandom, at);
    GetIntParam(in_data, kSizeRandomSeed, record.sizeRandomSeed, at);
    GetPercentParam(in_data, kLayerOpacity, record.layerAlpha, at);
    GetIntParam(in_data, kLayerRandomSeed, record.layerRandomSeed, at);
    GetFloatParam(in_data, kEdgeSoftness, record.edgeSoftness, at);
    GetAngleParam(in_data, kEvolution, record.evolution, at);
    GetFloatParam(in_data, kBandPhase, record.bandPhase, at);
}

} // namespace

void ReadSliceControls(SliceParameters& record, PF_InData* in_data)
{
    readAnimated(record, in_data, nullptr);
    GetPopupParam(in_data, kEdgeType, record.edgeType);
    GetBoolParam(in_data, kMotionBlur, record.motionBlur);
    GetIntParam(in_data, kShutterSamples, record.shutterSamples);
}

void ReadSliceParameters(SliceParameters& record, PF_InData* in_data, const LayerFormat& format,
                         LayerTexture& customLayer)
{
    ReadSliceControls(record, in_data);
    record.customLayerTexture = 0;
    GetLayerParam(in_data, kCustomLayer, format, customLayer, record.customLayerTexture);
}

std::vector<SliceParameters> ReadShutterSamples(const SliceParameters& frame, PF_InData* in_data)
{
    std::vector<SliceParameters> samples;
    if (!frame.motionBlur || !in_data) {
        return samples;
    }
    for (const ParamTime& time : ShutterTimes(*in_data, frame.shutterSamples)) {
        samples.push_back(frame);
        readAnimated(samples.back(), in_data, &time);
    }
    return samples;
}

} // namespace Tessarine::Lamino
