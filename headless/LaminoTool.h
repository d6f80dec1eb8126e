#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "headless/CommandLine.h"

namespace Tessarine::Lamino {

class HeadlessHost;

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

    // OrlaLamino.aex in the folder of the running program.
    static std::string defaultPluginPath();

private:
    int help(const Plan& plan);
    int runCommand(Plan& plan);
    void startHost(HeadlessHost& host);
    void info(HeadlessHost& host, const std::string& pluginPath);
    void render(HeadlessHost& host, const Plan& plan);
    void warnOfLongerSequence(const Plan& plan);
    void bench(HeadlessHost& host, const Plan& plan);
    int soak(const Plan& plan);
    void reportHostIssues(HeadlessHost& host);

    std::ostream& out;
    std::ostream& err;
};

}  // namespace Tessarine::Lamino
