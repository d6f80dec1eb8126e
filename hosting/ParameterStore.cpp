#include "hosting/ParameterStore.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace Tessarine::Lamino {

namespace {

bool isKnownType(PF_ParamType type)
{
    return (type >= PF_Param_LAYER && type <= PF_Param_BUTTON) || type == PF_Param_POINT_3D;
}

std::string copyText(const A_char* text)
{
    return text == nullptr ? std::string() : std::string(text);
}

A_long roundToLong(double value)
{
    double rounded = std::round(value);
    rounded = std::clamp(rounded, double(std::numeric_limits<A_long>::min()),
                         double(std::numeric_limits<A_long>::max()));
    return A_long(rounded);
}

}  // namespace

PF_ParamDef ParameterDefinition::paramDef() const
{
    PF_ParamDef copy = def;
    switch (def.param_type) {
    case PF_Param_POPUP: copy.u.pd.u.namesptr = choices.c_str(); break;
    case PF_Param_CHECKBOX: copy.u.bd.u.nameptr = label.c_str(); break;
    case PF_Param_BUTTON: copy.u.button_d.u.namesptr = label.c_str(); break;
    default: break;
    }
    return copy;
}

std::string ParameterDefinition::name() const
{
    return std::string(def.name, strnlen(def.name, sizeof def.name));
}

const char* ParameterDefinition::typeName(PF_ParamType type)
{
    static const char* const names[] = {
        "LAYER", "SLIDER", "FIX_SLIDER", "ANGLE", "CHECKBOX", "COLOR", "POINT", "POPUP",
        "CUSTOM", "NO_DATA", "FLOAT_SLIDER", "ARBITRARY_DATA", "PATH", "GROUP_START",
        "GROUP_END", "BUTTON", "RESERVED2", "RESERVED3", "POINT_3D"};
    if (type < 0 || type >= A_long(sizeof names / sizeof names[0])) {
        return "UNKNOWN";
    }
    return names[type];
}

void ParameterStore::replaceWith(ParameterStore& other)
{
    std::scoped_lock lock(mutex, other.mutex);
    entries = std::move(other.entries);
    other.entries.clear();
}

std::optional<double> ParameterStore::declared(const PF_ParamDef& def, bool dephault)
{
    switch (def.param_type) {
    case PF_Param_SLIDER: return dephault ? def.u.sd.dephault : def.u.sd.value;
    case PF_Param_FIX_SLIDER: return dephault ? def.u.fd.dephault : def.u.fd.value;
    case PF_Param_ANGLE: return dephault ? def.u.ad.dephault : def.u.ad.value;
    case PF_Param_CHECKBOX: return dephault ? def.u.bd.dephault : def.u.bd.value;
    case PF_Param_POPUP: return dephault ? def.u.pd.dephault : def.u.pd.value;
    case PF_Param_FLOAT_SLIDER: return dephault ? double(def.u.fs_d.dephault) : def.u.fs_d.value;
    default: return std::nullopt;
    }
}

void ParameterStore::loadSavedProject(int32_t savedParameters)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    for (size_t i = 0; i < entries.size(); ++i) {
        const PF_ParamDef& def = entries[i].definition.def;
        const bool added = int64_t(i) >= int64_t(savedParameters);
        const bool useValue = (def.flags & PF_ParamFlag_USE_VALUE_FOR_OLD_PROJECTS) != 0;
        entries[i].initial = declared(def, !(added && useValue));
    }
}

void ParameterStore::setUiFlags(int32_t index, PF_ParamUIFlags uiFlags)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    entry(index).definition.def.ui_flags = uiFlags;
}

PF_Err ParameterStore::add(PF_ParamIndex index, const PF_ParamDef* def)
{
    if (def == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    std::lock_guard<SlimSharedMutex> lock(mutex);
    if (index != -1 && index != PF_ParamIndex(entries.size() + 1)) {
        return PF_Err_INVALID_INDEX;
    }
    if (!isKnownType(def->param_type)) {
        return PF_Err_UNRECOGNIZED_PARAM_TYPE;
    }
    Entry added;
    ParameterDefinition& copy = added.definition;
    copy.def = *def;
    copy.def.name[sizeof copy.def.name - 1] = '\0';  // a host keeps at most 31 characters
    switch (def->param_type) {
    case PF_Param_POPUP:
        copy.choices = copyText(def->u.pd.u.namesptr);
        copy.def.u.pd.u.namesptr = nullptr;
        break;
    case PF_Param_CHECKBOX:
        copy.label = copyText(def->u.bd.u.nameptr);
        copy.def.u.bd.u.nameptr = nullptr;
        break;
    case PF_Param_BUTTON:
        copy.label = copyText(def->u.button_d.u.namesptr);
        copy.def.u.button_d.u.namesptr = nullptr;
        break;
    default: break;
    }
    added.initial = declared(copy.def, true);
    entries.push_back(std::move(added));
    return PF_Err_NONE;
}

int32_t ParameterStore::count() const
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    return int32_t(entries.size());
}

std::vector<ParameterDefinition> ParameterStore::definitions() const
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    std::vector<ParameterDefinition> result;
    for (const Entry& each : entries) {
        result.push_back(each.definition);
    }
    return result;
}

ParameterDefinition ParameterStore::definition(int32_t index) const
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    return entry(index).definition;
}

