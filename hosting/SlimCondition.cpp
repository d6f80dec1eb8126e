#include "hosting/SlimCondition.h"

#include <windows.h>

namespace Tessarine::Lamino {

static_assert(sizeof(CONDITION_VARIABLE) == sizeof(void*),
              "a CONDITION_VARIABLE is one pointer-sized word");

void SlimCondition::wait(std::unique_lock<SlimSharedMutex>& lock)
{
    SleepConditionVariableSRW(reinterpret_cast<CONDITION_VARIABLE*>(&word),
                              reinterpret_cast<SRWLOCK*>(&lock.mutex()->word), INFINITE, 0);
}

void SlimCondition::notifyAll()
{
    WakeAllConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&word));
}

}  // namespace Tessarine::Lamino
