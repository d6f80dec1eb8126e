// The built plug-in against a host whose calls fail or whose callbacks are missing: each fault
// gives an error code (or, where the frame is still right, success), the plug-in gives back
// everything it took, and the host's own OpenGL context is current afterwards.

#include <gtest/gtest.h>

#include "PluginTestSupport.h"
#include "hosting/HostCallbacks.h"

namespace Tessarine::Lamino {
namespace {

class HostFaultTest : public ::testing::Test {
protected:
    PF_Err renderWith(const FaultPlan& plan, WorldFormat format = WorldFormat::Argb8)
    {
        World input(format, 12, 8), output(format, 12, 8);
        input.fillBytes(100);
        RenderRequest request;
        request.input = input.get();
        request.output = output.get();
        plugin.host().setFaultPlan(plan);
        const PF_Err err = plugin.host().render(request);
        plugin.host().setFaultPlan(FaultPlan{});
        return err;
    }

    void expectClean()
    {
        EXPECT_TRUE(hostContext.isCurrent());
        EXPECT_EQ(plugin.host().outstanding(), std::vector<std::string>{});
        EXPECT_EQ(plugin.host().issues(), std::vector<std::string>{});
        plugin.host().resetBooks();
        // The plug-in still renders afterwards.
        EXPECT_EQ(renderWith(FaultPlan{}), PF_Err_NONE);
    }

