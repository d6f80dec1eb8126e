#include "hosting/HiddenGlWindow.h"

#include <stdexcept>
#include <string>

namespace Tessarine::Lamino {

namespace {

const char kWindowClass[] = "LaminoHiddenGlWindow";

[[noreturn]] void fail(const char* what)
{
    throw std::runtime_error(std::string("no window for an OpenGL context of our own: ") + what);
}

}  // namespace

HiddenGlWindow::HiddenGlWindow()
{
    WNDCLASSA windowClass{};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);  // fails harmlessly once an earlier window registered it
    window = CreateWindowExA(0, kWindowClass, "lamino", 0, 0, 0, 8, 8, nullptr, nullptr,
                             windowClass.hInstance, nullptr);
    if (window == nullptr) {
        fail("the window could not be made");
    }
    dc = GetDC(window);
    PIXELFORMATDESCRIPTOR descriptor{};
    descriptor.nSize = sizeof descriptor;
    descriptor.nVersion = 1;
    descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = 32;
    const int format = dc != nullptr ? ChoosePixelFormat(dc, &descriptor) : 0;
    if (format == 0 || !SetPixelFormat(dc, format, &descriptor)) {
        DestroyWindow(window);
        fail("no OpenGL pixel format");
    }
}

HiddenGlWindow::~HiddenGlWindow()
{
    DestroyWindow(window);
}

}  // namespace Tessarine::Lamino
