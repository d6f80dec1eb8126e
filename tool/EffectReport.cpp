#include "tool/EffectReport.h"

#include <cstdio>
#include <sstream>

namespace Tessarine::Lamino {

namespace {

const char* const kStages[] = {"development", "alpha", "beta", "release"};

std::string hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

template <class T, class F> std::string orAbsent(const std::optional<T>& value, F format)
{
    return value ? format(*value) : std::string("(not in the property list)");
}

std::string pair(const PiplVersionPair& version)
{
    return std::to_string(version.major) + "." + std::to_string(version.minor);
}

std::string kindText(uint32_t kind)
{
    return fourCharText(kind) + (kind == fourCharCode("eFKT") ? " (an effect)" : "");
}

std::string text(const std::string& value)
{
    return value;
}

// The about text as lines: the host's messages separate lines with carriage returns.
std::string indentLines(const std::string& message)
{
    std::string lines = "  ";
    for (char c : message) {
        lines += (c == '\r' || c == '\n') ? std::string("\n  ") : std::string(1, c);
    }
    return lines + "\n";
}

}  // namespace

std::string EffectReport::version(uint32_t packed)
{
    uint32_t major = ((packed >> 26) & 0xF) << 3 | ((packed >> 19) & 0x7);
    uint32_t minor = (packed >> 15) & 0xF;
    uint32_t fix = (packed >> 11) & 0xF;
    uint32_t stage = (packed >> 9) & 0x3;
    uint32_t build = packed & 0x1FF;
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(fix) + ", "
        + kStages[stage] + " stage, build " + std::to_string(build) + " (" + hex(packed) + ")";
}

std::string EffectReport::info(const std::string& pluginPath, const Pipl& pipl,
                               const RenderingAbilities& rendering, const std::string& aboutText,
                               const std::vector<ControlOption>& controls)
{
    std::ostringstream out;
    out << pipl.name.value_or("(unnamed effect)") << "\n"
        << "  Plug-in file:     " << pluginPath << "\n"
        << "Registration (PiPL resource " << Pipl::kResourceId << "):\n"
        << "  Name:             " << orAbsent(pipl.name, text) << "\n"
        << "  Category:         " << orAbsent(pipl.category, text) << "\n"
        << "  Match name:       " << orAbsent(pipl.matchName, text) << "\n"
        << "  Kind:             " << orAbsent(pipl.kind, kindText) << "\n"
        << "  Version:          " << orAbsent(pipl.effectVersion, version) << "\n"
        << "  Entry point:      " << orAbsent(pipl.entryPoint, text) << " (64-bit Windows)\n"
        << "  Effect API:       " << orAbsent(pipl.specVersion, pair) << "\n"
        << "  PiPL version:     " << orAbsent(pipl.piplVersion, pair) << "\n"
        << "  Out flags:        " << orAbsent(pipl.outFlags, hex)
        << "; out flags 2: " << orAbsent(pipl.outFlags2, hex) << "\n"
        << "Rendering (declared at global setup):\n"
        << "  Depths:           " << rendering.depthsText() << "\n"
        << "  Thread-safe rendering: " << (rendering.threadSafe ? "yes" : "no") << "\n"
        << "About:\n"
        << indentLines(aboutText)
        << "Controls (set with --option VALUE; numeric ones animate with FROM:TO over --frames):\n"
        << EffectReport::controls(controls);
    return out.str();
}

std::string EffectReport::controls(const std::vector<ControlOption>& controls)
{
    std::ostringstream out;
    for (const ControlOption& control : controls) {
        out << "  --" << control.name << " " << control.valueSyntax() << "\n"
            << "      " << control.label << " (" << control.typeText() << ", parameter "
            << control.index << "): " << control.allowedText();
        bool slider = control.kind == ControlKind::Integer || control.kind == ControlKind::Fixed
            || control.kind == ControlKind::Float;
        if (slider
            && (control.sliderMin != control.validMin || control.sliderMax != control.validMax)) {
            char range[64];
            std::snprintf(range, sizeof range, "; the slider shows %g to %g", control.sliderMin,
                          control.sliderMax);
            out << range;
        }
        out << "; default " << control.defaultText() << "\n";
    }
    return out.str();
}

}  // namespace Tessarine::Lamino
