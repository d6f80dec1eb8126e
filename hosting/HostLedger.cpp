#include "hosting/HostLedger.h"

namespace Tessarine::Lamino {

void HostLedger::checkedOut(const PF_ParamDef* where, PF_ParamIndex index)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    checkouts.push_back({where, index});
    ++totals.checkouts;
}

bool HostLedger::checkedIn(const PF_ParamDef* where)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    // The newest checkout first: a definition reused for a second checkout is the later one.
    for (auto open = checkouts.rbegin(); open != checkouts.rend(); ++open) {
        if (open->where == where) {
            checkouts.erase(std::next(open).base());
            ++totals.checkins;
            return true;
        }
    }
    misuseLog.push_back("checkin_param with a definition that no open checkout handed out");
    return false;
}

void HostLedger::suiteAcquired(const std::string& name, int32_t version)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    ++suites[{name, version}];
    ++totals.suiteAcquisitions;
}

bool HostLedger::suiteReleased(const std::string& name, int32_t version)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    auto held = suites.find({name, version});
    if (held == suites.end() || held->second == 0) {
        misuseLog.push_back("ReleaseSuite of \"" + name + "\" version " + std::to_string(version) +
                            ", which is not held");
        return false;
    }
    --held->second;
    ++totals.suiteReleases;
    return true;
}

void HostLedger::misuse(const std::string& text)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    misuseLog.push_back(text);
}

void HostLedger::count(int64_t HostCounts::*counter, int64_t amount)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    totals.*counter += amount;
}

HostCounts HostLedger::counts() const
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    return totals;
}

std::vector<std::string> HostLedger::misuses() const
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    return misuseLog;
}

int32_t HostLedger::openCheckouts() const
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    return int32_t(checkouts.size());
}

int32_t HostLedger::heldSuites() const
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    int64_t held = 0;
    for (const auto& suite : suites) {
        held += suite.second;
    }
    return int32_t(held);
}

std::vector<std::string> HostLedger::outstanding() const
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    std::vector<std::string> lines;
    for (const Checkout& open : checkouts) {
        lines.push_back("parameter " + std::to_string(open.index) +
                        " checked out and not checked in");
    }
    for (const auto& suite : suites) {
        if (suite.second > 0) {
            lines.push_back("suite \"" + suite.first.first + "\" version " +
                            std::to_string(suite.first.second) + " acquired " +
                            std::to_string(suite.second) + " time(s) more than released");
        }
    }
    return lines;
}

void HostLedger::reset()
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    totals = HostCounts{};
    misuseLog.clear();
}

}  // namespace Tessarine::Lamino
