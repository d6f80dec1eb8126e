// The soak's faults: every kind makes a plan for the right command, and the code a fault must
// give follows what a clean render of the same kind called.

#include <set>

#include <gtest/gtest.h>

#include "AE_EffectCBSuites.h"
#include "hosting/HeadlessHost.h"
#include "soak/SoakFaults.h"

namespace Tessarine::Lamino {
namespace {

RenderUse use(WorldFormat format, int64_t handles, int64_t iterations = 0, int64_t suites = 0)
{
    RenderUse u;
    u.format = format;
    u.pixelData = format == WorldFormat::ArgbFloat ? 0 : 2;
    u.handles = handles;
    u.iterations = iterations;
    u.suites = suites;
    u.layerPixels = 2;
    u.layerParameter = 8;
    return u;
}

TEST(SoakFaults, EveryKindMakesAPlanTheHostTakes)
{
    SoakCases random(3);
    HeadlessHost host(+[](PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef**, PF_LayerDef*, void*) {
        return PF_Err(PF_Err_NONE);
    });
    EXPECT_EQ(SoakFaults::kinds().size(), 27u);
    for (const std::string& kind : SoakFaults::kinds()) {
        SCOPED_TRACE(kind);
        const SoakFault fault = SoakFaults::make(kind, random, 16);
        EXPECT_NO_THROW(host.setFaultPlan(fault.plan));
        EXPECT_EQ(fault.command == FaultedCommand::About, kind.find("about") != std::string::npos ||
                                                              kind == "null ansi.sprintf");
    }
    EXPECT_THROW(SoakFaults::make("no such fault", random, 16), std::invalid_argument);
}

// A failed call that the render needs gives the host's own code when the host gave one (a
// cancelled render, memory), PF_Err_BAD_CALLBACK_PARAM when it gave none.
TEST(SoakFaults, ARenderFailsOnlyWhereItNeedsTheFailedCallAndWithTheHostsCode)
{
    SoakCases random(5);
    const RenderUse eight = use(WorldFormat::Argb8, 0);
    const RenderUse floats = use(WorldFormat::ArgbFloat, 1, 2, 3);
    auto expected = [&](const char* kind, const RenderUse& u) {
        return SoakFaults::make(kind, random, 16).expected(u, 16);
    };
    for (const char* kind : {"null host_unlock_handle", "null host_dispose_handle",
                             "missing handle suite", "missing float iteration suite",
                             "null AcquireSuite"}) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(expected(kind, eight), PF_Err_NONE);
        EXPECT_EQ(expected(kind, floats), PF_Err_BAD_CALLBACK_PARAM);
    }
    EXPECT_EQ(expected("handle lock gives null", eight), PF_Err_NONE);
    EXPECT_EQ(expected("handle lock gives null", floats), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(expected("no 8-bit pixel data", eight), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(expected("no 8-bit pixel data", use(WorldFormat::Argb16, 0)), PF_Err_NONE);
    EXPECT_EQ(expected("null get_pixel_data16", use(WorldFormat::Argb16, 0)),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(expected("null checkout_param", eight), PF_Err_BAD_CALLBACK_PARAM);
    for (const char* kind : {"ReleaseSuite error", "missing ANSI suite"}) {
        EXPECT_EQ(expected(kind, floats), PF_Err_NONE) << kind;
    }
    // The codes a host fails calls with include a cancelled render and memory running out; each
    // comes back from every call that carries one.
    std::set<PF_Err> seen;
    RenderUse classic = floats;
    classic.layerPixels = 0;
    for (int i = 0; i < 200; ++i) {
        const SoakFault checkouts = SoakFaults::make("failing checkouts", random, 16);
        EXPECT_EQ(checkouts.expected(classic, 16), checkouts.plan.checkoutError);
        seen.insert(checkouts.plan.checkoutError);
        const SoakFault iteration = SoakFaults::make("float iteration error", random, 16);
        EXPECT_EQ(iteration.expected(floats, 16), iteration.plan.iterateFloatError);
        EXPECT_EQ(iteration.expected(eight, 16), PF_Err_NONE);
        const SoakFault pixels = SoakFaults::make("failing layer pixels", random, 16);
        EXPECT_EQ(pixels.expected(eight, 16), pixels.plan.layerPixelsError);
        const SoakFault checkin = SoakFaults::make("checkin error", random, 16);
        EXPECT_EQ(checkin.expected(eight, 16), checkin.plan.checkinError);
    }
    EXPECT_EQ(seen.count(PF_Interrupt_CANCEL), 1u);
    EXPECT_EQ(seen.count(PF_Err_OUT_OF_MEMORY), 1u);
    // A smart render reads the custom layer by a layer checkout, not a parameter checkout.
    SoakFault layerOnly = SoakFaults::make("failing checkouts", random, 16);
    layerOnly.plan.failingCheckouts = {8};
    EXPECT_EQ(layerOnly.expected(eight, 16), PF_Err_NONE);
}

TEST(SoakFaults, DeclarationsAndAboutFailWithTheirCodes)
{
    SoakCases random(8);
    for (int i = 0; i < 20; ++i) {
        const SoakFault fault = SoakFaults::make("failing add_param", random, 16);
        EXPECT_EQ(fault.expected(RenderUse{}, 16), fault.plan.addParamError);
        EXPECT_EQ(fault.expected(RenderUse{}, fault.plan.failAddParamCall - 1), PF_Err_NONE);
    }
    EXPECT_EQ(SoakFaults::make("null add_param", random, 16).expected(RenderUse{}, 16),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(SoakFaults::make("missing ANSI suite in about", random, 16).expected(RenderUse{}, 16),
              PF_Err_BAD_CALLBACK_PARAM);
}

} // namespace
} // namespace Tessarine::Lamino
