#pragma once

#include "AE_Effect.h"
#include "hosting/SlimSharedMutex.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Tessarine::Lamino {

// One parameter as the effect declared it through add_param: a copy of its definition, with the
// texts its definition points to (popup choices, checkbox or button label) copied as well, so
// that the record stays valid after the plug-in's memory is gone.
struct ParameterDefinition {
    PF_ParamDef def{};      // pointers in def.u are null here; see paramDef()
    std::string choices;    // popup: the choice names separated by '|'
    std::string label;      // checkbox or button: the text beside or on it

    // The definition with its text pointers aimed at the copies above (valid while this lives).
    PF_ParamDef paramDef() const;
    std::string name() const;
    static const char* typeName(PF_ParamType type);
};

// Where a layer parameter's world lies in its layer, as a smart render's checkout hands it: its
// first pixel at (originX, originY) of the layer's rect, which is referenceWidth x
// referenceHeight full-resolution pixels. A reference size of 0 means the world is the whole
// layer (its own size).
struct LayerPlacement {
    int32_t originX = 0;
    int32_t originY = 0;
    int32_t referenceWidth = 0;
    int32_t referenceHeight = 0;
};

// A linear change of a value between two times, as a host interpolates between two keyframes:
// `from` until startSeconds, `to` from endSeconds on, a straight line between.
struct ParameterAnimation {
    double from = 0.0;
    double to = 0.0;
    double startSeconds = 0.0;
    double endSeconds = 0.0;
};

// The effect's declared parameters (indices 1 and up; index 0, the input layer, is the host's)
// and the values the host hands out for them at checkout. Until a value is set, a parameter has
// its declared default (dephault), as a newly applied effect does; in a project saved before the
// parameter existed (loadSavedProject) it has its declared value instead when it carries
// PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS, and its default otherwise. Values are given in the control's own units: a slider's integer, a fixed
// slider's number (37.5), a float slider's number, an angle in degrees, a checkbox's 0 or 1, a
// popup's choice (counted from 1). They are stored as the host stores them: integers for sliders,
// popups and checkboxes, 16.16 fixed point for fixed sliders and angles, a double for float
// sliders; an animation interpolates that stored number and rounds it back for all but float
// sliders. Values are not clamped to the declared ranges, so that tests can hand out any value.
// Thread-safe: every member locks.
class ParameterStore {
public:
    // Takes over the declarations of `other` (emptied), replacing its own in one step, so that
    // commands running meanwhile see either the old declarations or the new ones.
    void replaceWith(ParameterStore& other);

    // A project saved with the first `savedParameters` parameters: every later one starts as
    // such a project gives it (see the class comment), the saved ones at their defaults until
    // values are set. Values set before are kept.
    void loadSavedProject(int32_t savedParameters);

    // PF_UpdateParamUI: the parameter's ui_flags from now on. Throws std::out_of_range for an
    // undeclared index.
    void setUiFlags(int32_t index, PF_ParamUIFlags uiFlags);

    // add_param: index -1 (or the next index) appends a copy of def. Returns PF_Err_NONE, or
    // PF_Err_INVALID_INDEX / PF_Err_UNRECOGNIZED_PARAM_TYPE / PF_Err_BAD_CALLBACK_PARAM.
    PF_Err add(PF_ParamIndex index, const PF_ParamDef* def);

    int32_t count() const;  // declared parameters, without the input layer
    std::vector<ParameterDefinition> definitions() const;
    ParameterDefinition definition(int32_t index) const;  // throws std::out_of_range

    // Setters; each throws std::out_of_range for an undeclared index and std::invalid_argument
    // for a parameter type that the setter does not serve.
    void setValue(int32_t index, double value);
    void animate(int32_t index, const ParameterAnimation& animation);
    void setLayer(int32_t index, const PF_EffectWorld* world,  // null: no layer chosen
                  const LayerPlacement& placement = {});
    void setRaw(int32_t index, const PF_ParamDef& def);         // handed out unchanged
    void resetValue(int32_t index);                             // back to the declared value

    // What checkout_param hands out for `index` at what_time / time_scale seconds: the declared
    // definition carrying the value at that time. PF_Err_INVALID_INDEX for an undeclared index,
    // PF_Err_BAD_CALLBACK_PARAM for a time scale of 0.
    PF_Err valueAt(int32_t index, A_long whatTime, A_u_long timeScale, PF_ParamDef& out) const;

    // The layer chosen for layer parameter `index` (null: none, or not a layer parameter);
    // throws std::out_of_range for an undeclared index.
    const PF_EffectWorld* layerAt(int32_t index) const;
    LayerPlacement placementAt(int32_t index) const;

    // The stored number of an animation at `seconds` (see the class comment).
    static double interpolate(const ParameterAnimation& animation, double seconds, bool integral);

private:
    struct Entry {
        ParameterDefinition definition;
        std::optional<double> initial;            // stored units; the value until one is set
        std::optional<double> constant;           // stored units
        std::optional<ParameterAnimation> animation;  // stored units
        const PF_EffectWorld* layer = nullptr;
        LayerPlacement placement;
        std::optional<PF_ParamDef> raw;
    };

    Entry& entry(int32_t index);
    const Entry& entry(int32_t index) const;
    static double toStored(const ParameterDefinition& definition, double value);
    // The declared default, or the declared value, in stored units (none for other types).
    static std::optional<double> declared(const PF_ParamDef& def, bool dephault);
    static void writeValue(PF_ParamDef& def, double stored);
    static void writeLayer(PF_ParamDef& def, const PF_EffectWorld* layer);

    mutable SlimSharedMutex mutex;
    std::vector<Entry> entries;  // entries[i] is parameter i + 1
};

}  // namespace Tessarine::Lamino
