#pragma once

#include "hosting/SlimSharedMutex.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <ostream>

namespace Tessarine::Lamino {

// Progress of a sequence on standard error: a line when a second has passed since the last one,
// and a closing line with the time taken. Silent for a single frame or when disabled. Any thread
// may report a finished frame.
class Progress {
public:
    Progress(std::ostream& stream, int32_t total, bool enabled);

    void frameDone();
    void finish();

private:
    using Clock = std::chrono::steady_clock;

    std::ostream& stream;
    int32_t total;
    bool enabled;
    int32_t done = 0;
    Clock::time_point start;
    Clock::time_point lastReport;
    SlimSharedMutex mutex;
};

}  // namespace Tessarine::Lamino
