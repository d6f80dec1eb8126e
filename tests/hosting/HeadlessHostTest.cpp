// The headless host itself, driven through a stand-in entry point (no plug-in file needed): the
// PiPL reader on good and malformed resources, parameter values and their animation as the
// effect checks them out, the suites and callbacks, the books and the fault plan.
#include "hosting/HeadlessHost.h"
#include "hosting/HostCallbacks.h"
#include "hosting/Pipl.h"
#include "hosting/World.h"

#include "AE_EffectCBSuites.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <thread>

using namespace Tessarine::Lamino;

namespace {

// ------------------------------------------------------------------ PiPL

class PiplBuilder {
public:
    PiplBuilder& property(const char (&key)[5], std::vector<uint8_t> data, int64_t declared = -1)
    {
        ++count;
        putU32(fourCharCode("8BIM"));
        putU32(fourCharCode(key));
        putU32(0);
        putU32(uint32_t(declared >= 0 ? declared : int64_t(data.size())));
        while (data.size() % 4 != 0) {
            data.push_back(0);
        }
        body.insert(body.end(), data.begin(), data.end());
        return *this;
    }
    static std::vector<uint8_t> u32(uint32_t value) { return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)}; }
    static std::vector<uint8_t> pascal(const std::string& text)
    {
        std::vector<uint8_t> data{uint8_t(text.size())};
        for (char character : text) {
            data.push_back(uint8_t(character));
        }
        return data;
    }
    std::vector<uint8_t> bytes() const
    {
        std::vector<uint8_t> all{1, 0, 0, 0, 0, 0};
        std::vector<uint8_t> countBytes = u32(count);
        all.insert(all.end(), countBytes.begin(), countBytes.end());
        all.insert(all.end(), body.begin(), body.end());
        return all;
    }

private:
    void putU32(uint32_t value)
    {
        std::vector<uint8_t> data = u32(value);
        body.insert(body.end(), data.begin(), data.end());
    }
    uint32_t count = 0;
    std::vector<uint8_t> body;
};

PiplBuilder effectPipl()
{
    PiplBuilder builder;
    builder.property("kind", PiplBuilder::u32(fourCharCode("eFKT")))
        .property("name", PiplBuilder::pascal("Test Effect"))
        .property("catg", PiplBuilder::pascal("Tests"))
        .property("8664", {'E', 'n', 't', 'r', 'y', 0}, 8)
        .property("ePVR", {2, 0, 0, 0})
        .property("eSVR", {13, 0, 14, 0})
        .property("eVER", PiplBuilder::u32(0x00080001))
        .property("eINF", {0, 0}, 2)
        .property("eGLO", PiplBuilder::u32(0x02000400))
        .property("eGL2", PiplBuilder::u32(8))
        .property("aeFL", PiplBuilder::u32(8))
        .property("eMNA", PiplBuilder::pascal("Test_Effect"));
    return builder;
}

TEST(Pipl, DecodesEveryPropertyOfAnEffectAndKeepsTheRawBytes)
{
    std::vector<uint8_t> bytes = effectPipl().bytes();
    Pipl pipl = Pipl::parse(bytes);
    EXPECT_EQ(pipl.raw, bytes);
    ASSERT_EQ(pipl.properties.size(), 12u);
    EXPECT_EQ(*pipl.kind, fourCharCode("eFKT"));
    EXPECT_EQ(*pipl.name, "Test Effect");
    EXPECT_EQ(*pipl.category, "Tests");
    EXPECT_EQ(*pipl.entryPoint, "Entry");
    EXPECT_EQ(pipl.piplVersion->major, 2);
    EXPECT_EQ(pipl.specVersion->major, 13);
    EXPECT_EQ(pipl.specVersion->minor, 14);
    EXPECT_EQ(*pipl.effectVersion, 0x00080001u);
    EXPECT_EQ(*pipl.infoFlags, 0u);
    EXPECT_EQ(*pipl.outFlags, 0x02000400u);
    EXPECT_EQ(*pipl.outFlags2, 8u);
    EXPECT_EQ(*pipl.aeFlags, 8u);
    EXPECT_EQ(*pipl.matchName, "Test_Effect");
    EXPECT_FALSE(pipl.supportUrl);
    const PiplProperty* info = pipl.find(fourCharCode("eINF"));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->length, 2u);      // as declared
    EXPECT_EQ(info->data.size(), 4u);  // as stored
    EXPECT_EQ(pipl.properties[1].offset, 10u + 16u + 4u + 16u);
    EXPECT_EQ(fourCharText(fourCharCode("8664")), "8664");
    EXPECT_EQ(fourCharText(0x41000142), "A\\x00\\x01B");
}

