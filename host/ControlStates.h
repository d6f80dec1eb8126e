#pragma once

#include "AE_Effect.h"
#include "host/EffectParameters.h"

namespace Tessarine::Lamino {

// Controls that have no effect in the current state are shown disabled: "Shutter Samples" and
// the own shutter do nothing while "Motion Blur" is off. "Motion Blur" is supervised
// (PF_ParamFlag_SUPERVISE), so the host tells the effect when the user changes it and asks it to
// bring the controls' looks up to date; the controls that start disabled are declared so.

// Whether `index` has an effect with "Motion Blur" on or off.
bool controlEnabled(A_long index, bool motionBlur);

// PF_Cmd_UPDATE_PARAMS_UI: shows each control that depends on "Motion Blur" enabled or disabled
// as params[kMotionBlur] says, through PF_UpdateParamUI with a copy of its definition (the host's
// own is never changed). Returns the host's error of a failed update as it is, and
// PF_Err_BAD_CALLBACK_PARAM for a missing parameter, suite or function.
PF_Err UpdateParamsUi(PF_InData* in_data, PF_ParamDef* params[]);

// PF_Cmd_USER_CHANGED_PARAM: a change of "Motion Blur" updates the looks as UpdateParamsUi does;
// other changes need nothing.
PF_Err UserChangedParam(PF_InData* in_data, PF_ParamDef* params[],
                        const PF_UserChangedParamExtra* extra);

} // namespace Tessarine::Lamino
