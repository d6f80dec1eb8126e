#include "support/ContextWindows.h"

#include <cstring>

namespace Tessarine::Lamino {

namespace {

constexpr char kContextClassPrefix[] = "AEOpenGL_Win_Class";

BOOL CALLBACK countIfContextWindow(HWND window, LPARAM counter)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char name[256] = {};
    GetClassNameA(window, name, sizeof(name));
    if (process == GetCurrentProcessId() &&
        std::strncmp(name, kContextClassPrefix, sizeof(kContextClassPrefix) - 1) == 0)
        ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

} // namespace

int countContextWindows(DWORD threadId)
{
    int count = 0;
    if (threadId != 0)
        EnumThreadWindows(threadId, countIfContextWindow, reinterpret_cast<LPARAM>(&count));
    else
        EnumWindows(countIfContextWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

bool isWindowClassRegistered(const std::string& className)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    return GetClassInfoExA(GetModuleHandleA(nullptr), className.c_str(), &windowClass) != 0;
}

} // namespace Tessarine::Lamino