TEST(Pipl, RoundsUnpaddedLengthsUpToWholeWords)
{
    // "Test Effect" as a Pascal string is 12 bytes; "Tests" is 6, declared unpadded.
    PiplBuilder builder;
    builder.property("catg", PiplBuilder::pascal("Tests"), 6).property("eMNA", PiplBuilder::pascal("M"), 2);
    Pipl pipl = Pipl::parse(builder.bytes());
    EXPECT_EQ(*pipl.category, "Tests");
    EXPECT_EQ(*pipl.matchName, "M");
}

TEST(Pipl, EveryTruncationIsReportedNeverReadPast)
{
    std::vector<uint8_t> bytes = effectPipl().bytes();
    for (size_t size = 0; size < bytes.size(); ++size) {
        // A copy of exactly `size` bytes, so that a read past the end is a read past the buffer.
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + ptrdiff_t(size));
        EXPECT_THROW(Pipl::parse(cut.data(), cut.size()), PiplError) << size << " bytes";
    }
}

TEST(Pipl, MalformedResourcesGiveReadableErrors)
{
    auto messageOf = [](const std::vector<uint8_t>& bytes) {
        try {
            Pipl::parse(bytes);
        } catch (const PiplError& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    std::vector<uint8_t> bigEndian = effectPipl().bytes();
    bigEndian[0] = 0;
    bigEndian[1] = 1;
    EXPECT_NE(messageOf(bigEndian).find("not a little-endian"), std::string::npos);

    std::vector<uint8_t> hugeCount = effectPipl().bytes();
    hugeCount[9] = 0x7F;
    EXPECT_NE(messageOf(hugeCount).find("cannot hold"), std::string::npos);

    // A length near 4 GiB must not wrap around when rounded up.
    PiplBuilder huge;
    huge.property("name", PiplBuilder::pascal("x"), 0xFFFFFFFF);
    EXPECT_NE(messageOf(huge.bytes()).find("'name'"), std::string::npos);

    PiplBuilder overrun;
    overrun.property("name", {40, 'a', 'b', 'c'});
    EXPECT_NE(messageOf(overrun.bytes()).find("overruns"), std::string::npos);

    PiplBuilder unterminated;
    unterminated.property("8664", {'M', 'a', 'i', 'n'});
    EXPECT_NE(messageOf(unterminated.bytes()).find("terminating zero"), std::string::npos);

    PiplBuilder shortValue;
    shortValue.property("eGLO", {1, 0}, 2);
    EXPECT_NE(messageOf(shortValue.bytes()).find("needs 4"), std::string::npos);

    PiplBuilder twice;
    twice.property("name", PiplBuilder::pascal("a")).property("name", PiplBuilder::pascal("b"));
    EXPECT_NE(messageOf(twice.bytes()).find("second time"), std::string::npos);
}

TEST(PluginModule, FilesThatAreNoEffectGiveReadableErrors)
{
    auto messageOf = [](const std::string& path) {
        try {
            PluginModule module(path);
        } catch (const PluginLoadError& error) {
            return std::string(error.what());
        }
        return std::string("loaded");
    };
    EXPECT_NE(messageOf("no-such-plugin.aex").find("no-such-plugin.aex: cannot be loaded"), std::string::npos);
    EXPECT_NE(messageOf("kernel32.dll").find("no PIPL resource"), std::string::npos);
}

// ------------------------------------------------------------------ a stand-in effect

using Behaviour = std::function<PF_Err(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef**, PF_LayerDef*)>;
Behaviour behaviour;

PF_Err standInEntry(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[],
                    PF_LayerDef* output, void*)
{
    return behaviour ? behaviour(cmd, in, out, params, output) : PF_Err_NONE;
}

enum Index { kSlider = 1, kAngle, kFixed, kFloat, kCheckbox, kPopup, kLayer, kCount = kLayer };

PF_Err declare(PF_InData* in, PF_ParamType type, const char* name, void (*fill)(PF_ParamDef&))
{
    PF_ParamDef def{};
    def.param_type = type;
    in->utils->ansi.strcpy(def.name, name);
    fill(def);
    return in->inter.add_param(in->effect_ref, -1, &def);
}

PF_Err declareAll(PF_InData* in, PF_OutData* out)
{
    out->num_params = kCount + 1;
    PF_Err err = PF_Err_NONE;
    err = err ? err : declare(in, PF_Param_SLIDER, "Slider", [](PF_ParamDef& d) { d.u.sd.value = d.u.sd.dephault = 30; d.u.sd.valid_max = 2000; });
    err = err ? err : declare(in, PF_Param_ANGLE, "Angle", [](PF_ParamDef&) {});
    err = err ? err : declare(in, PF_Param_FIX_SLIDER, "Fixed", [](PF_ParamDef& d) { d.u.fd.value = 100 << 16; });
    err = err ? err : declare(in, PF_Param_FLOAT_SLIDER, "Float", [](PF_ParamDef&) {});
    err = err ? err : declare(in, PF_Param_CHECKBOX, "Checkbox", [](PF_ParamDef& d) { d.u.bd.value = 1; d.u.bd.u.nameptr = "tick"; });
    err = err ? err : declare(in, PF_Param_POPUP, "Popup", [](PF_ParamDef& d) { d.u.pd.value = 1; d.u.pd.num_choices = 2; d.u.pd.u.namesptr = "One|Two"; });
    err = err ? err : declare(in, PF_Param_LAYER, "Layer", [](PF_ParamDef& d) { d.u.ld.dephault = PF_LayerDefault_NONE; });
    return err;
}

PF_Err declaringEffect(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef**, PF_LayerDef*)
{
    return cmd == PF_Cmd_PARAMS_SETUP ? declareAll(in, out) : PF_Err_NONE;
}

class HeadlessHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        behaviour = declaringEffect;
        ASSERT_EQ(host.startUp(), PF_Err_NONE);
    }
    void TearDown() override { behaviour = nullptr; }

    // What a render's checkout of `index` hands the effect at time / scale seconds.
    PF_ParamDef checkedOut(int32_t index, A_long time = 0, A_u_long scale = 30)
    {
        PF_ParamDef seen{};
        PF_Err checkoutResult = PF_Err_NONE;
        behaviour = [&](PF_Cmd cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*) {
            if (cmd == PF_Cmd_RENDER) {
                checkoutResult = in->inter.checkout_param(in->effect_ref, index, in->current_time, in->time_step, in->time_scale, &seen);
                if (checkoutResult == PF_Err_NONE) {
                    in->inter.checkin_param(in->effect_ref, &seen);
                }
            }
            return PF_Err_NONE;
        };
        RenderRequest request{input.get(), output.get(), time, 1, scale};
        EXPECT_EQ(host.render(request), PF_Err_NONE);
        EXPECT_EQ(checkoutResult, PF_Err_NONE);
        return seen;
    }

    // Runs `body` inside a render, where the host serves callbacks and suites.
    void duringRender(const std::function<void(PF_InData*)>& body)
    {
        behaviour = [&](PF_Cmd cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*) {
            if (cmd == PF_Cmd_RENDER) {
                body(in);
            }
            return PF_Err_NONE;
        };
        RenderRequest request{input.get(), output.get()};
        EXPECT_EQ(host.render(request), PF_Err_NONE);
    }

    HeadlessHost host{&standInEntry};
    World input{WorldFormat::Argb8, 5, 3};
    World output{WorldFormat::Argb8, 5, 3};
};

