#pragma once

#include <windows.h>

#include <string>

namespace Tessarine::Lamino {

// Looks at the hidden windows and window classes that OpenGL contexts leave in the process.

// Top-level windows of the whole process (threadId 0) or of one thread whose class is a
// context's window class.
int countContextWindows(DWORD threadId = 0);

bool isWindowClassRegistered(const std::string& className);

} // namespace Tessarine::Lamino
