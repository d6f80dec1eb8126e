#pragma once

#include <cstdint>
#include <map>
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
    // The open handles by their object type's name ("Event", "Thread", ...), found by probing
    // every handle value; empty when the type cannot be asked for.
    std::map<std::string, int64_t> handlesByType;
    int64_t privateBytes = 0;  // PrivateUsage, or the page file usage where that is 0 (Wine)
    int64_t workingSet = 0;
    bool memoryMeasured = false;
    // Bytes in the busy blocks of every heap of the process: what the program holds, where the
    // page file usage also holds what heaps keep free (after large frames) and a small leak fills
    // first without growing it.
    int64_t heapBytes = 0;
    bool heapMeasured = false;

    // The figures now. Any thread.
    static ProcessResources sample();
    // Why GDI and USER objects are not measured, for the output (empty when they are).
    static std::string guiObjectsNote();
};

}  // namespace Tessarine::Lamino