// ------------------------------------------------------------------ parameters

TEST_F(HeadlessHostTest, RecordsDeclaredDefinitionsWithCopiedTexts)
{
    std::vector<ParameterDefinition> params = host.parameters();
    ASSERT_EQ(params.size(), size_t(kCount));
    EXPECT_EQ(params[kSlider - 1].name(), "Slider");
    EXPECT_EQ(params[kPopup - 1].choices, "One|Two");
    EXPECT_EQ(params[kCheckbox - 1].label, "tick");
    EXPECT_STREQ(params[kPopup - 1].paramDef().u.pd.u.namesptr, "One|Two");
    EXPECT_EQ(host.report(), "");
}

TEST_F(HeadlessHostTest, CheckoutHandsOutDeclaredValuesThenSetOnes)
{
    EXPECT_EQ(checkedOut(kSlider).u.sd.value, 30);
    EXPECT_EQ(checkedOut(kFixed).u.fd.value, 100 << 16);
    host.setValue(kSlider, 7);
    host.setValue(kFixed, 37.5);
    host.setValue(kAngle, -45);
    host.setValue(kFloat, 12.25);
    host.setValue(kPopup, 2);
    EXPECT_EQ(checkedOut(kSlider).u.sd.value, 7);
    EXPECT_EQ(checkedOut(kFixed).u.fd.value, 0x258000);
    EXPECT_EQ(checkedOut(kAngle).u.ad.value, -45 * 65536);
    EXPECT_EQ(checkedOut(kFloat).u.fs_d.value, 12.25);
    PF_ParamDef popup = checkedOut(kPopup);
    EXPECT_EQ(popup.u.pd.value, 2);
    EXPECT_STREQ(popup.u.pd.u.namesptr, "One|Two");
    EXPECT_EQ(std::string(popup.name), "Popup");
    EXPECT_THROW(host.setValue(kLayer, 1), std::invalid_argument);
    EXPECT_THROW(host.setValue(kCount + 1, 1), std::out_of_range);
}

