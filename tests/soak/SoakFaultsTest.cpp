// The soak's faults: every kind makes a plan for the right command, and the code a fault must
// give follows what a clean render of the same kind called.

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
    return u;
}

TEST(SoakFaults, EveryKindMakesAPlanTheHostTakes)
{
    SoakCases random(3);
    HeadlessHost host(+[](PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef**, PF_LayerDef*, void*) {
        return PF_Err(PF_Err_NONE);
    });
    EXPECT_EQ(SoakFaults::kinds().size(), 25u);
    for (const std::string& kind : SoakFaults::kinds()) {
        SCOPED_TRACE(kind);
        const SoakFault fault = SoakFaults::make(kind, random, 16);
        EXPECT_NO_THROW(host.setFaultPlan(fault.plan));
        EXPECT_EQ(fault.command == FaultedCommand::About, kind.find("about") != std::string::npos ||
                                                              kind == "null ansi.sprintf");
    }
    EXPECT_THROW(SoakFaults::make("no such fault", random, 16), std::invalid_argument);
}

TEST(SoakFaults, ARenderFailsOnlyWhereItNeedsTheFailedCall)
{
    SoakCases random(5);
    const RenderUse eight = use(WorldFormat::Argb8, 0);
    const RenderUse floats = use(WorldFormat::ArgbFloat, 1, 2, 3);
    auto expected = [&](const char* kind, const RenderUse& u) {
        return SoakFaults::make(kind, random, 16).expected(u, 16);
    };
    for (const char* kind : {"handle lock gives null", "null host_unlock_handle",
                             "null host_dispose_handle", "missing handle suite",
                             "missing float iteration suite", "float iteration error",
                             "null AcquireSuite"}) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(expected(kind, eight), PF_Err_NONE);
        EXPECT_EQ(expected(kind, floats), PF_Err_BAD_CALLBACK_PARAM);
    }
    EXPECT_EQ(expected("no 8-bit pixel data", eight), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(expected("no 8-bit pixel data", use(WorldFormat::Argb16, 0)), PF_Err_NONE);
    EXPECT_EQ(expected("null get_pixel_data16", use(WorldFormat::Argb16, 0)),
              PF_Err_BAD_CALLBACK_PARAM);
    for (const char* kind : {"checkin error", "ReleaseSuite error", "missing ANSI suite",
                             "failing checkouts", "null checkout_param"}) {
        EXPECT_EQ(expected(kind, floats), PF_Err_NONE) << kind;
    }
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
    const SoakFault reads = SoakFaults::make("null checkin_param", random, 16);
    EXPECT_TRUE(reads.controlUnread(3));
    const SoakFault some = SoakFaults::make("failing checkouts", random, 16);
    ASSERT_FALSE(some.unreadControls.empty());
    EXPECT_TRUE(some.controlUnread(*some.unreadControls.begin()));
    EXPECT_EQ(some.plan.failingCheckouts, some.unreadControls);
}

} // namespace
} // namespace Tessarine::Lamino