    PluginHost plugin;
    HostGlContext hostContext;
};

TEST_F(HostFaultTest, FailedHostCallsInARenderGiveErrors)
{
    // The entry point answers every failed host call with PF_Err_BAD_CALLBACK_PARAM. An 8-bit
    // frame is read straight into the output world's rows and needs no handle.
    FaultPlan lockFails;
    lockFails.failHandleLock = true;
    EXPECT_EQ(renderWith(lockFails), PF_Err_NONE);
    expectClean();

    FaultPlan noDeepPixels;
    noDeepPixels.noPixelData16 = true;
    EXPECT_EQ(renderWith(noDeepPixels, WorldFormat::Argb16), PF_Err_BAD_CALLBACK_PARAM);
    expectClean();
}

TEST_F(HostFaultTest, MissingCallbacksInARenderGiveErrors)
{
    FaultPlan noPixels;
    noPixels.nullCallbacks = {"get_pixel_data8"};
    EXPECT_NE(renderWith(noPixels), PF_Err_NONE);
    expectClean();
    // An 8-bit render acquires no suite and allocates no handle.
    for (const char* name : {"host_lock_handle", "AcquireSuite"}) {
        SCOPED_TRACE(name);
        FaultPlan plan;
        plan.nullCallbacks = {name};
        EXPECT_EQ(renderWith(plan), PF_Err_NONE);
        expectClean();
    }
    FaultPlan noDeep;
    noDeep.nullCallbacks = {"get_pixel_data16"};
    EXPECT_NE(renderWith(noDeep, WorldFormat::Argb16), PF_Err_NONE);
    expectClean();
}

// Without checkout or checkin the controls cannot be read; the render goes on with the declared
// defaults, as it does when a checkout fails.
TEST_F(HostFaultTest, MissingParameterCallbacksLeaveTheDefaults)
{
    for (const char* name : {"checkout_param", "checkin_param"}) {
        SCOPED_TRACE(name);
        FaultPlan plan;
        plan.nullCallbacks = {name};
        EXPECT_EQ(renderWith(plan), PF_Err_NONE);
        expectClean();
    }
}

// Failures the host reports while taking back what the plug-in gives back: the frame was made
// correctly, and nothing stays outstanding.
TEST_F(HostFaultTest, FailedGiveBacksLeaveNothingOutstanding)
{
    FaultPlan checkinFails;
    checkinFails.checkinError = PF_Err_BAD_CALLBACK_PARAM;
    EXPECT_EQ(renderWith(checkinFails), PF_Err_NONE);
    expectClean();

    FaultPlan releaseFails;
    releaseFails.releaseSuiteError = HostCallbacks::kBadParameter;
    EXPECT_EQ(renderWith(releaseFails), PF_Err_NONE);
    expectClean();
}

TEST_F(HostFaultTest, ParameterSetupFailsAtEveryAddParam)
{
    plugin.host().resetBooks();
    ASSERT_EQ(plugin.host().paramsSetup(), PF_Err_NONE);
    const int32_t calls = plugin.host().counts().addParams;
    ASSERT_GT(calls, 0);
    for (int32_t call = 1; call <= calls; ++call) {
        SCOPED_TRACE(call);
        plugin.host().resetBooks();
        FaultPlan plan;
        plan.failAddParamCall = call;
        plugin.host().setFaultPlan(plan);
        EXPECT_EQ(plugin.host().paramsSetup(), PF_Err_OUT_OF_MEMORY);
        EXPECT_EQ(plugin.host().counts().addParams, call); // it stops at the failed call
    }
    for (const char* name : {"add_param", "ansi.strcpy"}) {
        SCOPED_TRACE(name);
        FaultPlan plan;
        plan.nullCallbacks = {name};
        plugin.host().setFaultPlan(plan);
        EXPECT_EQ(plugin.host().paramsSetup(), PF_Err_BAD_CALLBACK_PARAM);
    }
    plugin.host().setFaultPlan(FaultPlan{});
    ASSERT_EQ(plugin.host().paramsSetup(), PF_Err_NONE);
    expectClean();
}

TEST_F(HostFaultTest, AboutFailsWithoutItsSuiteFunctions)
{
    FaultPlan plan;
    plan.nullCallbacks = {"AcquireSuite"};
    plugin.host().setFaultPlan(plan);
    EXPECT_EQ(plugin.host().about(), PF_Err_BAD_CALLBACK_PARAM);
    plan.nullCallbacks = {"ansi.sprintf"};
    plugin.host().setFaultPlan(plan);
    EXPECT_EQ(plugin.host().about(), PF_Err_BAD_CALLBACK_PARAM);
    plugin.host().setFaultPlan(FaultPlan{});
    expectClean();
}

// host_unlock_handle and host_dispose_handle return nothing, so the only way they fail is by
// being absent: the host hands them out as null in the utility callbacks and the handle suite
// alike. A render that needs them (a float frame is read back through a handle) fails with an
// error and gives everything back; an 8-bit one does not need them.
TEST_F(HostFaultTest, MissingHandleUnlockOrDisposeGiveErrors)
{
    for (const char* name : {"host_unlock_handle", "host_dispose_handle"}) {
        SCOPED_TRACE(name);
        HostSession owner;
        HostCommand session(owner, PF_Cmd_RENDER, FaultPlan{}, nullptr);
        HostCallbacks::removeCallbacks(session, {name});
        const bool unlock = std::string(name) == "host_unlock_handle";
        EXPECT_EQ(unlock ? (void*)session.utils.host_unlock_handle
                         : (void*)session.utils.host_dispose_handle, nullptr);
        EXPECT_EQ(unlock ? (void*)session.handleSuite.host_unlock_handle
                         : (void*)session.handleSuite.host_dispose_handle, nullptr);
        EXPECT_NE(unlock ? (void*)session.handleSuite.host_dispose_handle
                         : (void*)session.handleSuite.host_unlock_handle, nullptr);

        FaultPlan plan;
        plan.nullCallbacks = {name};
        EXPECT_EQ(renderWith(plan), PF_Err_NONE);
        expectClean();
        EXPECT_EQ(renderWith(plan, WorldFormat::ArgbFloat), PF_Err_BAD_CALLBACK_PARAM);
        expectClean();
    }
}

TEST_F(HostFaultTest, UnknownCallbackNamesAreRefused)
{
    FaultPlan plan;
    plan.nullCallbacks = {"no_such_callback"};
    EXPECT_THROW(plugin.host().setFaultPlan(plan), std::invalid_argument);
}

} // namespace
} // namespace Tessarine::Lamino