TEST_F(HeadlessHostTest, AnimationInterpolatesTheStoredValueAtTheCheckoutTime)
{
    host.animate(kSlider, {0, 3, 1.0, 2.0});
    EXPECT_EQ(checkedOut(kSlider, 0).u.sd.value, 0);       // before the first key
    EXPECT_EQ(checkedOut(kSlider, 45).u.sd.value, 2);      // 1.5 rounds to 2
    EXPECT_EQ(checkedOut(kSlider, 90).u.sd.value, 3);      // after the last key
    host.animate(kFloat, {0, 25, 0.0, 1.0});
    EXPECT_DOUBLE_EQ(checkedOut(kFloat, 15).u.fs_d.value, 12.5);  // the double keeps its fraction
    EXPECT_DOUBLE_EQ(checkedOut(kFloat, 1, 3000).u.fs_d.value, 25.0 / 3000.0);
    host.animate(kFixed, {0, 25, 0.0, 1.0});
    EXPECT_EQ(checkedOut(kFixed, 15).u.fd.value, 0xC8000);  // 12.5 in 16.16
    EXPECT_EQ(checkedOut(kFixed, 1, 3).u.fd.value, 546133);  // 25/3 * 65536 = 546133.33, rounded
    host.animate(kAngle, {0, 390, 0.0, 3.0});
    EXPECT_EQ(checkedOut(kAngle, 30).u.ad.value, 130 * 65536);
    host.animate(kCheckbox, {0, 1, 0.0, 1.0});
    EXPECT_EQ(checkedOut(kCheckbox, 12).u.bd.value, 0);
    EXPECT_EQ(checkedOut(kCheckbox, 18).u.bd.value, 1);
    host.animate(kPopup, {1, 4, 0.0, 1.0});
    EXPECT_EQ(checkedOut(kPopup, 20).u.pd.value, 3);
}

TEST_F(HeadlessHostTest, LayerCheckoutGivesTheChosenWorldOrAnEmptyOne)
{
    EXPECT_EQ(checkedOut(kLayer).u.ld.data, nullptr);
    World custom(WorldFormat::Argb8, 4, 2);
    host.setLayer(kLayer, custom.get());
    PF_ParamDef layer = checkedOut(kLayer);
    EXPECT_EQ(layer.u.ld.data, custom.get()->data);
    EXPECT_EQ(layer.u.ld.width, 4);
    EXPECT_EQ(layer.u.ld.rowbytes, custom.rowbytes());
    EXPECT_EQ(checkedOut(0).u.ld.data, input.get()->data);  // parameter 0: the input layer
    host.setLayer(kLayer, nullptr);
    EXPECT_EQ(checkedOut(kLayer).u.ld.data, nullptr);
}

