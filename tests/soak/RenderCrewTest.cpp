// The soak's render threads: every job of a batch runs, a job for each thread runs once on each,
// every thread has a context of its own current, a job's exception reaches run() after the batch
// has finished, and a crew made, contended and dropped leaves no kernel object behind.

#include <atomic>
#include <set>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "soak/ProcessResources.h"
#include "soak/RenderCrew.h"

namespace Tessarine::Lamino {
namespace {

TEST(RenderCrew, RunsEveryJobWithItsThreadsOwnContextCurrent)
{
    RenderCrew crew(3);
    std::atomic<int> done{0}, current{0};
    std::vector<RenderCrew::Job> jobs(20, [&](OwnGlContext& own, int32_t) {
        current += own.isCurrent();
        ++done;
    });
    crew.run(jobs);
    EXPECT_EQ(done, 20);
    EXPECT_EQ(current, 20);

    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::set<int32_t> indices;
    crew.runOnEach([&](OwnGlContext&, int32_t index) {
        std::lock_guard<std::mutex> lock(mutex);
        threads.insert(std::this_thread::get_id());
        indices.insert(index);
    });
    EXPECT_EQ(threads.size(), 3u);
    EXPECT_EQ(indices, (std::set<int32_t>{0, 1, 2}));
}

TEST(RenderCrew, AJobsExceptionComesBackAfterTheBatch)
{
    RenderCrew crew(2);
    std::atomic<int> done{0};
    std::vector<RenderCrew::Job> jobs(6, [&](OwnGlContext&, int32_t) { ++done; });
    jobs[1] = [](OwnGlContext&, int32_t) { throw std::runtime_error("job failed"); };
    EXPECT_THROW(crew.run(jobs), std::runtime_error);
    EXPECT_EQ(done, 5);
    crew.run({[&](OwnGlContext&, int32_t) { ++done; }});  // the crew still works
    EXPECT_EQ(done, 6);
}

// The soak makes its crew again with every reload and counts the process's kernel handles by type:
// a lock of the crew's that kept an event after its first contention would count as the effect's.
TEST(RenderCrew, ContendedCrewsLeaveNoKernelHandles)
{
    auto contendedCrew = [] {
        RenderCrew crew(4);
        crew.run(std::vector<RenderCrew::Job>(
            400, [](OwnGlContext&, int32_t) { std::this_thread::yield(); }));
    };
    contendedCrew();  // the first threads' lasting objects
    const ProcessResources before = ProcessResources::sample();
    ASSERT_TRUE(before.kernelHandlesMeasured);
    for (int round = 0; round < 8; ++round) {
        contendedCrew();
    }
    const ProcessResources after = ProcessResources::sample();
    EXPECT_EQ(after.kernelHandles, before.kernelHandles);
    EXPECT_EQ(after.handlesByType, before.handlesByType);
}

} // namespace
} // namespace Tessarine::Lamino
