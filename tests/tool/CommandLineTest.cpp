#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tool/CommandLine.h"

using namespace Tessarine::Lamino;

namespace {

// Definitions shaped as the plug-in declares its controls, so that parsing is tested without it.
PF_ParamDef definition(PF_ParamType type, const char* label)
{
    PF_ParamDef def;
    std::memset(&def, 0, sizeof def);
    def.param_type = type;
    std::strncpy(def.name, label, sizeof def.name - 1);
    return def;
}

PF_ParamDef slider(const char* label, A_long low, A_long high, A_long dephault)
{
    PF_ParamDef def = definition(PF_Param_SLIDER, label);
    def.u.sd.valid_min = low, def.u.sd.valid_max = high,
    def.u.sd.dephault = def.u.sd.value = dephault;
    return def;
}

PF_ParamDef fixedPercent(const char* label, A_long dephault)
{
    PF_ParamDef def = definition(PF_Param_FIX_SLIDER, label);
    def.u.fd.valid_max = 100 << 16, def.u.fd.dephault = def.u.fd.value = dephault << 16;
    def.u.fd.precision = 1, def.u.fd.display_flags = PF_ValueDisplayFlag_PERCENT;
    return def;
}

std::vector<ControlOption> plugInControls()
{
    PF_ParamDef floatSlider = definition(PF_Param_FLOAT_SLIDER, "Offset Random");
    floatSlider.u.fs_d.valid_min = -1000.0f, floatSlider.u.fs_d.valid_max = 1000.0f;
    floatSlider.u.fs_d.display_flags = PF_ValueDisplayFlag_PERCENT;
    PF_ParamDef checkbox = definition(PF_Param_CHECKBOX, "Offset Both Direction");
    checkbox.u.bd.value = checkbox.u.bd.dephault = 1;
    PF_ParamDef popup = definition(PF_Param_POPUP, "Edge Type");
    popup.u.pd.num_choices = 4, popup.u.pd.dephault = popup.u.pd.value = 1;
    popup.u.pd.u.namesptr = "Normal|Repeat|Mirror|Clamp";
    const PF_ParamDef definitions[] = {
        slider("Slices", 1, 2000, 30),
        definition(PF_Param_ANGLE, "Angle"),
        fixedPercent("Size Random", 0),
        slider("Size Random Seed", 0, 10000, 0),
        floatSlider,
        slider("Offset Random Seed", 0, 10000, 0),
        checkbox,
        definition(PF_Param_LAYER, "Custom Layer"),
        fixedPercent("Layer Opacity", 100),
        slider("Layer Random Seed", 0, 10000, 0),
        popup,
    };
    std::vector<ControlOption> controls;
    for (A_long i = 0; i < A_long(std::size(definitions)); ++i) {
        controls.emplace_back(i + 1, definitions[i]);
    }
    return controls;
}

Plan resolved(const std::vector<std::string>& arguments, const std::vector<ControlOption>& controls)
{
    Plan plan = CommandLine::parse(arguments);
    CommandLine::resolveControls(plan, controls);
    return plan;
}

// The message of the UsageError that the arguments cause, or "" when they are accepted.
std::string usageError(const std::vector<std::string>& arguments)
{
    static const std::vector<ControlOption> controls = plugInControls();
    try {
        resolved(arguments, controls);
    } catch (const UsageError& error) {
        return error.what();
    }
    return "";
}

const ControlValue& valueOf(const Plan& plan, const std::string& name)
{
    for (const ControlSetting& setting : plan.controls) {
        if (setting.option.name == name) {
            return setting.value;
        }
    }
    throw std::runtime_error("no setting for " + name);
}

}  // namespace

TEST(CommandLine, OptionNamesFollowTheLabels)
{
    std::vector<std::string> names;
    for (const ControlOption& control : plugInControls()) {
        names.push_back(control.name);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"slices", "angle", "size-random", "size-random-seed",
                                        "offset-random", "offset-random-seed",
                                        "offset-both-direction", "custom-layer", "layer-opacity",
                                        "layer-random-seed", "edge-type"}));
    EXPECT_EQ(ControlOption::optionNameFor("  Odd -- Label 2 "), "odd-label-2");
}