// ------------------------------------------------------------------ books and faults

TEST_F(HeadlessHostTest, BooksReportCheckoutsSuitesAndHandlesNotGivenBack)
{
    duringRender([](PF_InData* in) {
        PF_ParamDef def{};
        in->inter.checkout_param(in->effect_ref, kSlider, 0, 1, 30, &def);
        const void* suite = nullptr;
        in->pica_basicP->AcquireSuite(kPFHandleSuite, kPFHandleSuiteVersion1, &suite);
        in->utils->host_new_handle(24);
    });
    EXPECT_EQ(host.openCheckouts(), 1);
    EXPECT_EQ(host.heldSuites(), 1);
    EXPECT_EQ(host.liveHandles(), 1);
    std::string report = host.report();
    EXPECT_NE(report.find("parameter 1 checked out and not checked in"), std::string::npos) << report;
    EXPECT_NE(report.find("\"PF Handle Suite\" version 2 acquired 1 time(s) more"), std::string::npos) << report;
    EXPECT_NE(report.find("handle of 24 bytes not disposed"), std::string::npos) << report;
}

TEST_F(HeadlessHostTest, MisusedCallbacksAreRefusedAndNoted)
{
    duringRender([](PF_InData* in) {
        PF_ParamDef never{};
        EXPECT_NE(in->inter.checkin_param(in->effect_ref, &never), PF_Err_NONE);
        EXPECT_NE(in->pica_basicP->ReleaseSuite(kPFANSISuite, 1), kSPNoError);
        int local = 0;
        void* pointer = &local;
        in->utils->host_dispose_handle(&pointer);  // not a handle of the host: must not be freed
        PF_ParamDef def{};
        EXPECT_EQ(in->inter.add_param(in->effect_ref, -1, &def), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(in->utils->fill(in->effect_ref, nullptr, nullptr, nullptr), PF_Err_INVALID_CALLBACK);
    });
    std::vector<std::string> issues = host.issues();
    ASSERT_EQ(issues.size(), 5u) << host.report();
    EXPECT_NE(issues[4].find("fill"), std::string::npos);
    EXPECT_EQ(host.outstanding().size(), 0u);
}

TEST_F(HeadlessHostTest, SuitesAreServedByNameAndVersionOnly)
{
    FaultPlan plan;
    plan.missingSuites = {kPFIterateFloatSuite};
    host.setFaultPlan(plan);
    duringRender([](PF_InData* in) {
        const void* suite = &in;  // must be cleared on failure
        EXPECT_EQ(in->pica_basicP->AcquireSuite("PF Handle Suite", 1, &suite), HostCallbacks::kSuiteNotFound);
        EXPECT_EQ(suite, nullptr);
        EXPECT_EQ(in->pica_basicP->AcquireSuite("PF World Suite", 2, &suite), HostCallbacks::kSuiteNotFound);
        EXPECT_EQ(in->pica_basicP->AcquireSuite(kPFIterateFloatSuite, 1, &suite), HostCallbacks::kSuiteNotFound);
        ASSERT_EQ(in->pica_basicP->AcquireSuite(kPFANSISuite, kPFANSISuiteVersion1, &suite), kSPNoError);
        ASSERT_NE(suite, nullptr);
        EXPECT_EQ(in->pica_basicP->ReleaseSuite(kPFANSISuite, kPFANSISuiteVersion1), kSPNoError);
    });
    HostCounts counts = host.counts();
    EXPECT_EQ(counts.failedAcquisitions, 3);
    EXPECT_EQ(counts.suiteAcquisitions, 1);
    EXPECT_EQ(counts.suiteReleases, 1);
    EXPECT_EQ(host.report(), "");
}

TEST_F(HeadlessHostTest, FaultPlanFailsTheChosenCalls)
{
    FaultPlan plan;
    plan.failingCheckouts = {kAngle};
    plan.checkoutError = PF_Err_INVALID_INDEX;
    plan.failHandleAllocation = 2;
    plan.noPixelData8 = true;
    host.setFaultPlan(plan);
    duringRender([this](PF_InData* in) {
        PF_ParamDef def{};
        EXPECT_EQ(in->inter.checkout_param(in->effect_ref, kAngle, 0, 1, 30, &def), PF_Err_INVALID_INDEX);
        PF_Handle first = in->utils->host_new_handle(8);
        EXPECT_NE(first, nullptr);
        EXPECT_EQ(in->utils->host_new_handle(8), nullptr);
        in->utils->host_dispose_handle(first);
        PF_Pixel8* pixels = reinterpret_cast<PF_Pixel8*>(1);
        in->utils->get_pixel_data8(input.get(), nullptr, &pixels);
        EXPECT_EQ(pixels, nullptr);
    });
    EXPECT_EQ(host.counts().failedCheckouts, 1);
    EXPECT_EQ(host.counts().failedHandleAllocations, 1);

    plan = FaultPlan{};
    plan.failAddParamCall = 2;
    host.setFaultPlan(plan);
    behaviour = declaringEffect;
    EXPECT_EQ(host.paramsSetup(), PF_Err_OUT_OF_MEMORY);
    ASSERT_EQ(host.parameters().size(), 1u);  // the first stays declared
    EXPECT_EQ(host.parameters()[0].name(), "Slider");
}

// ------------------------------------------------------------------ utility callbacks and suites

TEST_F(HeadlessHostTest, PixelAddressOnlyForAWorldOfTheAskedDepth)
{
    World deep(WorldFormat::Argb16, 2, 2);
    World floats(WorldFormat::ArgbFloat, 2, 2);
    duringRender([&](PF_InData* in) {
        PF_Pixel8* pixels8 = nullptr;
        PF_Pixel16* pixels16 = nullptr;
        EXPECT_EQ(in->utils->get_pixel_data8(input.get(), nullptr, &pixels8), PF_Err_NONE);
        EXPECT_EQ(static_cast<void*>(pixels8), input.get()->data);
        in->utils->get_pixel_data8(deep.get(), nullptr, &pixels8);
        EXPECT_EQ(pixels8, nullptr);
        EXPECT_EQ(in->utils->get_pixel_data16(deep.get(), nullptr, &pixels16), PF_Err_NONE);
        EXPECT_EQ(static_cast<void*>(pixels16), deep.get()->data);
        in->utils->get_pixel_data16(input.get(), nullptr, &pixels16);
        EXPECT_EQ(pixels16, nullptr);
        in->utils->get_pixel_data8(floats.get(), nullptr, &pixels8);
        in->utils->get_pixel_data16(floats.get(), nullptr, &pixels16);
        EXPECT_EQ(pixels8, nullptr);
        EXPECT_EQ(pixels16, nullptr);
    });
}

TEST_F(HeadlessHostTest, HandlesDereferenceToTheirDataAndKeepItWhenResized)
{
    duringRender([](PF_InData* in) {
        const void* acquired = nullptr;
        ASSERT_EQ(in->pica_basicP->AcquireSuite(kPFHandleSuite, kPFHandleSuiteVersion1, &acquired), kSPNoError);
        auto suite = static_cast<const PF_HandleSuite1*>(acquired);
        PF_Handle handle = suite->host_new_handle(16);
        ASSERT_NE(handle, nullptr);
        auto data = static_cast<char*>(suite->host_lock_handle(handle));
        EXPECT_EQ(data, *handle);
        std::strcpy(data, "kept");
        suite->host_unlock_handle(handle);
        EXPECT_EQ(suite->host_resize_handle(1 << 20, &handle), PF_Err_NONE);
        EXPECT_EQ(suite->host_get_handle_size(handle), uint64_t(1) << 20);
        EXPECT_STREQ(static_cast<char*>(*handle), "kept");
        suite->host_dispose_handle(handle);
        in->pica_basicP->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion1);
    });
    EXPECT_EQ(host.counts().handlesAllocated, 1);
    EXPECT_EQ(host.counts().handlesDisposed, 1);
    EXPECT_EQ(host.report(), "");
}

