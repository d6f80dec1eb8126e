#pragma once

#include <string>

namespace Tessarine::Lamino {

// Whether output consists of exactly `count` context description blocks and nothing else.
bool isDescriptionBlocks(const std::string& output, int count);

} // namespace Tessarine::Lamino