TEST(CommandLine, RenderTakesEveryKindOfControl)
{
    std::vector<ControlOption> controls = plugInControls();
    Plan plan = resolved({"render", "in.png", "-o", "out.png", "--slices", "40", "--angle", "-45",
                          "--size-random=37.5", "--offset-random", "-1000",
                          "--offset-both-direction", "OFF", "--edge-type", "clamp",
                          "--custom-layer", "Z:\\layers\\b.png", "--layer-opacity", "99.9%"},
                         controls);
    EXPECT_EQ(plan.command, Command::Render);
    EXPECT_EQ(plan.input, "in.png");
    EXPECT_EQ(plan.output, "out.png");
    EXPECT_FALSE(plan.sequence);
    EXPECT_EQ(valueOf(plan, "slices").from, 40.0);
    EXPECT_EQ(valueOf(plan, "angle").from, -45.0);
    EXPECT_EQ(valueOf(plan, "size-random").from, 37.5);
    EXPECT_EQ(valueOf(plan, "offset-random").from, -1000.0);
    EXPECT_EQ(valueOf(plan, "offset-both-direction").from, 0.0);
    EXPECT_EQ(valueOf(plan, "edge-type").from, 4.0);
    EXPECT_EQ(valueOf(plan, "custom-layer").file, "Z:\\layers\\b.png");
    EXPECT_DOUBLE_EQ(valueOf(plan, "layer-opacity").from, 99.9);
}

TEST(CommandLine, DefaultsAndRangesComeFromTheDefinitions)
{
    std::vector<ControlOption> controls = plugInControls();
    EXPECT_EQ(controls[0].allowedText(), "a whole number from 1 to 2000");
    EXPECT_EQ(controls[0].defaultText(), "30");
    EXPECT_EQ(controls[1].allowedText(), "an angle in degrees from -32767 to 32767");
    EXPECT_EQ(controls[4].allowedText(), "a percentage from -1000 to 1000");
    EXPECT_EQ(controls[6].defaultText(), "on");
    EXPECT_EQ(controls[8].defaultText(), "100");
    EXPECT_EQ(controls[10].valueSyntax(), "normal|repeat|mirror|clamp");
    EXPECT_EQ(controls[10].defaultText(), "normal");
}

TEST(CommandLine, AnimatedValuesNeedASequence)
{
    Plan plan = resolved(
        {"render", "-o", "o.png", "--frames", "10", "--threads", "3", "--offset-random", "-10:10"},
        plugInControls());
    EXPECT_TRUE(plan.sequence);
    EXPECT_EQ(plan.frames, 10);
    EXPECT_EQ(plan.threads, 3);
    const ControlValue& value = valueOf(plan, "offset-random");
    EXPECT_TRUE(value.animated);
    EXPECT_EQ(value.from, -10.0);
    EXPECT_EQ(value.to, 10.0);
    EXPECT_NE(usageError({"render", "-o", "o.png", "--angle", "0:90"}).find("add --frames N"),
              std::string::npos);
    EXPECT_NE(usageError({"bench", "--angle", "0:90"}).find("bench takes one value"),
              std::string::npos);
    const Plan switching = resolved(
        {"render", "-o", "o.png", "--frames", "2", "--offset-both-direction", "off:on"},
        plugInControls());
    EXPECT_TRUE(valueOf(switching, "offset-both-direction").animated);
    EXPECT_EQ(valueOf(switching, "offset-both-direction").to, 1.0);
    // Popups do not animate: a popup value with a colon is just an unknown choice.
    EXPECT_NE(usageError({"render", "-o", "o.png", "--frames", "2", "--edge-type", "normal:clamp"})
                  .find("no such choice"),
              std::string::npos);
}