ParameterStore::Entry& ParameterStore::entry(int32_t index)
{
    if (index < 1 || size_t(index) > entries.size()) {
        throw std::out_of_range("parameter " + std::to_string(index) + " is not declared (" +
                                std::to_string(entries.size()) + " are)");
    }
    return entries[size_t(index) - 1];
}

const ParameterStore::Entry& ParameterStore::entry(int32_t index) const
{
    return const_cast<ParameterStore*>(this)->entry(index);
}

double ParameterStore::toStored(const ParameterDefinition& definition, double value)
{
    switch (definition.def.param_type) {
    case PF_Param_SLIDER:
    case PF_Param_POPUP:
    case PF_Param_CHECKBOX:
    case PF_Param_FLOAT_SLIDER:
        return value;
    case PF_Param_FIX_SLIDER:
    case PF_Param_ANGLE:
        return value * 65536.0;
    default:
        throw std::invalid_argument(
            "parameter \"" + definition.name() + "\" is a " +
            ParameterDefinition::typeName(definition.def.param_type) +
            "; values are set for sliders, fixed and float sliders, angles, checkboxes and popups");
    }
}

void ParameterStore::setValue(int32_t index, double value)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    Entry& target = entry(index);
    target.constant = toStored(target.definition, value);
    target.animation.reset();
    target.raw.reset();
}

void ParameterStore::animate(int32_t index, const ParameterAnimation& animation)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    Entry& target = entry(index);
    ParameterAnimation stored = animation;
    stored.from = toStored(target.definition, animation.from);
    stored.to = toStored(target.definition, animation.to);
    target.animation = stored;
    target.constant.reset();
    target.raw.reset();
}

void ParameterStore::setLayer(int32_t index, const PF_EffectWorld* world,
                              const LayerPlacement& placement)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    Entry& target = entry(index);
    if (target.definition.def.param_type != PF_Param_LAYER) {
        throw std::invalid_argument("parameter \"" + target.definition.name() +
                                    "\" is not a layer parameter");
    }
    target.layer = world;
    target.placement = placement;
    target.raw.reset();
}

const PF_EffectWorld* ParameterStore::layerAt(int32_t index) const
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    const Entry& found = entry(index);
    return found.definition.def.param_type == PF_Param_LAYER ? found.layer : nullptr;
}

LayerPlacement ParameterStore::placementAt(int32_t index) const
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    return entry(index).placement;
}

void ParameterStore::setRaw(int32_t index, const PF_ParamDef& def)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    entry(index).raw = def;
}

void ParameterStore::resetValue(int32_t index)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    Entry& target = entry(index);
    target.constant.reset();
    target.animation.reset();
    target.layer = nullptr;
    target.raw.reset();
}

double ParameterStore::interpolate(const ParameterAnimation& animation, double seconds,
                                   bool integral)
{
    if (seconds <= animation.startSeconds || animation.endSeconds <= animation.startSeconds) {
        return seconds < animation.endSeconds ? animation.from : animation.to;
    }
    if (seconds >= animation.endSeconds) {
        return animation.to;
    }
    double t = (seconds - animation.startSeconds) / (animation.endSeconds - animation.startSeconds);
    double value = animation.from + (animation.to - animation.from) * t;
    return integral ? std::round(value) : value;
}

void ParameterStore::writeValue(PF_ParamDef& def, double stored)
{
    switch (def.param_type) {
    case PF_Param_SLIDER: def.u.sd.value = roundToLong(stored); break;
    case PF_Param_FIX_SLIDER: def.u.fd.value = roundToLong(stored); break;
    case PF_Param_ANGLE: def.u.ad.value = roundToLong(stored); break;
    case PF_Param_CHECKBOX: def.u.bd.value = roundToLong(stored); break;
    case PF_Param_POPUP: def.u.pd.value = roundToLong(stored); break;
    case PF_Param_FLOAT_SLIDER: def.u.fs_d.value = stored; break;
    default: break;
    }
}

// A chosen layer is handed out as the layer's world; no layer as an empty world without pixels.
void ParameterStore::writeLayer(PF_ParamDef& def, const PF_EffectWorld* layer)
{
    A_long dephault = def.u.ld.dephault;
    if (layer != nullptr) {
        def.u.ld = *layer;
    } else {
        std::memset(&def.u.ld, 0, sizeof def.u.ld);
        def.u.ld.dephault = dephault;
    }
}

PF_Err ParameterStore::valueAt(int32_t index, A_long whatTime, A_u_long timeScale,
                               PF_ParamDef& out) const
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    if (index < 1 || size_t(index) > entries.size()) {
        return PF_Err_INVALID_INDEX;
    }
    if (timeScale == 0) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const Entry& source = entries[size_t(index) - 1];
    if (source.raw) {
        out = *source.raw;
        return PF_Err_NONE;
    }
    out = source.definition.paramDef();
    bool integral = out.param_type != PF_Param_FLOAT_SLIDER;
    if (out.param_type == PF_Param_LAYER) {
        writeLayer(out, source.layer);
    } else if (source.animation) {
        double seconds = double(whatTime) / double(timeScale);
        writeValue(out, interpolate(*source.animation, seconds, integral));
    } else if (source.constant) {
        writeValue(out, *source.constant);
    } else if (source.initial) {
        writeValue(out, *source.initial);
    }
    return PF_Err_NONE;
}

}  // namespace Tessarine::Lamino
