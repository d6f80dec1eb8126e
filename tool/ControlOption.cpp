#include "tool/ControlOption.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Tessarine::Lamino {

namespace {

constexpr double kFixedOne = 65536.0;
// The largest magnitude a 16.16 fixed-point angle holds in whole degrees.
constexpr double kAngleLimit = 32767.0;

std::string lowerCase(std::string text)
{
    for (char& c : text) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// Shortest plain form of a limit or default: 30, -1000, 0.05.
std::string formatNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::vector<std::string> splitChoices(const char* names, int count)
{
    std::vector<std::string> choices;
    if (!names) {
        return choices;
    }
    std::string all(names);
    size_t start = 0;
    while (int(choices.size()) < count) {
        size_t bar = all.find('|', start);
        choices.push_back(
            all.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) {
            break;
        }
        start = bar + 1;
    }
    return choices;
}

ControlKind kindOf(PF_ParamType type)
{
    switch (type) {
    case PF_Param_SLIDER: return ControlKind::Integer;
    case PF_Param_FIX_SLIDER: return ControlKind::Fixed;
    case PF_Param_FLOAT_SLIDER: return ControlKind::Float;
    case PF_Param_ANGLE: return ControlKind::Angle;
    case PF_Param_CHECKBOX: return ControlKind::Checkbox;
    case PF_Param_POPUP: return ControlKind::Popup;
    case PF_Param_LAYER: return ControlKind::Layer;
    default: return ControlKind::Unsupported;
    }
}

}  // namespace

ControlOption::ControlOption(A_long index, const PF_ParamDef& definition)
    : index(index), label(definition.name, strnlen(definition.name, sizeof definition.name)),
      name(optionNameFor(label)), kind(kindOf(definition.param_type)),
      hostType(definition.param_type)
{
    const PF_ParamDefUnion& u = definition.u;
    switch (kind) {
    case ControlKind::Integer:
        validMin = u.sd.valid_min, validMax = u.sd.valid_max;
        sliderMin = u.sd.slider_min, sliderMax = u.sd.slider_max, defaultValue = u.sd.dephault;
        break;
    case ControlKind::Fixed:
        validMin = u.fd.valid_min / kFixedOne, validMax = u.fd.valid_max / kFixedOne;
        sliderMin = u.fd.slider_min / kFixedOne, sliderMax = u.fd.slider_max / kFixedOne;
        defaultValue = u.fd.dephault / kFixedOne;
        percent = (u.fd.display_flags & PF_ValueDisplayFlag_PERCENT) != 0;
        break;
    case ControlKind::Float:
        validMin = u.fs_d.valid_min, validMax = u.fs_d.valid_max;
        sliderMin = u.fs_d.slider_min, sliderMax = u.fs_d.slider_max,
        defaultValue = u.fs_d.dephault;
        percent = (u.fs_d.display_flags & PF_ValueDisplayFlag_PERCENT) != 0;
        break;
    case ControlKind::Angle:
        validMin = u.ad.valid_min / kFixedOne, validMax = u.ad.valid_max / kFixedOne;
        defaultValue = u.ad.dephault / kFixedOne;
        if (validMin == 0.0 && validMax == 0.0) {  // no limits declared: whatever 16.16 holds
            validMin = -kAngleLimit, validMax = kAngleLimit;
        }
        break;
    case ControlKind::Checkbox: defaultValue = u.bd.dephault ? 1.0 : 0.0; break;
    case ControlKind::Popup:
        choices = splitChoices(u.pd.u.namesptr, u.pd.num_choices);
        validMin = 1.0, validMax = double(choices.size()), defaultValue = u.pd.dephault;
        break;
    case ControlKind::Layer:
    case ControlKind::Unsupported: break;
    }
}

std::string ControlOption::optionNameFor(const std::string& label)
{
    std::string option;
    for (char c : label) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            option += char(std::tolower(static_cast<unsigned char>(c)));
        } else if (!option.empty() && option.back() != '-') {
            option += '-';
        }
    }
    while (!option.empty() && option.back() == '-') {
        option.pop_back();
    }
    return option;
}

bool ControlOption::animatable() const
{
    // A popup's choice names may hold a colon; a checkbox animates by switching halfway.
    return kind == ControlKind::Integer || kind == ControlKind::Fixed || kind == ControlKind::Float
        || kind == ControlKind::Angle || kind == ControlKind::Checkbox;
}

void ControlOption::reject(const std::string& text, const std::string& problem) const
{
    throw UsageError("--" + name + " '" + text + "': " + problem + "; allowed: " + allowedText());
}

