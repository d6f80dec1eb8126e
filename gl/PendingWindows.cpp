#include "gl/PendingWindows.h"
#include "gl/SlimMutex.h"

#include <mutex>
#include <vector>

namespace Tessarine::Lamino {

namespace {

struct PendingWindow {
    HWND window;
    std::string className;
};

SlimMutex pendingMutex;
std::vector<PendingWindow> pending;

// Whether window still is the window made for className. Window handles can be reused once a
// window is gone, but class names are unique per context, so a matching class name means it is
// still ours.
bool isStillOurs(HWND window, const std::string& className)
{
    if (!IsWindow(window))
        return false;
    char name[256] = {};
    const int length = GetClassNameA(window, name, sizeof(name));
    return length > 0 && className == name;
}

bool isOwnedByCallingThread(HWND window)
{
    return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

void unregisterClass(const std::string& className)
{
    // The class was registered with the process module's instance handle.
    UnregisterClassA(className.c_str(), GetModuleHandleA(nullptr));
}

// Disposes of the window and class when that is possible on the calling thread.
bool tryDispose(HWND window, const std::string& className)
{
    if (isStillOurs(window, className)) {
        if (!isOwnedByCallingThread(window))
            return false;
        DestroyWindow(window);
    }
    unregisterClass(className);
    return true;
}

} // namespace

void PendingWindows::release(HWND window, const std::string& className)
{
    if (tryDispose(window, className))
        return;
    std::lock_guard<SlimMutex> lock(pendingMutex);
    pending.push_back({window, className});
}

void PendingWindows::sweep()
{
    // The Win32 calls run without the lock held, so that no thread ever waits on a window
    // being destroyed elsewhere.
    std::vector<PendingWindow> candidates;
    {
        std::lock_guard<SlimMutex> lock(pendingMutex);
        candidates.swap(pending);
    }
    std::vector<PendingWindow> kept;
    for (PendingWindow& entry : candidates) {
        if (!tryDispose(entry.window, entry.className))
            kept.push_back(std::move(entry));
    }
    std::lock_guard<SlimMutex> lock(pendingMutex);
    pending.insert(pending.end(), kept.begin(), kept.end());
}

size_t PendingWindows::count()
{
    std::lock_guard<SlimMutex> lock(pendingMutex);
    return pending.size();
}

} // namespace Tessarine::Lamino