TEST(CommandLine, ValueErrorsSayWhatIsAllowed)
{
    EXPECT_EQ(usageError({"render", "-o", "o.png", "--slices", "5000"}),
              "--slices '5000': out of range; allowed: a whole number from 1 to 2000");
    EXPECT_EQ(usageError({"render", "-o", "o.png", "--slices", "2.5"}),
              "--slices '2.5': not a whole number; allowed: a whole number from 1 to 2000");
    EXPECT_EQ(usageError({"render", "-o", "o.png", "--layer-opacity", "abc"}),
              "--layer-opacity 'abc': not a number; allowed: a percentage from 0 to 100");
    EXPECT_EQ(
        usageError({"render", "-o", "o.png", "--edge-type", "wrap"}),
        "--edge-type 'wrap': no such choice; "
        "allowed: one of normal|repeat|mirror|clamp (any case)");
    EXPECT_EQ(usageError({"render", "-o", "o.png", "--offset-both-direction", "maybe"}),
              "--offset-both-direction 'maybe': not on or off; allowed: on or off");
    EXPECT_EQ(usageError({"render", "-o", "o.png", "--offset-random", "1000.5"}).substr(0, 40),
              "--offset-random '1000.5': out of range; ");
    EXPECT_NE(usageError({"render", "-o", "o.png", "--offset-random", "nan"}).find("not a number"),
              std::string::npos);
    EXPECT_NE(usageError({"render", "-o", "o.png", "--slices", ""}).find("not a number"),
              std::string::npos);
}

TEST(CommandLine, OptionErrorsAreReported)
{
    EXPECT_EQ(usageError({"render", "-o", "o.png", "--slice", "4"}).substr(0, 61),
              "unknown option '--slice'; the effect's controls are --slices,");
    EXPECT_EQ(usageError({"render", "-o", "o.png", "--slices"}), "--slices needs a value");
    EXPECT_EQ(usageError({"render", "-o", "o.png", "--slicez"}).substr(0, 62),
              "unknown option '--slicez'; the effect's controls are --slices,");
    EXPECT_EQ(usageError({"render", "-o"}), "-o needs a value");
    EXPECT_EQ(usageError({"render", "in_%04d.png", "-o", "o.png"}),
              "'in_%04d.png' names numbered input frames; add --frames N");
    EXPECT_NE(usageError({"render", "-o", "o_%d_%03d.png"}).find("one numbering pattern"),
              std::string::npos);
    EXPECT_EQ(usageError({"render", "-o", "o.png", "--frames", "2", "--start", "-1"}),
              "--start '-1': allowed: a whole number from 0 to 999999999");
    EXPECT_EQ(usageError({"render", "-o", "o.png", "--slices", "4", "--slices", "5"}),
              "--slices is given twice");
    EXPECT_EQ(usageError({"render", "in.png"}),
              "render needs -o OUTPUT (.png, .tif, .tiff or .exr)");
    EXPECT_EQ(usageError({"render", "-o", "o.jpg"}),
              "-o 'o.jpg': the output must be a .png, .tif, .tiff or .exr file");
    EXPECT_EQ(usageError({"render", "-o", "o.exr\\x"}),
              "-o 'o.exr\\x': the output must be a .png, .tif, .tiff or .exr file");
    EXPECT_EQ(usageError({"render", "a.png", "b.png", "-o", "o.png"}),
              "only one input image can be given ('a.png', then 'b.png')");
    EXPECT_EQ(usageError({"paint"}), "unknown command 'paint'; commands: render, bench, info, "
                                     "soak (lamino --help shows usage)");
    EXPECT_EQ(usageError({"render", "-o", "o.png", "-x"}),
              "unknown option '-x' (lamino --help shows the options)");
    EXPECT_EQ(usageError({"render", "-o", "o.png", "--frames", "0"}),
              "--frames '0': allowed: a whole number from 1 to 100000");
    EXPECT_EQ(usageError({"render", "-o", "o.png", "--threads", "-2"}),
              "--threads '-2': allowed: a whole number from 1 to 64");
    EXPECT_EQ(usageError({"render", "-o", "o.png", "--runs", "5"}),
              "--runs does not apply to render");
    EXPECT_EQ(usageError({"render", "in.png", "-o", "o.png", "--size", "64x64"}),
              "--size applies only to the built-in image; an input image keeps its own size");
    EXPECT_NE(usageError({"bench", "--size", "64by64"}).find("WIDTHxHEIGHT"), std::string::npos);
    EXPECT_EQ(usageError({"info", "--slices", "3"}),
              "unknown option '--slices' for info (it takes only --plugin)");
    EXPECT_EQ(usageError({"render", "-o", "o.png", "--quiet=yes"}), "--quiet takes no value");
}

