#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "hosting/OwnGlContext.h"
#include "hosting/SlimCondition.h"
#include "hosting/SlimSharedMutex.h"

namespace Tessarine::Lamino {

// A fixed set of render threads that stay for the crew's lifetime, as a host's render threads
// do, each with an OpenGL context of the host's own made on it. run() hands a batch of jobs to
// the threads and returns once all are done; a job given a thread runs on that one. The first
// exception of a batch (a job's, or a thread's context that could not be made) is rethrown by
// run(). Threads end and are joined when the crew goes. run() is for one thread at a time.
class RenderCrew {
public:
    using Job = std::function<void(OwnGlContext& own, int32_t thread)>;

    explicit RenderCrew(int32_t threads);
    ~RenderCrew();
    RenderCrew(const RenderCrew&) = delete;
    RenderCrew& operator=(const RenderCrew&) = delete;

    int32_t size() const { return int32_t(threads.size()); }
    void run(std::vector<Job> jobs);
    // The job once on every thread.
    void runOnEach(const Job& job);

private:
    struct Task {
        Job job;
        int32_t thread;  // -1: any
    };

    void runTasks(std::deque<Task> tasks);
    void work(int32_t index);
    bool takeTask(int32_t index, Task& task);

    // Slim locks: the crew is made again with every reload, and a lock that left an event behind
    // would be counted as the effect's.
    SlimSharedMutex mutex;
    SlimCondition wake, finished;
    std::deque<Task> pending;
    size_t unfinished = 0;
    bool stopping = false;
    std::exception_ptr failure;
    std::vector<std::thread> threads;
};

}  // namespace Tessarine::Lamino
