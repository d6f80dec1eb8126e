// The built plug-in as the host finds and drives it: its property list, its one export, and the
// commands outside rendering.

#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

#include <gtest/gtest.h>

#include "PluginTestSupport.h"
#include "host/EffectParameters.h"

namespace Tessarine::Lamino {
namespace {

void appendLe32(std::vector<uint8_t>& bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(uint8_t(value >> (8 * i)));
    }
}

void appendProperty(std::vector<uint8_t>& bytes, const char* key, std::vector<uint8_t> data,
                    uint32_t length)
{
    bytes.insert(bytes.end(), {'M', 'I', 'B', '8'});
    bytes.insert(bytes.end(), {uint8_t(key[3]), uint8_t(key[2]), uint8_t(key[1]), uint8_t(key[0])});
    appendLe32(bytes, 0);
    appendLe32(bytes, length);
    data.resize((data.size() + 3) / 4 * 4, 0);
    bytes.insert(bytes.end(), data.begin(), data.end());
}

std::vector<uint8_t> pascalString(const char* text)
{
    const std::string characters(text);
    std::vector<uint8_t> data(characters.begin(), characters.end());
    data.insert(data.begin(), uint8_t(characters.size()));
    return data;
}

std::vector<uint8_t> le32(uint32_t value)
{
    std::vector<uint8_t> data;
    appendLe32(data, value);
    return data;
}

// The property list the host must find, written out independently of the resource script.
std::vector<uint8_t> expectedPipl()
{
    std::vector<uint8_t> bytes{1, 0};
    appendLe32(bytes, 0);
    appendLe32(bytes, 12);
    appendProperty(bytes, "kind", {'T', 'K', 'F', 'e'}, 4);
    appendProperty(bytes, "name", pascalString("Orla Lamino"), 12);
    appendProperty(bytes, "catg", pascalString("Orla"), 8);
    const char entry[] = "EntryPointFunc";
    appendProperty(bytes, "8664", std::vector<uint8_t>(entry, entry + sizeof(entry)), 16);
    appendProperty(bytes, "ePVR", {2, 0, 0, 0}, 4);
    appendProperty(bytes, "eSVR", {13, 0, 28, 0}, 4); // effect API 13.28
    appendProperty(bytes, "eVER", le32(0x00090001), 4); // 1.2.0, development, build 1
    appendProperty(bytes, "eINF", {0, 0}, 2);
    // I_USE_SHUTTER_ANGLE, DEEP_COLOR_AWARE
    appendProperty(bytes, "eGLO", le32(0x02080000), 4);
    // PARAM_GROUP_START_COLLAPSED_FLAG, SUPPORTS_SMART_RENDER, FLOAT_COLOR_AWARE,
    // SUPPORTS_THREADED_RENDERING
    appendProperty(bytes, "eGL2", le32(0x08001408), 4);
    appendProperty(bytes, "aeFL", le32(8), 4);
    appendProperty(bytes, "eMNA", pascalString("Orla_Lamino"), 12);
    return bytes;
}

// The names the module exports, read from its export directory.
std::vector<std::string> exportedNames(HMODULE module)
{
    auto base = reinterpret_cast<const uint8_t*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::vector<std::string> result;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        result.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    }
    EXPECT_EQ(exports->NumberOfFunctions, exports->NumberOfNames);
    return result;
}

TEST(PluginRegistration, PropertyListMatchesByteForByte)
{
    HeadlessHost host(builtPluginPath());
    ASSERT_NE(host.pipl(), nullptr);
    EXPECT_EQ(host.pipl()->raw, expectedPipl());
    EXPECT_EQ(host.pipl()->name, "Orla Lamino");
    EXPECT_EQ(host.pipl()->category, "Orla");
    EXPECT_EQ(host.pipl()->entryPoint, "EntryPointFunc");
}