TEST(CommandLine, CommandsHaveTheirDefaults)
{
    Plan bench = CommandLine::parse({"bench", "--runs", "5", "--warmup", "0"});
    EXPECT_EQ(bench.command, Command::Bench);
    EXPECT_EQ(bench.width, 1920);
    EXPECT_EQ(bench.height, 1080);
    EXPECT_EQ(bench.runs, 5);
    EXPECT_EQ(bench.warmups, 0);
    Plan sized = CommandLine::parse(
        {"render", "--size", "320X200", "-o", "x.PNG", "--plugin", "p.aex", "-q"});
    EXPECT_EQ(sized.width, 320);
    EXPECT_EQ(sized.height, 200);
    EXPECT_EQ(sized.plugin, "p.aex");
    EXPECT_TRUE(sized.quiet);
    EXPECT_TRUE(CommandLine::parse({"--help"}).helpRequested);
    EXPECT_TRUE(CommandLine::parse({"render", "--slices", "9", "--help"}).helpRequested);
    Plan empty = CommandLine::parse({});
    EXPECT_EQ(empty.command, Command::Help);
    EXPECT_FALSE(empty.helpRequested);
}

TEST(CommandLine, SoakTakesATimeOrACountAndASeed)
{
    Plan soak = CommandLine::parse({"soak", "--seconds", "100", "--seed", "7", "--threads", "3"});
    EXPECT_EQ(soak.command, Command::Soak);
    EXPECT_EQ(soak.soakSeconds, 100);
    EXPECT_EQ(soak.seed, 7u);
    EXPECT_TRUE(soak.seedGiven);
    EXPECT_TRUE(soak.threadsGiven);
    EXPECT_EQ(soak.threads, 3);
    Plan counted = CommandLine::parse({"soak", "--renders", "10000", "--sample-every", "500"});
    EXPECT_EQ(counted.soakRenders, 10000);
    EXPECT_EQ(counted.sampleRenders, 500);
    EXPECT_FALSE(counted.seedGiven);
    EXPECT_THROW(CommandLine::parse({"soak", "--seconds", "5", "--renders", "9"}), UsageError);
    EXPECT_THROW(CommandLine::parse({"soak", "--slices", "9"}), UsageError);
    EXPECT_THROW(CommandLine::parse({"soak", "in.png"}), UsageError);
    EXPECT_THROW(CommandLine::parse({"render", "-o", "x.png", "--seed", "1"}), UsageError);
}

TEST(CommandLine, FramesAreNumberedBeforeTheExtension)
{
    EXPECT_EQ(CommandLine::frameFileName("out.png", 1, 3), "out_0001.png");
    EXPECT_EQ(CommandLine::frameFileName("Z:\\a.b\\out", 12, 20), "Z:\\a.b\\out_0012");
    EXPECT_EQ(CommandLine::frameFileName("dir/seq.png", 7, 12345), "dir/seq_00007.png");
    EXPECT_EQ(CommandLine::frameFileName("out_%04d.png", 7, 3), "out_0007.png");
    EXPECT_EQ(CommandLine::frameFileName("f%d.png", 12, 3), "f12.png");
    EXPECT_EQ(CommandLine::frameFileName("f%02d.png", 123, 3), "f123.png");
    EXPECT_EQ(CommandLine::frameFileName("100%.png", 2, 3), "100%_0002.png");
    EXPECT_TRUE(CommandLine::parse({"render", "-o", "o_%03d.png"}).sequence);
    EXPECT_FALSE(CommandLine::parse({"render", "-o", "100%.png"}).sequence);
    EXPECT_EQ(CommandLine::parse({"render", "-o", "o.png", "--frames", "2", "--start", "0"}).start,
              0);
    EXPECT_TRUE(CommandLine::parse({"--version"}).versionRequested);
}

