#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tool/CommandLine.h"
#include "imagefiles/Image.h"

namespace Tessarine::Lamino {

class HeadlessHost;
class Renderer;
class World;

// The `lamino` command-line tool: runs one command line from start to end. Loads the plug-in
// into a HeadlessHost, starts it as the host does (global setup, parameter setup), checks the
// control options against the controls it declared, and renders, benchmarks or describes. Every
// failure becomes a one-line message on `err` and a non-zero result; nothing escapes run().
// Results go to `out`, progress and warnings to `err`. Runs on the calling thread (renders of a
// sequence may use more threads).
class LaminoTool {
public:
    static constexpr int kExitDone = 0;
    static constexpr int kExitFailed = 1;  // a file, the plug-in or a render failed
    static constexpr int kExitUsage = 2;  // the command line is wrong

    LaminoTool(std::ostream& out, std::ostream& err) : out(out), err(err) { }

    int run(const std::vector<std::string>& arguments);

    // The largest image side renders accept (larger input and layer files are refused before
    // they are decoded); without it, what the GPU renders (GpuLimits).
    void setMaxRenderSide(int32_t side) { renderSideLimit = side; }

    // OrlaLamino.aex in the folder of the running program.
    static std::string defaultPluginPath();

private:
    int help(const Plan& plan);
    int runCommand(Plan& plan);
    void startHost(HeadlessHost& host);
    void info(HeadlessHost& host, const std::string& pluginPath);
    void render(HeadlessHost& host, const Plan& plan);
    void renderSequence(HeadlessHost& host, const Plan& plan, Renderer& renderer,
                        const std::shared_ptr<const World>& input, ImageDepth depth);
    Image firstInput(const Plan& plan);
    ImageDepth worldDepth(HeadlessHost& host, const Plan& plan, ImageDepth depth);
    int32_t maxRenderSide();
    void warnOfLongerSequence(const Plan& plan);
    void bench(HeadlessHost& host, const Plan& plan);
    int soak(const Plan& plan);
    void reportHostIssues(HeadlessHost& host);

    std::ostream& out;
    std::ostream& err;
    int32_t renderSideLimit = 0;  // 0: ask the GPU
};

}  // namespace Tessarine::Lamino
