#pragma once

#include <cstdint>
#include <string>

namespace Tessarine::Lamino {

// What the running process holds, as Windows reports it: top-level windows of the process
// (hidden ones included), GDI and USER objects, kernel handles, and memory. Each figure says
// whether it was measured: some of these calls are stubs under Wine, and a stub's 0 must not be
// shown as a measurement.
struct ProcessResources {
    int64_t windows = 0;
    int64_t gdiObjects = 0, userObjects = 0;
    bool guiObjectsMeasured = false;  // false: GetGuiResources is a stub here
    int64_t kernelHandles = 0;
    bool kernelHandlesMeasured = false;
    bool handlesProbed = false;  // counted by GetHandleInformation, GetProcessHandleCount gave 0
    int64_t privateBytes = 0;  // PrivateUsage, or the page file usage where that is 0 (Wine)
    int64_t workingSet = 0;
    bool memoryMeasured = false;

    // The figures now. Any thread.
    static ProcessResources sample();
    // Why GDI and USER objects are not measured, for the output (empty when they are).
    static std::string guiObjectsNote();
};

}  // namespace Tessarine::Lamino
