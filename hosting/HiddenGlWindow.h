#pragma once

#include <windows.h>

namespace Tessarine::Lamino {

// A hidden 8 x 8 window of the calling thread whose device context has a 32-bit RGBA OpenGL pixel
// format: the drawable for a GL context of the headless host's or the tool's own (not the
// plug-in's). The window's class gives it a device context of its own, which goes with the window,
// so nothing is released on another thread. Throws std::runtime_error naming the failed step.
class HiddenGlWindow {
public:
    HiddenGlWindow();
    ~HiddenGlWindow();
    HiddenGlWindow(const HiddenGlWindow&) = delete;
    HiddenGlWindow& operator=(const HiddenGlWindow&) = delete;

    HDC deviceContext() const { return dc; }

private:
    HWND window = nullptr;
    HDC dc = nullptr;
};

}  // namespace Tessarine::Lamino
