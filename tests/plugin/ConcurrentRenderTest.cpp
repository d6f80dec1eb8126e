// Renders from several threads inside the plug-in at once, as a host with multi-frame rendering
// sends them: every frame right, whatever the others on other threads render at the same time.

#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "PluginTestSupport.h"
#include "host/EffectParameters.h"

namespace Tessarine::Lamino {
namespace {

constexpr int kThreads = 4;
constexpr A_u_long kTimeScale = 30;

// Frame k of the test's animation: the angle turns 30 degrees a frame and the shift seed steps
// by one, so that renders of different frames draw different bands.
ModelControls controlsAt(int frame)
{
    ModelControls controls;
    controls.count = 14;
    controls.angle = 30.0 * frame;
    controls.offsetRandom = 0.3;
    controls.offsetRandomSeed = frame;
    controls.sizeRandom = 0.5;
    controls.sizeRandomSeed = 4;
    controls.edgeType = 1; // "Repeat"
    return controls;
}

void animate(HeadlessHost& host, int frames)
{
    const double end = double(frames - 1) / kTimeScale;
    host.animate(kAngle, {0.0, 30.0 * (frames - 1), 0.0, end});
    host.animate(kOffsetRandomSeed, {0.0, double(frames - 1), 0.0, end});
    host.setValue(kOffsetRandom, 30);
    host.setValue(kSlices, 14);
    host.setValue(kSizeRandom, 50);
    host.setValue(kSizeRandomSeed, 4);
    host.setValue(kEdgeType, 2);
}

WorldFormat depthOf(int thread)
{
    const WorldFormat depths[] = {WorldFormat::Argb8, WorldFormat::Argb16, WorldFormat::ArgbFloat,
                                  WorldFormat::Argb8};
    return depths[thread % 4];
}

TEST(ConcurrentRender, FourThreadsOfDifferentSizesDepthsAndFramesEachMatchTheModel)
{
    PluginHost plugin;
    HeadlessHost& host = plugin.host();
    ASSERT_TRUE(host.rendersConcurrently());
    constexpr int kFrames = 8;
    animate(host, kFrames);
    std::atomic<int> wrongFrames{0};
    std::atomic<int> failedRenders{0};
    // New threads every round, so that threads build their contexts while others draw.
    for (int round = 0; round < 3; ++round) {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t, round] {
                for (int i = 0; i < 3; ++i) {
                    const int frame = (t + 2 * i + round) % kFrames;
                    const int width = 23 + 9 * t + i;
                    const int height = 17 + 5 * t + round;
                    const ArgbImage picture = detailedPicture(width, height, frame + t);
                    World input = toWorldAt(picture, depthOf(t));
                    World output(depthOf(t), width, height);
                    RenderRequest request;
                    request.input = input.get();
                    request.output = output.get();
                    request.time = frame;
                    request.timeScale = kTimeScale;
                    if (host.render(request) != PF_Err_NONE) {
                        ++failedRenders;
                        continue;
                    }
                    const SliceModel model(controlsAt(frame), width, height);
                    const ArgbImage expected = model.render(picture, nullptr);
                    if (differingPixels(eightBitsOf(output), expected, 1) != 0) {
                        ++wrongFrames;
                    }
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    EXPECT_EQ(failedRenders, 0);
    EXPECT_EQ(wrongFrames, 0);
    EXPECT_GE(host.peakRendersAtOnce(), 2);
    EXPECT_EQ(host.report(), "");
}

// Renders of an effect that declares no thread-safe rendering are taken one at a time.
TEST(ConcurrentRender, AnEffectWithoutThreadSafeRenderingGetsOneRenderAtATime)
{
    static std::atomic<int> inside{0};
    static std::atomic<int> most{0};
    struct OneAtATime {
        static PF_Err entry(PF_Cmd cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*,
                            void*)
        {
            if (cmd == PF_Cmd_RENDER) {
                const int now = ++inside;
                most = std::max(most.load(), now);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                --inside;
            }
            return PF_Err_NONE;
        }
    };
    HeadlessHost host(&OneAtATime::entry);
    ASSERT_EQ(host.globalSetup(), PF_Err_NONE);
    EXPECT_FALSE(host.rendersConcurrently());
    World input(WorldFormat::Argb8, 4, 4);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            World output(WorldFormat::Argb8, 4, 4);
            RenderRequest request;
            request.input = input.get();
            request.output = output.get();
            for (int i = 0; i < 5; ++i) {
                EXPECT_EQ(host.render(request), PF_Err_NONE);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(most, 1);
    EXPECT_EQ(host.peakRendersAtOnce(), 1);
}

} // namespace
} // namespace Tessarine::Lamino
