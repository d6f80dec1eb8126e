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

// ntdll's NtQueryObject with ObjectTypeInformation: the object's type name first in the answer.
using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
constexpr int kObjectTypeInformation = 2;
struct TypeName {
    USHORT length;
    USHORT maximumLength;
    wchar_t* buffer;
};

QueryObject queryObject()
{
    static const QueryObject query = reinterpret_cast<QueryObject>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    return query;
}

std::string typeOf(HANDLE handle)
{
    const QueryObject query = queryObject();
    alignas(8) unsigned char answer[1024] = {};
    ULONG length = 0;
    if (!query || query(handle, kObjectTypeInformation, answer, sizeof answer, &length) != 0) {
        return "unknown";
    }
    const TypeName& name = *reinterpret_cast<const TypeName*>(answer);
    std::string text;
    for (USHORT i = 0; name.buffer && i < name.length / 2; ++i) {
        text += name.buffer[i] < 128 ? char(name.buffer[i]) : '?';
    }
    return text.empty() ? "unknown" : text;
}

int64_t countOpenHandles(std::map<std::string, int64_t>& byType)
{
    int64_t open = 0;
    uintptr_t last = 0;
    for (uintptr_t value = 4; value <= last + kHandleGap * 4; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++open;
            last = value;
            ++byType[typeOf(reinterpret_cast<HANDLE>(value))];
        }
    }
    return open;
}

// Walks every heap of the process, each locked meanwhile; false when any walk fails.
bool readHeapBytes(int64_t& bytes)
{
    HANDLE heaps[256];
    const DWORD count = GetProcessHeaps(256, heaps);
    if (count == 0 || count > 256) {
        return false;
    }
    bytes = 0;
    for (DWORD h = 0; h < count; ++h) {
        if (!HeapLock(heaps[h])) {
            return false;
        }
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[h], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
                bytes += int64_t(entry.cbData);
            }
        }
        const bool walked = GetLastError() == ERROR_NO_MORE_ITEMS;
        HeapUnlock(heaps[h]);
        if (!walked) {
            return false;
        }
    }
    return true;
}

}  // namespace

ProcessResources ProcessResources::sample()
{
    ProcessResources resources;
    EnumWindows(&countOwnWindow, reinterpret_cast<LPARAM>(&resources.windows));
    resources.guiObjectsMeasured = readGuiObjects(resources);
    // Wine's GetProcessHandleCount succeeds with 0; then they are counted by probing.
    DWORD handles = 0;
    const int64_t probed = countOpenHandles(resources.handlesByType);
    if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles > 0) {
        resources.kernelHandles = handles;
    } else {
        resources.kernelHandles = probed;
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
    resources.heapMeasured = readHeapBytes(resources.heapBytes);
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
