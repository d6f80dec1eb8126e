#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace Tessarine::Lamino {

// Disposes of the hidden windows of deleted contexts and of their window classes. Only the
// thread that created a window may destroy it, and a class can only be unregistered once its
// window is gone, but contexts are deleted on whatever thread runs global setdown. A window
// released on its own thread goes at once; one released elsewhere waits on a process-wide,
// mutex-guarded list until its own thread sweeps (every context construction does), or until
// that thread has ended (the system then destroyed the window) and any sweep unregisters its
// class. Nothing here waits for another thread or sends it a message.
class PendingWindows {
public:
    // Destroys window and unregisters className now when possible, otherwise lists them.
    static void release(HWND window, const std::string& className);

    // Disposes of every listed window that the calling thread may destroy and of every class
    // whose window is gone.
    static void sweep();

    // For tests: the number of windows still listed.
    static size_t count();
};

} // namespace Tessarine::Lamino