TEST(CommandLine, DepthAndOutputFormatAreChecked)
{
    EXPECT_FALSE(CommandLine::parse({"render", "-o", "o.png"}).depth.has_value());
    EXPECT_EQ(CommandLine::parse({"render", "-o", "o.png", "--depth", "8"}).depth,
              ImageDepth::Bits8);
    EXPECT_EQ(CommandLine::parse({"render", "-o", "o.TIF", "--depth=16"}).depth,
              ImageDepth::Bits16);
    Plan floats = CommandLine::parse({"render", "-o", "o.exr", "--depth", "32", "--exr-channels",
                                      "half"});
    EXPECT_EQ(floats.depth, ImageDepth::Float32);
    EXPECT_EQ(floats.exrChannels, ExrFile::Channels::Half);
    EXPECT_EQ(CommandLine::parse({"render", "-o", "o.tiff"}).output, "o.tiff");

    for (const char* wrong : {"24", "0", "16.0", ""}) {
        EXPECT_EQ(usageError({"render", "-o", "o.png", "--depth", wrong}),
                  std::string("--depth '") + wrong
                      + "': allowed: 8, 16 or 32 bits per channel (32: floating point)");
    }
    EXPECT_EQ(usageError({"render", "-o", "o.exr", "--exr-channels", "double"}),
              "--exr-channels 'double': allowed: half, float");
    EXPECT_EQ(usageError({"render", "-o", "o.png", "--exr-channels", "float"}),
              "--exr-channels applies only to an .exr output");
    EXPECT_EQ(usageError({"bench", "--depth", "16"}), "--depth does not apply to bench");
}

TEST(CommandLine, HostVariationsAreReadWithTheirLimits)
{
    const HostVariations v = CommandLine::parse({"render", "-o", "o.png", "--downsample", "2,3",
                                                 "--pixel-aspect", "2:1", "--upstream-grow",
                                                 "8", "--mask", "4,5,60,40"})
                                 .variations;
    EXPECT_EQ(v.downsampleX, 2);
    EXPECT_EQ(v.downsampleY, 3);
    EXPECT_EQ(v.aspectNum, 2);
    EXPECT_EQ(v.aspectDen, 1);
    EXPECT_EQ(v.upstreamGrow, 8);
    EXPECT_TRUE(v.masked);
    EXPECT_EQ(v.maskX + v.maskY + v.maskWidth + v.maskHeight, 4 + 5 + 60 + 40);
    const HostVariations quarter =
        CommandLine::parse({"render", "-o", "o.png", "--downsample", "4"}).variations;
    EXPECT_EQ(quarter.downsampleX * 10 + quarter.downsampleY, 44);
    EXPECT_FALSE(CommandLine::parse({"render", "-o", "o.png"}).variations.any());

    EXPECT_NE(usageError({"render", "-o", "o.png", "--downsample", "9"}).find("1 to 8"),
              std::string::npos);
    for (const char* wrong : {"0", "2,", "2,3,4", "x"}) {
        EXPECT_NE(usageError({"render", "-o", "o.png", "--downsample", wrong}), "") << wrong;
    }
    for (const char* wrong : {"2", "2:0", ":1", "2:1:1"}) {
        EXPECT_NE(usageError({"render", "-o", "o.png", "--pixel-aspect", wrong}), "") << wrong;
    }
    EXPECT_NE(usageError({"render", "-o", "o.png", "--mask", "1,2,3"}), "");
    EXPECT_NE(usageError({"render", "-o", "o.png", "--mask", "1,2,0,4"}), "");
    EXPECT_NE(usageError({"render", "-o", "o.png", "--upstream-grow", "-1"}), "");
    EXPECT_NE(usageError({"bench", "--downsample", "2"}), "");
}
