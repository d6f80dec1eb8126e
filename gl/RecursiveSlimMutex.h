#pragma once

#include <windows.h>

#include <atomic>

namespace Tessarine::Lamino {

// A recursive mutex on a Windows slim reader/writer lock. The thread library's
// std::recursive_mutex makes an event the first time two threads contend for it, and its
// (empty) destructor never gives the event back: the context registry's lock, contended whenever
// render threads build their contexts at once, left one event behind at every unload of the
// plug-in. A slim lock holds no kernel object. The owner may lock again; unlock as often.
class RecursiveSlimMutex {
public:
    RecursiveSlimMutex() = default;
    RecursiveSlimMutex(const RecursiveSlimMutex&) = delete;
    RecursiveSlimMutex& operator=(const RecursiveSlimMutex&) = delete;

    void lock()
    {
        if (ownedByCaller()) {
            ++depth;
            return;
        }
        AcquireSRWLockExclusive(&srw);
        take();
    }

    bool try_lock()
    {
        if (ownedByCaller()) {
            ++depth;
            return true;
        }
        if (!TryAcquireSRWLockExclusive(&srw))
            return false;
        take();
        return true;
    }

    void unlock()
    {
        if (--depth == 0) {
            owner.store(0);
            ReleaseSRWLockExclusive(&srw);
        }
    }

private:
    // Only the owner ever finds its own id here; others may read a stale other value, never
    // theirs.
    bool ownedByCaller() const { return owner.load() == GetCurrentThreadId(); }
    void take()
    {
        owner.store(GetCurrentThreadId());
        depth = 1;
    }

    SRWLOCK srw = SRWLOCK_INIT;
    std::atomic<DWORD> owner{0};
    int depth = 0; // written by the owner only
};

} // namespace Tessarine::Lamino
