#include "hosting/SlimSharedMutex.h"

#include <windows.h>

namespace Tessarine::Lamino {

static_assert(sizeof(SRWLOCK) == sizeof(void*), "an SRWLOCK is one pointer-sized word");

namespace {

SRWLOCK* srw(void** word)
{
    return reinterpret_cast<SRWLOCK*>(word);
}

}  // namespace

void SlimSharedMutex::lock() { AcquireSRWLockExclusive(srw(&word)); }
bool SlimSharedMutex::try_lock() { return TryAcquireSRWLockExclusive(srw(&word)) != 0; }
void SlimSharedMutex::unlock() { ReleaseSRWLockExclusive(srw(&word)); }
void SlimSharedMutex::lock_shared() { AcquireSRWLockShared(srw(&word)); }
bool SlimSharedMutex::try_lock_shared() { return TryAcquireSRWLockShared(srw(&word)) != 0; }
void SlimSharedMutex::unlock_shared() { ReleaseSRWLockShared(srw(&word)); }

}  // namespace Tessarine::Lamino
