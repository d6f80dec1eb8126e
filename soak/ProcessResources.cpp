#include "soak/ProcessResources.h"

#include <windows.h>
#include <psapi.h>

namespace Tessarine::Lamino {

namespace {

BOOL CALLBACK countOwnWindow(HWND window, LPARAM counter)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) {
        ++*reinterpret_cast<int64_t*>(counter);
    }
    return TRUE;
}

// A process with a window and a device context always holds GDI and USER objects, so a 0 means
// the call is not implemented (Wine's GetGuiResources returns 0 with ERROR_CALL_NOT_IMPLEMENTED).
bool readGuiObjects(ProcessResources& resources)
{
    SetLastError(ERROR_SUCCESS);
    DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (gdi == 0 && user == 0) {
        return false;
    }
    resources.gdiObjects = gdi;
    resources.userObjects = user;
    return true;
}

// Kernel handles counted one by one: handle values are multiples of 4 from 4 up, taken lowest
// free first, so probing each until kHandleGap free values follow the last open one finds all.
constexpr uintptr_t kHandleGap = 2048;

int64_t countOpenHandles()
{
    int64_t open = 0;
    uintptr_t last = 0;
    for (uintptr_t value = 4; value <= last + kHandleGap * 4; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++open;
            last = value;
        }
    }
    return open;
}

}  // namespace

ProcessResources ProcessResources::sample()
{
    ProcessResources resources;
    EnumWindows(&countOwnWindow, reinterpret_cast<LPARAM>(&resources.windows));
    resources.guiObjectsMeasured = readGuiObjects(resources);
    // Wine's GetProcessHandleCount succeeds with 0; then they are counted by probing.
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles > 0) {
        resources.kernelHandles = handles;
    } else {
        resources.kernelHandles = countOpenHandles();
        resources.handlesProbed = true;
    }
    resources.kernelHandlesMeasured = resources.kernelHandles > 0;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (K32GetProcessMemoryInfo(GetCurrentProcess(),
                                reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                sizeof counters)) {
        resources.memoryMeasured = true;
        resources.privateBytes =
            int64_t(counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage);
        resources.workingSet = int64_t(counters.WorkingSetSize);
    }
    return resources;
}

std::string ProcessResources::guiObjectsNote()
{
    ProcessResources probe;
    if (readGuiObjects(probe)) {
        return "";
    }
    DWORD why = GetLastError();
    return why == ERROR_CALL_NOT_IMPLEMENTED
               ? "GDI and USER objects are not measured: GetGuiResources is a stub here (it "
                 "returns 0 with ERROR_CALL_NOT_IMPLEMENTED)"
               : "GDI and USER objects are not measured: GetGuiResources returns 0 (error " +
                     std::to_string(why) + ")";
}

}  // namespace Tessarine::Lamino
