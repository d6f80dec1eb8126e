#pragma once

#include <cstdint>

namespace Tessarine::Lamino {

// Raised by value when a hidden window, its pixel format or an OpenGL context cannot be made.
// Carries a plain error code (1 wherever the plug-in raises it); deliberately no base class, so
// that handlers that catch host error codes (integers) do not swallow it by accident.
class AESDK_OpenGL_Fault {
public:
    explicit AESDK_OpenGL_Fault(int32_t code) : code(code) {}

    int32_t code;
};

} // namespace Tessarine::Lamino
