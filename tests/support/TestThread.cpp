#include "support/TestThread.h"

#include <windows.h>

namespace Tessarine::Lamino {

TestThread::TestThread() : thread([this] { loop(); })
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return windowsId != 0; });
}

TestThread::~TestThread()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    changed.notify_all();
    thread.join();
}

void TestThread::run(const std::function<void()>& job)
{
    std::unique_lock<std::mutex> lock(mutex);
    pending = job;
    busy = true;
    failure = nullptr;
    changed.notify_all();
    changed.wait(lock, [this] { return !busy; });
    if (failure)
        std::rethrow_exception(failure);
}

void TestThread::loop()
{
    std::unique_lock<std::mutex> lock(mutex);
    windowsId = GetCurrentThreadId();
    changed.notify_all();
    for (;;) {
        changed.wait(lock, [this] { return busy || done; });
        if (done && !busy)
            return;
        std::function<void()> job = std::move(pending);
        lock.unlock();
        std::exception_ptr error;
        try {
            job();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        failure = error;
        busy = false;
        changed.notify_all();
    }
}

} // namespace Tessarine::Lamino
