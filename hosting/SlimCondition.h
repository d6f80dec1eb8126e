#pragma once

#include <mutex>

#include "hosting/SlimSharedMutex.h"

namespace Tessarine::Lamino {

// A condition variable on a Windows one, for a SlimSharedMutex held exclusively. The thread
// library's std::condition_variable needs a std::mutex (whose event outlives it), and
// std::condition_variable_any keeps a std::mutex of its own; this one holds no kernel object.
class SlimCondition {
public:
    SlimCondition() = default;
    SlimCondition(const SlimCondition&) = delete;
    SlimCondition& operator=(const SlimCondition&) = delete;

    // Releases the lock, waits for a notification (or a spurious wake) and takes it again.
    void wait(std::unique_lock<SlimSharedMutex>& lock);
    template <class Ready>
    void wait(std::unique_lock<SlimSharedMutex>& lock, Ready ready)
    {
        while (!ready()) {
            wait(lock);
        }
    }
    void notifyAll();

private:
    void* word = nullptr;  // a CONDITION_VARIABLE, CONDITION_VARIABLE_INIT being all zero
};

}  // namespace Tessarine::Lamino
