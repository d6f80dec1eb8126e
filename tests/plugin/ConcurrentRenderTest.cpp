// Renders from several threads inside the plug-in at once, as a host with multi-frame rendering
// sends them: every frame right, whatever the others on other threads render at the same time.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
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

// Waits until `parties` threads have arrived (or `patience` has passed, for a party that will
// not come), then lets them all go on at once.
class Barrier {
public:
    explicit Barrier(int parties) : parties(parties) {}
    bool arriveAndWait(std::chrono::milliseconds patience)
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (++arrived == parties) {
            changed.notify_all();
            return true;
        }
        return changed.wait_for(lock, patience, [&] { return arrived >= parties; });
    }

private:
    const int parties;
    int arrived = 0;
    std::mutex mutex;
    std::condition_variable changed;
};

// One thread's frame: its time (the controls are animated), depth, shutter and size.
struct RaceFrame {
    A_long time;
    WorldFormat format;
    double shutterAngle;
    int width, height;
};

std::vector<uint8_t> renderRaceFrame(HeadlessHost& host, const RaceFrame& frame, const World& input)
{
    World output(frame.format, frame.width, frame.height);
    RenderRequest request;
    request.input = const_cast<World&>(input).get();
    request.output = output.get();
    request.time = frame.time;
    request.timeScale = kTimeScale;
    request.shutterAngle = frame.shutterAngle;
    return host.render(request) == PF_Err_NONE ? output.packedPixels() : std::vector<uint8_t>{};
}

// Eight threads, after a warm-up that renders each one's frame alone, render at once: each frame
// at another time of animated controls (so with other bands, shifts, softness and layer
// opacity, and other program variants) and of another size, with a custom layer; rounds of each
// depth, with and without motion blur. The host holds every render at its last control checkout
// until all have read their controls, so that controls kept anywhere process-wide between
// reading and drawing would be another thread's by the time of drawing, every time, while the
// main thread sends the user interface's commands. Every frame must be the one its render gave
// alone.
TEST(ConcurrentRender, ThreadsReleasedTogetherEachGiveTheFrameTheyGiveAlone)
{
    constexpr int kRaceThreads = 8;
    PluginHost plugin;
    HeadlessHost& host = plugin.host();
    const double end = 11.0 / kTimeScale;
    host.animate(kAngle, {0.0, 150.0, 0.0, end});
    host.animate(kOffsetRandom, {0.0, 40.0, 0.0, end});
    host.animate(kOffsetRandomSeed, {0.0, 11.0, 0.0, end});
    host.animate(kEdgeSoftness, {0.0, 6.0, 0.0, end});
    host.animate(kLayerOpacity, {20.0, 90.0, 0.0, end});
    host.setValue(kSlices, 9);
    host.setValue(kSizeRandom, 40);
    host.setValue(kEdgeType, 3);
    host.setValue(kShutterSamples, 4);
    const struct {
        WorldFormat format;
        bool motionBlur;
    } rounds[] = {{WorldFormat::Argb8, false},
                  {WorldFormat::Argb16, true},
                  {WorldFormat::ArgbFloat, false},
                  {WorldFormat::Argb8, true}};

    for (int round = 0; round < 4; ++round) {
        const WorldFormat format = rounds[round].format;
        host.setValue(kMotionBlur, rounds[round].motionBlur);
        // The custom layer is the host's, one for all renders, of the depth they render.
        World layer = toWorldAt(detailedPicture(13, 9, 5), format);
        host.setLayer(kCustomLayer, layer.get());
        std::vector<RaceFrame> frames;
        std::vector<World> inputs;
        for (int t = 0; t < kRaceThreads; ++t) {
            frames.push_back({A_long((5 * t + round) % 12), format, t % 2 ? 180.0 : 0.0,
                              17 + 3 * t, 11 + (t + round) % 5});
            inputs.push_back(toWorldAt(detailedPicture(frames[t].width, frames[t].height, t),
                                       format));
        }
        // Warm-up, alone on this thread: the reference frames, and the checkouts each render
        // makes, so that the host knows which is its last.
        std::vector<std::vector<uint8_t>> alone(kRaceThreads);
        std::vector<int> checkouts(kRaceThreads, 0);
        static thread_local int* counting = nullptr;
        host.observeCheckouts([](int32_t) {
            if (counting) {
                ++*counting;
            }
        });
        for (int t = 0; t < kRaceThreads; ++t) {
            counting = &checkouts[t];
            alone[t] = renderRaceFrame(host, frames[t], inputs[t]);
            counting = nullptr;
            ASSERT_FALSE(alone[t].empty()) << "frame " << t;
        }

        // The race: all released together, all held at their last checkout until all are there.
        Barrier start(kRaceThreads);
        Barrier lastCheckout(kRaceThreads);
        static thread_local int remaining = 0;
        std::atomic<int> heldUp{0};
        host.observeCheckouts([&](int32_t) {
            if (remaining > 0 && --remaining == 0 &&
                !lastCheckout.arriveAndWait(std::chrono::seconds(20))) {
                ++heldUp;
            }
        });
        std::vector<std::vector<uint8_t>> raced(kRaceThreads);
        std::vector<std::thread> threads;
        std::atomic<int> finished{0};
        for (int t = 0; t < kRaceThreads; ++t) {
            threads.emplace_back([&, t] {
                remaining = checkouts[t];
                start.arriveAndWait(std::chrono::seconds(20));
                raced[t] = renderRaceFrame(host, frames[t], inputs[t]);
                remaining = 0;
                ++finished;
            });
        }
        // The host's main thread goes on with the user interface meanwhile.
        while (finished < kRaceThreads) {
            EXPECT_EQ(host.about(), PF_Err_NONE);
            EXPECT_EQ(host.updateParamsUi(), PF_Err_NONE);
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        host.observeCheckouts({});

        EXPECT_EQ(heldUp, 0) << "round " << round;
        for (int t = 0; t < kRaceThreads; ++t) {
            EXPECT_EQ(raced[t], alone[t]) << "frame " << t << " (round " << round << ")";
        }
    }
    EXPECT_GT(host.controlCommandsBesideRenders(), 0);
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