TEST(PluginRegistration, ExportsOnlyTheEntryPointNamedByItsPropertyList)
{
    HMODULE module = LoadLibraryA(builtPluginPath().c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(exportedNames(module), std::vector<std::string>{"EntryPointFunc"});
    EXPECT_NE(GetProcAddress(module, "EntryPointFunc"), nullptr);
    FreeLibrary(module);
}

TEST(PluginCommands, GlobalSetupReportsVersionAndFlagsAndKeepsTheHostContext)
{
    HostGlContext hostContext;
    HeadlessHost host(builtPluginPath());
    ASSERT_EQ(host.globalSetup(), PF_Err_NONE);
    EXPECT_TRUE(hostContext.isCurrent());
    const GlobalSetupResult result = host.globalSetupResult();
    EXPECT_EQ(result.myVersion, PF_VERSION(1, 2, 0, PF_Stage_DEVELOP, 1));
    EXPECT_EQ(result.outFlags, PF_OutFlag_I_USE_SHUTTER_ANGLE | PF_OutFlag_DEEP_COLOR_AWARE);
    EXPECT_EQ(result.outFlags2, PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG |
                                    PF_OutFlag2_SUPPORTS_SMART_RENDER |
                                    PF_OutFlag2_FLOAT_COLOR_AWARE |
                                    PF_OutFlag2_SUPPORTS_THREADED_RENDERING);
    ASSERT_EQ(host.paramsSetup(), PF_Err_NONE);
    EXPECT_EQ(host.lastOutData().num_params, kControlCount);
    ASSERT_EQ(host.globalSetdown(), PF_Err_NONE);
    EXPECT_TRUE(hostContext.isCurrent());
    EXPECT_EQ(host.report(), "");
}

TEST(PluginCommands, AboutWritesItsText)
{
    HeadlessHost host(builtPluginPath());
    ASSERT_EQ(host.about(), PF_Err_NONE);
    EXPECT_EQ(host.aboutText(), "Orla Lamino v1.2\rOrla Lamino");
    EXPECT_EQ(host.heldSuites(), 0);
    EXPECT_EQ(host.report(), "");
}

TEST(PluginCommands, AboutWithoutTheAnsiSuiteFailsAndLeavesTheMessage)
{
    HeadlessHost host(builtPluginPath());
    FaultPlan plan;
    plan.missingSuites = {"PF ANSI Suite"};
    host.setFaultPlan(plan);
    EXPECT_EQ(host.about(), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.lastOutData().return_msg[0], '\0');
    EXPECT_EQ(host.heldSuites(), 0);
    EXPECT_EQ(host.counts().suiteAcquisitions, 0);
}

TEST(PluginCommands, AboutWithANullSprintfFailsWithoutCalling)
{
    HeadlessHost host(builtPluginPath());
    FaultPlan plan;
    plan.nullCallbacks = {"ansi.sprintf"};
    host.setFaultPlan(plan);
    EXPECT_EQ(host.about(), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.lastOutData().return_msg[0], '\0');
    EXPECT_EQ(host.heldSuites(), 0);
    EXPECT_EQ(host.issues(), std::vector<std::string>{});

    host.setFaultPlan(FaultPlan{});
    ASSERT_EQ(host.about(), PF_Err_NONE);
    EXPECT_EQ(host.aboutText(), "Orla Lamino v1.2\rOrla Lamino");
}

TEST(PluginCommands, CommandsOutsideTheTableDoNothing)
{
    HeadlessHost host(builtPluginPath());
    ASSERT_EQ(host.globalSetup(), PF_Err_NONE);
    host.resetBooks();
    for (PF_Cmd cmd : {PF_Cmd(2), PF_Cmd(5), PF_Cmd(12), PF_Cmd(25), PF_Cmd(99)}) {
        SCOPED_TRACE(cmd);
        EXPECT_EQ(host.sendCommand(cmd), PF_Err_NONE);
        const PF_OutData out = host.lastOutData();
        EXPECT_EQ(out.return_msg[0], '\0');
    }
    const HostCounts counts = host.counts();
    EXPECT_EQ(counts.suiteAcquisitions + counts.checkouts + counts.addParams, 0);
}

TEST(PluginCommands, SetupAfterSetdownLeavesThePluginUsable)
{
    PluginHost plugin;
    const ArgbImage input = smoothPicture(32, 24);
    ArgbImage first, second;
    ASSERT_EQ(plugin.render(input, first), PF_Err_NONE);
    for (int cycle = 0; cycle < 3; ++cycle) {
        ASSERT_EQ(plugin.host().globalSetdown(), PF_Err_NONE);
        ASSERT_EQ(plugin.host().globalSetup(), PF_Err_NONE);
        ASSERT_EQ(plugin.render(input, second), PF_Err_NONE);
        EXPECT_EQ(second.argb, first.argb);
    }
    EXPECT_EQ(plugin.host().report(), "");
}

TEST(PluginCommands, FailedRenderRestoresTheHostContextAndGivesEverythingBack)
{
    PluginHost plugin;
    HostGlContext hostContext;
    const ArgbImage input = smoothPicture(16, 16);
    ArgbImage output;
    FaultPlan plan;
    plan.noPixelData8 = true;
    plugin.host().setFaultPlan(plan);
    EXPECT_EQ(plugin.render(input, output), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(hostContext.isCurrent());

    // A custom layer whose rows are shorter than its width fails after the input's upload.
    plugin.host().setFaultPlan(FaultPlan{});
    World custom = toWorld(smoothPicture(8, 8));
    custom.get()->rowbytes = 8;
    plugin.host().setLayer(kCustomLayer, custom.get());
    EXPECT_EQ(plugin.render(input, output), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(hostContext.isCurrent());
    plugin.host().setLayer(kCustomLayer, nullptr);

    plugin.host().setFaultPlan(FaultPlan{});
    EXPECT_EQ(plugin.host().outstanding(), std::vector<std::string>{});
    ASSERT_EQ(plugin.render(input, output), PF_Err_NONE);
    EXPECT_TRUE(hostContext.isCurrent());
}

TEST(PluginCommands, RenderWithoutAnInputLayerIsRefused)
{
    PluginHost plugin;
    ArgbImage empty(0, 0), output;
    EXPECT_EQ(plugin.render(empty, output), PF_Err_BAD_CALLBACK_PARAM);
}

} // namespace
} // namespace Tessarine::Lamino
