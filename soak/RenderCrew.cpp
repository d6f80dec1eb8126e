#include "soak/RenderCrew.h"

#include <memory>

namespace Tessarine::Lamino {

RenderCrew::RenderCrew(int32_t count)
{
    for (int32_t index = 0; index < count; ++index) {
        threads.emplace_back([this, index] { work(index); });
    }
}

RenderCrew::~RenderCrew()
{
    {
        std::lock_guard<SlimSharedMutex> lock(mutex);
        stopping = true;
    }
    wake.notifyAll();
    for (std::thread& thread : threads) {
        thread.join();
    }
}

void RenderCrew::run(std::vector<Job> jobs)
{
    std::deque<Task> tasks;
    for (Job& job : jobs) {
        tasks.push_back({std::move(job), -1});
    }
    runTasks(std::move(tasks));
}

void RenderCrew::runOnEach(const Job& job)
{
    std::deque<Task> tasks;
    for (int32_t index = 0; index < size(); ++index) {
        tasks.push_back({job, index});
    }
    runTasks(std::move(tasks));
}

void RenderCrew::runTasks(std::deque<Task> tasks)
{
    std::unique_lock<SlimSharedMutex> lock(mutex);
    unfinished = tasks.size();
    pending = std::move(tasks);
    wake.notifyAll();
    finished.wait(lock, [this] { return unfinished == 0; });
    std::exception_ptr thrown = failure;
    failure = nullptr;
    if (thrown) {
        std::rethrow_exception(thrown);
    }
}

bool RenderCrew::takeTask(int32_t index, Task& task)
{
    for (auto it = pending.begin(); it != pending.end(); ++it) {
        if (it->thread == -1 || it->thread == index) {
            task = std::move(*it);
            pending.erase(it);
            return true;
        }
    }
    return false;
}

void RenderCrew::work(int32_t index)
{
    std::unique_ptr<OwnGlContext> own;
    std::exception_ptr ownFailure;
    try {
        own = std::make_unique<OwnGlContext>();
    } catch (...) {
        ownFailure = std::current_exception();
    }
    std::unique_lock<SlimSharedMutex> lock(mutex);
    for (;;) {
        Task task;
        wake.wait(lock, [&] { return stopping || takeTask(index, task); });
        if (!task.job) {
            return;  // stopping, with nothing left for this thread
        }
        lock.unlock();
        std::exception_ptr thrown = ownFailure;
        if (!thrown) {
            try {
                task.job(*own, index);
            } catch (...) {
                thrown = std::current_exception();
            }
        }
        lock.lock();
        if (thrown && !failure) {
            failure = thrown;
        }
        if (--unfinished == 0) {
            finished.notifyAll();
        }
    }
}

}  // namespace Tessarine::Lamino
