#include "host/ControlStates.h"

#include "AE_EffectCBSuites.h"
#include "host/SuiteScope.h"

namespace Tessarine::Lamino {

namespace {

// The controls that only a motion-blurred frame uses.
constexpr A_long kMotionBlurControls[] = {kShutterSamples, kOwnShutterAngle, kOwnShutterPhase};

} // namespace

bool controlEnabled(A_long index, bool motionBlur)
{
    for (A_long dependent : kMotionBlurControls) {
        if (index == dependent) {
            return motionBlur;
        }
    }
    return true;
}

PF_Err UpdateParamsUi(PF_InData* in_data, PF_ParamDef* params[])
{
    if (!in_data || !params || !params[kMotionBlur] ||
        params[kMotionBlur]->param_type != PF_Param_CHECKBOX) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const bool motionBlur = params[kMotionBlur]->u.bd.value != 0;
    SuiteScope scope(in_data->pica_basicP, kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);
    const PF_ParamUtilsSuite3* suite = scope.get<PF_ParamUtilsSuite3>();
    if (!suite->PF_UpdateParamUI) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    for (A_long index : kMotionBlurControls) {
        if (!params[index]) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        PF_ParamDef copy = *params[index];
        if (controlEnabled(index, motionBlur)) {
            copy.ui_flags &= ~PF_PUI_DISABLED;
        } else {
            copy.ui_flags |= PF_PUI_DISABLED;
        }
        const PF_Err err = suite->PF_UpdateParamUI(in_data->effect_ref, index, &copy);
        if (err != PF_Err_NONE) {
            return err;
        }
    }
    return PF_Err_NONE;
}

PF_Err UserChangedParam(PF_InData* in_data, PF_ParamDef* params[],
                        const PF_UserChangedParamExtra* extra)
{
    if (!extra) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    return extra->param_index == kMotionBlur ? UpdateParamsUi(in_data, params) : PF_Err_NONE;
}

} // namespace Tessarine::Lamino
