#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "AE_Effect.h"

namespace Tessarine::Lamino {

// A mistake on the command line; the message says what was wrong and what is allowed.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a control's value means on the command line.
enum class ControlKind { Integer, Fixed, Float, Angle, Checkbox, Popup, Layer, Unsupported };

// A value given for one control: a number in the control's own units, as the headless host's
// parameter store takes it (a fixed slider's 37.5, an angle's degrees, a popup's choice counted
// from 1, a checkbox's 0 or 1), or two numbers FROM:TO for an animated control, or a file.
struct ControlValue {
    double from = 0.0;
    double to = 0.0;
    bool animated = false;
    std::string file;
};

// One effect control as the command line sees it, derived from the definition the plug-in
// declared at PF_Cmd_PARAMS_SETUP: its option name (the label in lower case with dashes), the
// kind and limits of its value, and its default. Parses and checks option values; no host calls.
class ControlOption {
public:
    ControlOption(A_long index, const PF_ParamDef& definition);

    // "Size Random Seed" -> "size-random-seed".
    static std::string optionNameFor(const std::string& label);

    // The value text of `--<name> TEXT` checked against the control's limits; throws UsageError.
    ControlValue parse(const std::string& text) const;

    bool animatable() const;
    std::string valueSyntax() const;  // "N", "PERCENT", "on|off", "FILE", ...
    std::string allowedText() const;  // "a whole number from 1 to 2000"
    std::string defaultText() const;  // "30", "on", "normal", "none"
    std::string typeText() const;  // "slider", "angle", ...

    A_long index;
    std::string label;
    std::string name;
    ControlKind kind;
    PF_ParamType hostType;
    double validMin = 0.0, validMax = 0.0;
    double sliderMin = 0.0, sliderMax = 0.0;
    double defaultValue = 0.0;
    bool percent = false;
    std::vector<std::string> choices;

private:
    double parseNumber(const std::string& text) const;
    double parseSingle(const std::string& text) const;
    [[noreturn]] void reject(const std::string& text, const std::string& problem) const;
};

}  // namespace Tessarine::Lamino