struct DenseCopy {
    std::vector<PF_PixelFloat> pixels;
    A_long width;
    int calls = 0;
};

PF_Err copyPixel(void* refcon, A_long x, A_long y, PF_PixelFloat* in, PF_PixelFloat* out)
{
    auto copy = static_cast<DenseCopy*>(refcon);
    copy->pixels[size_t(y * copy->width + x)] = *in;
    *out = PF_PixelFloat{1, float(x), float(y), 0};
    ++copy->calls;
    return PF_Err_NONE;
}

TEST_F(HeadlessHostTest, FloatIterationVisitsEveryPixelOfPaddedWorlds)
{
    World source(WorldFormat::ArgbFloat, 3, 4, 5);
    World destination(WorldFormat::ArgbFloat, 3, 4, 2);
    for (A_long y = 0; y < 4; ++y) {
        for (A_long x = 0; x < 3; ++x) {
            *source.pixelFloat(x, y) = PF_PixelFloat{float(x), float(y), -1.5f, 2.5f};
        }
    }
    DenseCopy copy{std::vector<PF_PixelFloat>(12), 3};
    duringRender([&](PF_InData* in) {
        const void* acquired = nullptr;
        ASSERT_EQ(in->pica_basicP->AcquireSuite(kPFIterateFloatSuite, kPFIterateFloatSuiteVersion1, &acquired), kSPNoError);
        auto suite = static_cast<const PF_IterateFloatSuite1*>(acquired);
        EXPECT_EQ(suite->iterate(in, 0, 4, source.get(), nullptr, &copy, &copyPixel, destination.get()), PF_Err_NONE);
        in->pica_basicP->ReleaseSuite(kPFIterateFloatSuite, kPFIterateFloatSuiteVersion1);
    });
    EXPECT_EQ(copy.calls, 12);
    for (A_long y = 0; y < 4; ++y) {
        for (A_long x = 0; x < 3; ++x) {
            EXPECT_EQ(copy.pixels[size_t(y * 3 + x)].alpha, float(x));
            EXPECT_EQ(copy.pixels[size_t(y * 3 + x)].red, float(y));
            EXPECT_EQ(destination.pixelFloat(x, y)->red, float(x));
            EXPECT_EQ(destination.pixelFloat(x, y)->green, float(y));
        }
    }
    EXPECT_TRUE(destination.guardIntact());
    EXPECT_TRUE(source.guardIntact());
}

