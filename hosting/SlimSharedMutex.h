#pragma once

namespace Tessarine::Lamino {

// A shared mutex on a Windows slim reader/writer lock (SharedLockable, for std::shared_lock and
// std::unique_lock), also the headless side's plain mutex. The thread library's std::shared_mutex
// keeps kernel objects that its destructor never gives back, two handles for every headless host
// made and dropped, and its std::mutex makes an event the first time two threads contend for it
// and never gives that back either (its destructor is empty): the soak would count the host's own
// events, made whenever its locks first meet contention, as the effect's. A slim lock holds none.
// Not recursive. (The lock's one pointer-sized word is kept here as such, so that this header
// needs no Windows header.)
class SlimSharedMutex {
public:
    SlimSharedMutex() = default;
    SlimSharedMutex(const SlimSharedMutex&) = delete;
    SlimSharedMutex& operator=(const SlimSharedMutex&) = delete;

    void lock();
    bool try_lock();
    void unlock();
    void lock_shared();
    bool try_lock_shared();
    void unlock_shared();

private:
    friend class SlimCondition;
    void* word = nullptr;  // an SRWLOCK, SRWLOCK_INIT being all zero
};

}  // namespace Tessarine::Lamino
