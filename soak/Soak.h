#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tool/ControlOption.h"
#include "soak/GlObjectProbe.h"
#include "soak/GrowthFit.h"
#include "hosting/HeadlessHost.h"
#include "soak/ProcessResources.h"
#include "soak/RenderCrew.h"
#include "soak/SoakCases.h"
#include "soak/SoakFaults.h"
#include "hosting/SlimSharedMutex.h"

namespace Tessarine::Lamino {

struct SoakOptions {
    std::string plugin;
    double seconds = 0.0;      // 0: no time limit
    int64_t renders = 0;       // 0: no count limit (one of the two is set)
    uint64_t seed = 0;
    int32_t threads = 2;
    int32_t sampleRenders = 200;  // renders between two samples of a render stretch
    bool quiet = false;        // no table rows while running, only the end
    // Leaks of the soak's own, to show what its growth judgement catches: kernel handles per
    // 1000 renders (left by the render threads) and KB of memory per setup cycle.
    double leakHandlesPer1000Renders = 0.0;
    double leakKilobytesPerCycle = 0.0;
};

// `lamino soak`: one long run that proves the effect never reports a wrong frame as success and
// leaks nothing. It alternates stretches of renders (random sizes, depths, controls and custom
// layers on several render threads, with host-call faults injected between batches on the main
// thread) with stretches of global setup cycles and of unloads and reloads of the plug-in. Every
// small frame is compared with the CPU model; every fault must give its code, leave the host's
// books clean and the host's OpenGL context current, and be followed by a correct render. After
// each stretch it samples the process (windows, handles, memory) and the effect's live GL
// objects; at the end, growth per 1000 renders,
// per 100 setup cycles and per 100 reloads (a least-squares fit on all three counts at once)
// beyond stated tolerances fails the run.
//
// Runs on the calling thread (which also renders the fault events) and its render threads.
// run() returns 0 when everything held, 1 with a line on `err` for each failure.
class Soak {
public:
    Soak(const SoakOptions& options, std::ostream& out, std::ostream& err);
    ~Soak();
    int run();

private:
    enum Stretch { kRenders, kCycles, kReloads, kStretchKinds };
    struct Figures;
    struct Stats;

    // the plug-in
    void load();
    void unload();
    void probeFormats();
    // stretches
    void renderStretch();
    void cycleStretch();
    void reloadStretch();
    void runBatch(const SoakBatch& batch);
    void checkBatch();
    void faultEvent();
    void injectRenderFault(const SoakFault& fault, const SoakBatch& batch, OwnGlContext& own);
    void injectCommandFault(const SoakFault& fault);
    void checkFaultFrame(const SoakBatch& batch, const World& output, const std::string& what);
    static std::unique_ptr<World> layerWorld(const SoakBatch& batch);
    // renders and checks
    PF_Err renderFrame(const SoakBatch& batch, const SoakFrame& frame, OwnGlContext& own,
                       World& output, int64_t number);
    void renderChecked(const SoakBatch& batch, const SoakFrame& frame, OwnGlContext& own);
    // Pixels off the model, and the first of them described in `first` when given.
    size_t offPixels(const SoakBatch& batch, const SoakFrame& frame, const World& output,
                     const ModelControls& model, bool withLayer,
                     std::string* first = nullptr) const;
    void applyControls(const SoakBatch& batch, const World* layer);
    void expectCleanBooks(const std::string& after);
    void expectOwnCurrent(const OwnGlContext& own, const std::string& after);
    // figures
    Figures measure();
    void sample(Stretch stretch);
    void printHeader();
    void printRow(const char* stretch, const Figures& figures);
    bool judge();
    bool judgeFigure(const std::string& figure, const double limits[3], double scale);
    void leakForTesting(Stretch stretch);
    std::thread endingRenderThread();
    static bool settledOnly(const std::string& figure);
    void printTotals();
    // outcome
    void fail(const std::string& what);
    bool stopped() const { return stopping.load(); }
    bool timeUp() const;
    double elapsed() const;
    std::vector<WorldFormat> formatsToRender() const;

    SoakOptions options;
    std::ostream& out;
    std::ostream& err;
    SoakCases cases;
    std::unique_ptr<HeadlessHost> host;
    std::unique_ptr<RenderCrew> crew;
    std::unique_ptr<OwnGlContext> mainContext;
    std::vector<ControlOption> controls;
    int32_t layerIndex = 0;
    std::map<WorldFormat, PF_Err> refusedFormats;  // depths the effect refused, with its code
    std::vector<std::string> faultDeck;
    std::unique_ptr<Stats> stats;
    int32_t samplesTaken = 0;
    std::map<std::string, GrowthFit> fits;  // per figure, over every sample after the warm-up
    std::vector<std::string> handleTypes;   // kinds of handles seen, in order of first sight
    double leakedHandlesDue = 0.0;  // main thread only
    int32_t cycleStretches = 0;
    int64_t leakedCycles = 0;
    std::vector<std::vector<char>> leakedMemory;
    std::atomic<bool> stopping{false};
    SlimSharedMutex failureMutex;
    std::vector<std::string> failures;
    std::chrono::steady_clock::time_point start;
};

}  // namespace Tessarine::Lamino