ControlValue ControlOption::parse(const std::string& text) const
{
    ControlValue value;
    if (kind == ControlKind::Unsupported) {
        reject(text, "this kind of control cannot be set from the command line");
    }
    if (kind == ControlKind::Layer) {
        if (text.empty()) {
            reject(text, "no file named");
        }
        value.file = text;
        return value;
    }
    size_t colon = text.find(':');
    if (colon != std::string::npos && animatable()) {
        value.from = parseSingle(text.substr(0, colon));
        value.to = parseSingle(text.substr(colon + 1));
        value.animated = true;
    } else {
        value.from = value.to = parseSingle(text);
    }
    return value;
}

double ControlOption::parseSingle(const std::string& text) const
{
    std::string lower = lowerCase(text);
    if (kind == ControlKind::Checkbox) {
        if (lower == "on" || lower == "true" || lower == "yes" || lower == "1") return 1.0;
        if (lower == "off" || lower == "false" || lower == "no" || lower == "0") return 0.0;
        reject(text, "not on or off");
    }
    if (kind == ControlKind::Popup) {
        for (size_t i = 0; i < choices.size(); ++i) {
            if (lowerCase(choices[i]) == lower) {
                return double(i + 1);
            }
        }
        reject(text, "no such choice");
    }
    double number = parseNumber(text);
    if (kind == ControlKind::Integer && number != std::floor(number)) {
        reject(text, "not a whole number");
    }
    if (number < validMin || number > validMax) {
        reject(text, "out of range");
    }
    return number;
}

double ControlOption::parseNumber(const std::string& text) const
{
    std::string digits = text;
    if (percent && !digits.empty() && digits.back() == '%') {
        digits.pop_back();
    }
    const char* begin = digits.c_str();
    char* end = nullptr;
    double number = std::strtod(begin, &end);
    bool whole = !digits.empty() && end == begin + digits.size()
        && !std::isspace(static_cast<unsigned char>(digits[0]));
    if (!whole || !std::isfinite(number)) {
        reject(text, "not a number");
    }
    return number;
}

std::string ControlOption::valueSyntax() const
{
    switch (kind) {
    case ControlKind::Integer: return "N";
    case ControlKind::Fixed:
    case ControlKind::Float: return percent ? "PERCENT" : "NUMBER";
    case ControlKind::Angle: return "DEGREES";
    case ControlKind::Checkbox: return "on|off";
    case ControlKind::Popup: {
        std::string syntax;
        for (const std::string& choice : choices) {
            syntax += (syntax.empty() ? "" : "|") + lowerCase(choice);
        }
        return syntax;
    }
    case ControlKind::Layer: return "FILE";
    case ControlKind::Unsupported: break;
    }
    return "-";
}

std::string ControlOption::allowedText() const
{
    std::string range = "from " + formatNumber(validMin) + " to " + formatNumber(validMax);
    switch (kind) {
    case ControlKind::Integer: return "a whole number " + range;
    case ControlKind::Fixed:
    case ControlKind::Float: return (percent ? "a percentage " : "a number ") + range;
    case ControlKind::Angle: return "an angle in degrees " + range;
    case ControlKind::Checkbox: return "on or off";
    case ControlKind::Popup: return "one of " + valueSyntax() + " (any case)";
    case ControlKind::Layer: return "an image file (PNG, JPEG, TIFF or BMP)";
    case ControlKind::Unsupported: break;
    }
    return "nothing (host parameter type " + std::to_string(hostType) + ")";
}

std::string ControlOption::defaultText() const
{
    switch (kind) {
    case ControlKind::Checkbox: return defaultValue != 0.0 ? "on" : "off";
    case ControlKind::Popup: {
        size_t choice = size_t(defaultValue);
        return choice >= 1 && choice <= choices.size() ? lowerCase(choices[choice - 1])
                                                       : formatNumber(defaultValue);
    }
    case ControlKind::Layer: return "none";
    case ControlKind::Unsupported: return "-";
    default: return formatNumber(defaultValue);
    }
}

std::string ControlOption::typeText() const
{
    switch (kind) {
    case ControlKind::Integer: return "slider";
    case ControlKind::Fixed: return "fixed-point slider";
    case ControlKind::Float: return "float slider";
    case ControlKind::Angle: return "angle";
    case ControlKind::Checkbox: return "checkbox";
    case ControlKind::Popup: return "popup";
    case ControlKind::Layer: return "layer";
    case ControlKind::Unsupported: break;
    }
    return "type " + std::to_string(hostType);
}

}  // namespace Tessarine::Lamino
