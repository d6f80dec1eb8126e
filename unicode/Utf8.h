#pragma once

#include <string>

namespace Tessarine::Lamino {

// UTF-8 to UTF-16 and back, for Windows paths and command lines (the tool's text is UTF-8).
std::wstring utf8ToWide(const std::string& text);
std::string wideToUtf8(const std::wstring& text);

}  // namespace Tessarine::Lamino