TEST_F(HeadlessHostTest, FloatIterationStopsAtThePixelFunctionsError)
{
    World world(WorldFormat::ArgbFloat, 4, 4);
    int calls = 0;
    duringRender([&](PF_InData* in) {
        const void* acquired = nullptr;
        in->pica_basicP->AcquireSuite(kPFIterateFloatSuite, 1, &acquired);
        auto suite = static_cast<const PF_IterateFloatSuite1*>(acquired);
        auto failOnThird = [](void* refcon, A_long, A_long, PF_PixelFloat*, PF_PixelFloat*) -> PF_Err {
            return ++*static_cast<int*>(refcon) == 3 ? PF_Err_OUT_OF_MEMORY : PF_Err_NONE;
        };
        EXPECT_EQ(suite->iterate(in, 0, 4, world.get(), nullptr, &calls, failOnThird, world.get()), PF_Err_OUT_OF_MEMORY);
        // An 8-bit world is not float: refused without a call.
        EXPECT_EQ(suite->iterate(in, 0, 4, nullptr, nullptr, &calls, failOnThird, input.get()), PF_Err_BAD_CALLBACK_PARAM);
        in->pica_basicP->ReleaseSuite(kPFIterateFloatSuite, 1);
    });
    EXPECT_EQ(calls, 3);
}

