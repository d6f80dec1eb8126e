#include "tool/Progress.h"

#include <cstdio>

namespace Tessarine::Lamino {

namespace {

constexpr std::chrono::seconds kReportInterval{1};

}  // namespace

Progress::Progress(std::ostream& stream, int32_t total, bool enabled)
    : stream(stream), total(total), enabled(enabled && total > 1), start(Clock::now()),
      lastReport(start)
{
}

void Progress::frameDone()
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    ++done;
    Clock::time_point now = Clock::now();
    if (enabled && done < total && now - lastReport >= kReportInterval) {
        lastReport = now;
        stream << "lamino: " << done << "/" << total << " frames (" << done * 100 / total << "%)"
               << std::endl;
    }
}

void Progress::finish()
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    if (!enabled) {
        return;
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    char text[96];
    std::snprintf(text, sizeof text, "lamino: %d frames in %.1f s (%.2f frames/s)", int(done),
                  seconds, seconds > 0.0 ? done / seconds : 0.0);
    stream << text << std::endl;
}

}  // namespace Tessarine::Lamino
