// What render threads keep on the GPU between renders. On a software renderer the GPU's memory
// is the process's own, so the process's memory shows it.

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "PluginTestSupport.h"
#include "host/EffectParameters.h"
#include "soak/ProcessResources.h"

namespace Tessarine::Lamino {
namespace {

// A measurement, not run by the suite (a minute or more and several GB of memory on a software
// renderer): 16 render threads, as a host with 16 cores runs, each render one 3840 x 2160 float
// frame with a custom layer (one at a time, so that only storage kept between renders adds up)
// and stay idle; the process's memory then, against before. Run it with
// --gtest_also_run_disabled_tests --gtest_filter='GpuMemory.*'.
TEST(GpuMemory, DISABLED_SixteenIdleRenderThreadsAt4KFloat)
{
    constexpr int kThreads = 16;
    constexpr int kWidth = 3840;
    constexpr int kHeight = 2160;
    PluginHost plugin;
    HeadlessHost& host = plugin.host();
    World input(WorldFormat::ArgbFloat, kWidth, kHeight, 0);
    World custom(WorldFormat::ArgbFloat, kWidth, kHeight, 0);
    World output(WorldFormat::ArgbFloat, kWidth, kHeight, 0);
    input.fillBytes(0x3e);
    custom.fillBytes(0x3f);
    host.setLayer(kCustomLayer, custom.get());
    host.setValue(kOffsetRandom, 20);
    const ProcessResources before = ProcessResources::sample();

    std::mutex oneAtATime;
    std::atomic<int> rendered{0};
    std::atomic<bool> release{false};
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            {
                std::lock_guard<std::mutex> lock(oneAtATime);
                RenderRequest request;
                request.input = input.get();
                request.output = output.get();
                failed += host.render(request) != PF_Err_NONE;
            }
            ++rendered;
            while (!release) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    while (rendered < kThreads) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const ProcessResources idle = ProcessResources::sample();
    release = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failed, 0);
    std::printf("%d idle render threads after %d x %d float renders with a custom layer: "
                "private memory +%.0f MB (%.0f MB a thread)\n",
                kThreads, kWidth, kHeight,
                double(idle.privateBytes - before.privateBytes) / (1024.0 * 1024.0),
                double(idle.privateBytes - before.privateBytes) / (1024.0 * 1024.0) / kThreads);
}

} // namespace
} // namespace Tessarine::Lamino
