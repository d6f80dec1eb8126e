#include "soak/SoakFaults.h"

#include <stdexcept>

#include "AE_EffectCBSuites.h"
#include "hosting/HostCallbacks.h"

namespace Tessarine::Lamino {

namespace {

// Codes a host may fail a call with.
const PF_Err kHostCodes[] = {PF_Err_BAD_CALLBACK_PARAM, PF_Err_OUT_OF_MEMORY,
                             PF_Err_INVALID_INDEX, PF_Err_INTERNAL_STRUCT_DAMAGED};

PF_Err anyHostCode(SoakCases& random)
{
    return kHostCodes[random.uniform(0, int32_t(std::size(kHostCodes)) - 1)];
}

const char kNullPrefix[] = "null ";

FaultedCommand commandOfNull(const std::string& name)
{
    if (name == "ansi.sprintf") return FaultedCommand::About;
    if (name == "ansi.strcpy" || name == "add_param") return FaultedCommand::ParamsSetup;
    return FaultedCommand::Render;
}

}  // namespace

RenderUse RenderUse::between(const HostCounts& before, const HostCounts& after,
                             WorldFormat format)
{
    RenderUse use;
    use.pixelData = after.pixelDataRequests - before.pixelDataRequests;
    use.suites = after.suiteAcquisitions - before.suiteAcquisitions;
    use.handles = after.handlesAllocated - before.handlesAllocated;
    use.iterations = after.iterations - before.iterations;
    use.format = format;
    return use;
}

bool SoakFault::controlUnread(int32_t index) const
{
    return noControlsRead || unreadControls.count(index) != 0;
}

PF_Err SoakFault::expected(const RenderUse& use, int32_t declaredParameters) const
{
    if (command == FaultedCommand::ParamsSetup) {
        if (plan.failAddParamCall > 0 && plan.failAddParamCall <= declaredParameters) {
            return plan.addParamError;
        }
        return plan.nullCallbacks.empty() ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM;
    }
    if (command == FaultedCommand::About) {
        return PF_Err_BAD_CALLBACK_PARAM;  // every about fault takes away what it needs
    }
    const bool eight = use.format == WorldFormat::Argb8;
    const bool deep = use.format == WorldFormat::Argb16;
    const bool handles = use.handles > 0;
    const auto null = [&](const char* name) { return plan.nullCallbacks.count(name) != 0; };
    const bool needed =
        (plan.missingSuites.count(kPFHandleSuite) && handles) ||
        (plan.missingSuites.count(kPFIterateFloatSuite) && use.iterations > 0) ||
        (plan.failHandleAllocation > 0 && plan.failHandleAllocation <= use.handles) ||
        ((plan.noPixelData8 || null("get_pixel_data8")) && eight && use.pixelData > 0) ||
        ((plan.noPixelData16 || null("get_pixel_data16")) && deep && use.pixelData > 0) ||
        (plan.iterateFloatError != PF_Err_NONE && use.iterations > 0) ||
        ((plan.failHandleLock || null("host_lock_handle") || null("host_unlock_handle") ||
          null("host_dispose_handle")) && handles) ||
        (null("AcquireSuite") && use.suites > 0);
    return needed ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_NONE;
}

const std::vector<std::string>& SoakFaults::kinds()
{
    static const std::vector<std::string> all = [] {
        std::vector<std::string> names = {
            "missing ANSI suite in about", "missing ANSI suite", "missing handle suite",
            "missing float iteration suite", "failing checkouts", "failing add_param",
            "failing handle allocation", "no 8-bit pixel data", "no 16-bit pixel data",
            "float iteration error", "handle lock gives null", "checkin error",
            "ReleaseSuite error", "null AcquireSuite in about"};
        for (const char* name : {"ansi.sprintf", "ansi.strcpy", "checkout_param", "checkin_param",
                                 "add_param", "get_pixel_data8", "get_pixel_data16",
                                 "host_lock_handle", "host_unlock_handle", "host_dispose_handle",
                                 "AcquireSuite"}) {
            names.push_back(std::string(kNullPrefix) + name);
        }
        return names;
    }();
    return all;
}

SoakFault SoakFaults::make(const std::string& kind, SoakCases& random, int32_t parameters)
{
    SoakFault fault;
    fault.kind = kind;
    FaultPlan& plan = fault.plan;
    if (kind == "missing ANSI suite in about") {
        fault.command = FaultedCommand::About;
        plan.missingSuites = {kPFANSISuite};
    } else if (kind == "missing ANSI suite") {
        plan.missingSuites = {kPFANSISuite};
    } else if (kind == "missing handle suite") {
        plan.missingSuites = {kPFHandleSuite};
    } else if (kind == "missing float iteration suite") {
        plan.missingSuites = {kPFIterateFloatSuite};
    } else if (kind == "failing checkouts") {
        for (int32_t i = 0, n = random.uniform(1, 3); i < n; ++i) {
            fault.unreadControls.insert(random.uniform(1, parameters));
        }
        plan.failingCheckouts = fault.unreadControls;
        plan.checkoutError = anyHostCode(random);
    } else if (kind == "failing add_param") {
        fault.command = FaultedCommand::ParamsSetup;
        plan.failAddParamCall = random.uniform(1, parameters);
        plan.addParamError = anyHostCode(random);
    } else if (kind == "failing handle allocation") {
        plan.failHandleAllocation = random.uniform(1, 2);
    } else if (kind == "no 8-bit pixel data") {
        plan.noPixelData8 = true;
    } else if (kind == "no 16-bit pixel data") {
        plan.noPixelData16 = true;
    } else if (kind == "float iteration error") {
        plan.iterateFloatError = anyHostCode(random);
    } else if (kind == "handle lock gives null") {
        plan.failHandleLock = true;
    } else if (kind == "checkin error") {
        plan.checkinError = anyHostCode(random);
    } else if (kind == "ReleaseSuite error") {
        plan.releaseSuiteError = random.chance(0.5) ? HostCallbacks::kBadParameter
                                                    : HostCallbacks::kUnimplemented;
    } else if (kind == "null AcquireSuite in about") {
        fault.command = FaultedCommand::About;
        plan.nullCallbacks = {"AcquireSuite"};
    } else if (kind.rfind(kNullPrefix, 0) == 0) {
        const std::string name = kind.substr(sizeof kNullPrefix - 1);
        fault.command = commandOfNull(name);
        plan.nullCallbacks = {name};
        fault.noControlsRead = name == "checkout_param" || name == "checkin_param";
    } else {
        throw std::invalid_argument("no soak fault of kind '" + kind + "'");
    }
    return fault;
}

}  // namespace Tessarine::Lamino
