#include "gl/PerContextBase.h"
#include "gl/SlimMutex.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace Tessarine::Lamino {

namespace {

struct LiveList {
    SlimMutex mutex;
    std::vector<PerContextBase*> members;
};

// Made on first use, so that it exists before (and outlives) every PerContext that is a static
// object itself.
LiveList& liveList()
{
    static LiveList list;
    return list;
}

} // namespace

PerContextBase::PerContextBase()
{
    LiveList& list = liveList();
    std::lock_guard<SlimMutex> lock(list.mutex);
    list.members.push_back(this);
}

PerContextBase::~PerContextBase()
{
    leaveList();
}

void PerContextBase::leaveList()
{
    LiveList& list = liveList();
    std::lock_guard<SlimMutex> lock(list.mutex);
    list.members.erase(std::remove(list.members.begin(), list.members.end(), this),
                       list.members.end());
}

void PerContextBase::forgetContextEverywhere(HGLRC context)
{
    LiveList& list = liveList();
    std::lock_guard<SlimMutex> lock(list.mutex);
    for (PerContextBase* member : list.members)
        member->forget(context);
}

} // namespace Tessarine::Lamino