TEST_F(HeadlessHostTest, AboutTextComesFromTheAnsiSuitesSprintfAndIsBounded)
{
    behaviour = [](PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef**, PF_LayerDef*) {
        if (cmd != PF_Cmd_ABOUT) {
            return PF_Err_NONE;
        }
        const void* acquired = nullptr;
        in->pica_basicP->AcquireSuite(kPFANSISuite, kPFANSISuiteVersion1, &acquired);
        auto ansi = static_cast<const PF_ANSICallbacksSuite1*>(acquired);
        ansi->sprintf(out->return_msg, "%s v%d.%d\r%s", "Name", 1, 0, "Name");
        in->pica_basicP->ReleaseSuite(kPFANSISuite, kPFANSISuiteVersion1);
        return PF_Err_NONE;
    };
    EXPECT_EQ(host.about(), PF_Err_NONE);
    EXPECT_EQ(host.aboutText(), "Name v1.0\rName");

    std::string tooLong(400, 'x');
    behaviour = [&](PF_Cmd, PF_InData* in, PF_OutData* out, PF_ParamDef**, PF_LayerDef*) {
        in->utils->ansi.sprintf(out->return_msg, "%s", tooLong.c_str());
        return PF_Err_NONE;
    };
    EXPECT_EQ(host.about(), PF_Err_NONE);
    EXPECT_EQ(host.aboutText(), std::string(255, 'x'));
    EXPECT_EQ(host.issues().size(), 1u);
}

// ------------------------------------------------------------------ commands

TEST_F(HeadlessHostTest, ResultsAreReturnedAndExceptionsStopAtTheHost)
{
    behaviour = [](PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef**, PF_LayerDef*) -> PF_Err {
        if (cmd == PF_Cmd_GLOBAL_SETUP) {
            EXPECT_EQ(in->version.major, 13);
            EXPECT_EQ(in->appl_id, A_long(fourCharCode("FXTC")));
            out->my_version = PF_VERSION(1, 0, 0, PF_Stage_DEVELOP, 1);
            out->out_flags2 = PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG;
            return PF_Err_NONE;
        }
        if (cmd == PF_Cmd_RENDER) {
            throw std::runtime_error("escaped");
        }
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    };
    EXPECT_EQ(host.globalSetup(), PF_Err_NONE);
    EXPECT_EQ(host.globalSetupResult().myVersion, 0x00080001u);
    EXPECT_EQ(host.globalSetupResult().outFlags2, 8);
    EXPECT_EQ(host.sendCommand(PF_Cmd_SEQUENCE_SETUP), PF_Err_INTERNAL_STRUCT_DAMAGED);
    RenderRequest request{input.get(), output.get()};
    EXPECT_EQ(host.render(request), HeadlessHost::kExceptionEscaped);
    ASSERT_EQ(host.issues().size(), 1u);
    EXPECT_NE(host.issues()[0].find("PF_Cmd_RENDER"), std::string::npos);
}

TEST_F(HeadlessHostTest, RendersFromSeveralThreadsRunOneAtATime)
{
    std::atomic<int> inside{0};
    std::atomic<int> mostInside{0};
    std::atomic<int> renders{0};
    behaviour = [&](PF_Cmd cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*) {
        if (cmd == PF_Cmd_RENDER) {
            int now = ++inside;
            mostInside = std::max(mostInside.load(), now);
            PF_ParamDef def{};
            in->inter.checkout_param(in->effect_ref, kSlider, in->current_time, 1, in->time_scale, &def);
            std::this_thread::yield();
            in->inter.checkin_param(in->effect_ref, &def);
            ++renders;
            --inside;
        }
        return PF_Err_NONE;
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            World in(WorldFormat::Argb8, 8, 8);
            World out(WorldFormat::Argb8, 8, 8);
            for (int frame = 0; frame < 10; ++frame) {
                host.render(RenderRequest{in.get(), out.get(), frame});
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(renders.load(), 40);
    EXPECT_EQ(mostInside.load(), 1);
    EXPECT_EQ(host.report(), "");
}

TEST_F(HeadlessHostTest, AnEffectWritingItsInputOrOutsideItsOutputIsNoticed)
{
    duringRender([this](PF_InData*) { input.pixel8(0, 0)->red = 1; });
    ASSERT_EQ(host.issues().size(), 1u);
    EXPECT_NE(host.issues()[0].find("input layer"), std::string::npos);
    EXPECT_TRUE(output.guardIntact());
    reinterpret_cast<uint8_t*>(output.pixel8(4, 0))[4] = 0;  // first padding byte of row 0
    EXPECT_FALSE(output.guardIntact());
}

}  // namespace
