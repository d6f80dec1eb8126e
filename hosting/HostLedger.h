#pragma once

#include "AE_Effect.h"
#include "hosting/SlimSharedMutex.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace Tessarine::Lamino {

// How often the effect called the host, since the host was made (or counts were reset).
struct HostCounts {
    int64_t addParams = 0;
    int64_t checkouts = 0;             // successful checkout_param calls
    int64_t failedCheckouts = 0;
    int64_t checkins = 0;              // checkin_param calls that matched a checkout
    int64_t suiteAcquisitions = 0;     // successful AcquireSuite calls
    int64_t failedAcquisitions = 0;
    int64_t suiteReleases = 0;         // ReleaseSuite calls that matched an acquisition
    int64_t handlesAllocated = 0;
    int64_t failedHandleAllocations = 0;
    int64_t handlesDisposed = 0;
    int64_t handleLocks = 0;
    int64_t handleUnlocks = 0;
    int64_t pixelDataRequests = 0;     // get_pixel_data8 and get_pixel_data16
    int64_t iterations = 0;            // iterate calls of the float iteration suite
    int64_t layerCheckouts = 0;        // smart pre-render checkout_layer calls
    int64_t layerPixelCheckouts = 0;   // smart render checkout_layer_pixels calls
    int64_t requestedLayerPixels = 0;  // pixels of the result rects checkout_layer gave out
};

// The headless host's books: what the effect took from the host (parameter checkouts, suites)
// and must give back, the calls it made, and every misuse seen (a checkin without a checkout, a
// release of a suite not held, a bad argument). Handles are booked by HandleHeap. Thread-safe.
class HostLedger {
public:
    void checkedOut(const PF_ParamDef* where, PF_ParamIndex index);
    // Matches a checkin with an open checkout by the definition's address; false (and a misuse
    // noted) when nothing matches.
    bool checkedIn(const PF_ParamDef* where);
    void suiteAcquired(const std::string& name, int32_t version);
    // False (and a misuse noted) when that suite is not held.
    bool suiteReleased(const std::string& name, int32_t version);

    void misuse(const std::string& text);
    void count(int64_t HostCounts::*counter, int64_t amount = 1);

    HostCounts counts() const;
    std::vector<std::string> misuses() const;
    int32_t openCheckouts() const;
    int32_t heldSuites() const;

    // One line per parameter checkout not checked in and per suite acquired more often than
    // released; empty when everything was given back.
    std::vector<std::string> outstanding() const;

    void reset();  // forgets counts and misuses; what is outstanding stays outstanding

private:
    struct Checkout {
        const PF_ParamDef* where;
        PF_ParamIndex index;
    };

    mutable SlimSharedMutex mutex;
    HostCounts totals;
    std::vector<Checkout> checkouts;
    std::map<std::pair<std::string, int32_t>, int64_t> suites;  // held count per name and version
    std::vector<std::string> misuseLog;
};

}  // namespace Tessarine::Lamino
