#include "support/DescriptionBlock.h"

#include <regex>

namespace Tessarine::Lamino {

bool isDescriptionBlocks(const std::string& output, int count)
{
    static const std::string block = "\n"
                                     "OpenGL Version:  [0-9]+\\.[0-9]+\n"
                                     "OpenGL Vendor:   [^\n]+\n"
                                     "OpenGL Renderer: [^\n]+\n"
                                     "OpenGL Revision: [0-9]+ \\(gl\\.xml\\)\n"
                                     "\n";
    return std::regex_match(output, std::regex("(" + block + "){" + std::to_string(count) + "}"));
}

} // namespace Tessarine::Lamino
