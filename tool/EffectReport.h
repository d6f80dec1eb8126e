#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tool/ControlOption.h"
#include "hosting/Pipl.h"
#include "tool/RenderingAbilities.h"

namespace Tessarine::Lamino {

// The text of `lamino info` and of the control list in `lamino --help`: the effect's
// registration from its property list, what its global setup declares about rendering (depths,
// threads), its about text and its controls with the option that sets each, the values allowed
// and the default. Plain text, no host calls.
class EffectReport {
public:
    static std::string info(const std::string& pluginPath, const Pipl& pipl,
                            const RenderingAbilities& rendering, const std::string& aboutText,
                            const std::vector<ControlOption>& controls);
    static std::string controls(const std::vector<ControlOption>& controls);

    // A packed effect version: "1.0.0, development stage, build 1 (0x00080001)".
    static std::string version(uint32_t packed);
};

}  // namespace Tessarine::Lamino
