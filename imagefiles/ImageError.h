#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

namespace Tessarine::Lamino {

// A failure to read or write an image file; the message names the file and says in words what
// went wrong: that the file is damaged, that it is valid but of a kind that is not supported,
// or what stopped the writing (a full disk, a missing folder).
class ImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A Windows error code (an HRESULT) as the messages show it beside their words: "0x80070070".
inline std::string hresultText(long code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

}  // namespace Tessarine::Lamino
