#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "imagefiles/CraftedFiles.h"
#include "tool/CommandLine.h"
#include "tool/DefaultImage.h"
#include "imagefiles/ImageIO.h"
#include "command/LaminoTool.h"
#include "host/EffectIdentity.h"
#include "unicode/Utf8.h"

using namespace Tessarine::Lamino;

namespace {

// The tool run end to end on the built plug-in (OrlaLamino.aex beside the test program), with
// small images in a folder of its own that goes when the test ends.
class LaminoToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temporary[MAX_PATH];
        GetTempPathW(MAX_PATH, temporary);
        folder = wideToUtf8(temporary) + "lamino_tool_" + std::to_string(GetCurrentProcessId())
            + "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryW(utf8ToWide(folder).c_str(), nullptr);
        if (GetFileAttributesW(utf8ToWide(LaminoTool::defaultPluginPath()).c_str())
            == INVALID_FILE_ATTRIBUTES) {
            GTEST_SKIP() << "the plug-in is not built beside the tests: "
                         << LaminoTool::defaultPluginPath();
        }
    }

    void TearDown() override
    {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(utf8ToWide(folder + "\\*").c_str(), &found);
        while (search != INVALID_HANDLE_VALUE) {
            DeleteFileW(utf8ToWide(folder + "\\" + wideToUtf8(found.cFileName)).c_str());
            if (!FindNextFileW(search, &found)) {
                FindClose(search);
                break;
            }
        }
        RemoveDirectoryW(utf8ToWide(folder).c_str());
    }

    int run(std::vector<std::string> arguments)
    {
        out.str(""), err.str("");
        return LaminoTool(out, err).run(arguments);
    }

    std::string file(const std::string& name) const { return folder + "\\" + name; }

    bool exists(const std::string& name) const
    {
        return GetFileAttributesW(utf8ToWide(file(name)).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    std::vector<uint8_t> pixels(const std::string& name) const
    {
        return ImageIO::read(file(name)).rgba;
    }

    std::string folder;
    std::ostringstream out, err;
};

// Small, so that each render is quick; offset and slices make every frame differ visibly.
const std::vector<std::string> kLook
    = {"--size", "96x54", "--slices", "7", "--offset-random", "25", "-q"};

std::vector<std::string> with(std::vector<std::string> arguments,
                              const std::vector<std::string>& more)
{
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

}  // namespace

TEST_F(LaminoToolTest, AnimatedSequenceMatchesSingleRendersAtItsKeyValues)
{
    ASSERT_EQ(
        run(with({"render", "-o", file("seq.png"), "--frames", "5", "--angle", "0:90"}, kLook)), 0)
        << err.str();
    ASSERT_EQ(run(with({"render", "-o", file("first.png"), "--angle", "0"}, kLook)), 0)
        << err.str();
    ASSERT_EQ(run(with({"render", "-o", file("middle.png"), "--angle", "45"}, kLook)), 0)
        << err.str();
    ASSERT_EQ(run(with({"render", "-o", file("last.png"), "--angle", "90"}, kLook)), 0)
        << err.str();

    EXPECT_EQ(pixels("seq_0001.png"), pixels("first.png"));
    EXPECT_EQ(pixels("seq_0003.png"), pixels("middle.png"));  // halfway: 45 degrees
    EXPECT_EQ(pixels("seq_0005.png"), pixels("last.png"));
    EXPECT_NE(pixels("seq_0001.png"), pixels("seq_0005.png"));
    EXPECT_FALSE(exists("seq_0006.png"));
}

// The plug-in renders on several threads at once: the same frames, and the summary says how many
// renders were inside it together.
TEST_F(LaminoToolTest, SeveralThreadsGiveTheSameFramesAsOneAndOverlap)
{
    // Not quiet: the summary goes to standard error with the progress.
    std::vector<std::string> look(kLook.begin(), kLook.end() - 1);
    std::vector<std::string> sequence
        = with({"--frames", "12", "--offset-random-seed", "0:60", "--angle", "-30:30"}, look);
    ASSERT_EQ(run(with({"render", "-o", file("one.png"), "--threads", "1"}, sequence)), 0)
        << err.str();
    EXPECT_NE(err.str().find("renders at once: up to 1\n"), std::string::npos) << err.str();
    ASSERT_EQ(run(with({"render", "-o", file("four.png"), "--threads", "4"}, sequence)), 0)
        << err.str();
    for (int frame = 1; frame <= 12; ++frame) {
        EXPECT_EQ(pixels(CommandLine::frameFileName("one.png", frame, 12)),
                  pixels(CommandLine::frameFileName("four.png", frame, 12)))
            << "frame " << frame;
    }
    const size_t at = err.str().find("renders at once: up to ");
    ASSERT_NE(at, std::string::npos) << err.str();
    const int most = std::stoi(err.str().substr(at + 23));
    EXPECT_GE(most, 2);
    EXPECT_LE(most, 4);
}

TEST_F(LaminoToolTest, CustomLayerComesFromAFile)
{
    ImageIO::writePng(DefaultImage::make(48, 27), file("layer.png"));
    ASSERT_EQ(run(with({"render", "-o", file("plain.png")}, kLook)), 0) << err.str();
    ASSERT_EQ(run(with({"render", "-o", file("layered.png"), "--custom-layer", file("layer.png")},
                       kLook)),
              0)
        << err.str();
    EXPECT_NE(pixels("plain.png"), pixels("layered.png"));
    EXPECT_EQ(ImageIO::read(file("layered.png")).width, 96);
}

TEST_F(LaminoToolTest, FailuresWriteNothingAndSaySoOnOneLine)
{
    EXPECT_EQ(run(with({"render", "-o", file("a.png"), "--layer-opacity", "101"}, kLook)),
              LaminoTool::kExitUsage);
    EXPECT_EQ(err.str(),
              "lamino: --layer-opacity '101': out of range; allowed: a percentage from 0 to 100\n");

    EXPECT_EQ(
        run(with({"render", "-o", file("a.png"), "--custom-layer", file("missing.png")}, kLook)),
        LaminoTool::kExitFailed);
    EXPECT_EQ(err.str(), "lamino: cannot read '" + file("missing.png") + "': no such file\n");

    EXPECT_EQ(run({"render", file("missing.png"), "-o", file("a.png")}), LaminoTool::kExitFailed);
    EXPECT_EQ(run({"render", "-o", file("a.png"), "--plugin", file("none.aex")}),
              LaminoTool::kExitFailed);
    EXPECT_NE(err.str().find("none.aex"), std::string::npos);
    EXPECT_EQ(run({"render", "-o", file("a.png"), "--fast"}), LaminoTool::kExitUsage);
    EXPECT_FALSE(exists("a.png"));
}

TEST_F(LaminoToolTest, InfoAndBenchReportOnStandardOutput)
{
    ASSERT_EQ(run({"info"}), 0) << err.str();
    for (const char* line :
         {"Match name:       Orla_Lamino", "Version:          1.2.0, development stage, build 1",
          "Entry point:      EntryPointFunc", "Effect API:       13.28", "  Orla Lamino v1.2\n",
          "  Thread-safe rendering: yes\n", "  --edge-type normal|repeat|mirror|clamp\n",
          "Layer Opacity (fixed-point slider, parameter 9)",
          "default 8; starts disabled (it has no effect in the default state)\n",
          "  --own-shutter-angle NUMBER\n"}) {
        EXPECT_NE(out.str().find(line), std::string::npos) << line;
    }
    ASSERT_EQ(run({"bench", "--size", "64x36", "--runs", "3", "--warmup", "1", "-q"}), 0)
        << err.str();
    EXPECT_NE(out.str().find("Image:       64 x 36, the built-in image\n"), std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("Per frame:   median "), std::string::npos) << out.str();
    EXPECT_EQ(err.str(), "");
}

// The look of kLook for renders of image files (which keep their own size).
const std::vector<std::string> kFileLook = {"--slices", "7", "--offset-random", "25", "-q"};

// An image of the built-in kind whose red channel is shifted, so that two inputs differ.
Image shiftedImage(int shift)
{
    Image image = DefaultImage::make(96, 54);
    for (size_t i = 0; i < image.rgba.size(); i += 4) {
        image.rgba[i] = uint8_t(image.rgba[i] + shift);
    }
    return image;
}

TEST_F(LaminoToolTest, MovingInputGivesEachFrameItsOwnInputFile)
{
    ImageIO::writePng(shiftedImage(0), file("in_0001.png"));
    ImageIO::writePng(shiftedImage(90), file("in_0002.png"));
    ASSERT_EQ(run(with({"render", file("in_%04d.png"), "-o", file("out_%04d.png"), "--frames",
                        "2"},
                       kFileLook)),
              0)
        << err.str();
    ASSERT_EQ(run(with({"render", file("in_0002.png"), "-o", file("second.png")}, kFileLook)), 0)
        << err.str();

    EXPECT_EQ(pixels("out_0002.png"), pixels("second.png"));
    EXPECT_NE(pixels("out_0001.png"), pixels("out_0002.png"));
    EXPECT_FALSE(exists("out_0003.png"));
}

TEST_F(LaminoToolTest, StartAndPatternNumberTheFiles)
{
    ASSERT_EQ(run(with({"render", "-o", file("s.png"), "--frames", "2", "--start", "9"}, kLook)),
              0)
        << err.str();
    ASSERT_EQ(run(with({"render", "-o", file("p%d.png"), "--frames", "2", "--start", "0"}, kLook)),
              0)
        << err.str();
    EXPECT_TRUE(exists("s_0009.png"));
    EXPECT_TRUE(exists("s_0010.png"));
    EXPECT_FALSE(exists("s_0001.png"));
    EXPECT_TRUE(exists("p0.png"));
    EXPECT_TRUE(exists("p1.png"));
    EXPECT_EQ(pixels("s_0009.png"), pixels("p0.png")); // both are the run's first frame
}

TEST_F(LaminoToolTest, ShorterSequenceOverALongerOneSaysSo)
{
    ASSERT_EQ(run(with({"render", "-o", file("s.png"), "--frames", "3"}, kLook)), 0) << err.str();
    ASSERT_EQ(run(with({"render", "-o", file("s.png"), "--frames", "2"}, kLook)), 0) << err.str();
    EXPECT_NE(err.str().find("lamino: warning: " + file("s_0003.png")), std::string::npos)
        << err.str();
    ASSERT_EQ(run(with({"render", "-o", file("s.png"), "--frames", "3"}, kLook)), 0) << err.str();
    EXPECT_EQ(err.str(), "");
}

// A sequence that fails at frame 2 (its name is a folder) says which files are new, and never
// replaces a later frame's file, even one another thread rendered before the failure.
TEST_F(LaminoToolTest, FailedSequenceSaysWhatItWroteAndKeepsTheLaterFrames)
{
    ASSERT_EQ(run(with({"render", "-o", file("out.png"), "--frames", "4"}, kLook)), 0) << err.str();
    std::vector<std::vector<uint8_t>> old;
    for (const char* name : {"out_0001.png", "out_0003.png", "out_0004.png"}) {
        std::ifstream in(utf8ToWide(file(name)).c_str(), std::ios::binary);
        old.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    DeleteFileW(utf8ToWide(file("out_0002.png")).c_str());
    ASSERT_TRUE(CreateDirectoryW(utf8ToWide(file("out_0002.png")).c_str(), nullptr));
    EXPECT_EQ(run(with({"render", "-o", file("out.png"), "--frames", "4", "--threads", "3",
                        "--angle", "40"},
                       kLook)),
              LaminoTool::kExitFailed);
    RemoveDirectoryW(utf8ToWide(file("out_0002.png")).c_str());
    const std::string message = err.str();
    const std::string said = "; " + file("out_0001.png") + " was written, no frame after it\n";
    ASSERT_GE(message.size(), said.size());
    EXPECT_EQ(message.substr(message.size() - said.size()), said) << message;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    const char* names[] = {"out_0001.png", "out_0003.png", "out_0004.png"};
    for (int i = 0; i < 3; ++i) {
        std::ifstream in(utf8ToWide(file(names[i])).c_str(), std::ios::binary);
        std::vector<uint8_t> now((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
        if (i == 0) {
            EXPECT_NE(now, old[i]) << names[i] << " is not the new frame";
        } else {
            EXPECT_EQ(now, old[i]) << names[i] << " was replaced";
        }
    }
}

TEST_F(LaminoToolTest, OutputThatNamesAnInputIsRefusedAndTheFileKept)
{
    ImageIO::writePng(shiftedImage(0), file("in.png"));
    const std::vector<uint8_t> before = pixels("in.png");
    const std::string upperCase = folder + "\\IN.PNG";
    EXPECT_EQ(run(with({"render", file("in.png"), "-o", upperCase}, kFileLook)),
              LaminoTool::kExitUsage);
    EXPECT_NE(err.str().find("would overwrite a file the render reads"), std::string::npos)
        << err.str();
    EXPECT_EQ(run(with({"render", "-o", file("in.png"), "--custom-layer", file("in.png")}, kLook)),
              LaminoTool::kExitUsage);
    EXPECT_EQ(run(with({"render", file("in_%d.png"), "-o", file("in_%d.png"), "--frames", "1"},
                       kFileLook)),
              LaminoTool::kExitUsage);
    EXPECT_EQ(pixels("in.png"), before);
}

TEST_F(LaminoToolTest, MessagesShowLinuxPathsWhenTheWrapperAsks)
{
    SetEnvironmentVariableW(L"LAMINO_UNIX_PATHS", L"1");
    int status = run({"render", "Z:\\no such\\dir\\in.png", "-o", file("a.png")});
    SetEnvironmentVariableW(L"LAMINO_UNIX_PATHS", nullptr);
    EXPECT_EQ(status, LaminoTool::kExitFailed);
    EXPECT_EQ(err.str(), "lamino: cannot read '/no such/dir/in.png': no such file\n");
}

TEST_F(LaminoToolTest, VersionNeedsNoPlugin)
{
    EXPECT_EQ(run({"--version"}), 0);
    // The version the plug-in registers with the host.
    EXPECT_EQ(out.str(), "lamino " + std::to_string(LAMINO_EFFECT_MAJOR) + "." +
                             std::to_string(LAMINO_EFFECT_MINOR) + "\n");
    EXPECT_EQ(run({"render", "--version", "--plugin", file("none.aex")}), 0);
}

// The plug-in renders 8-, 16- and 32-bit worlds: each output has the input's depth or the one
// asked for, and the deeper frames are the 8-bit one to within a level.
TEST_F(LaminoToolTest, OutputsKeepTheInputsDepthOrTheOneAskedFor)
{
    ImageIO::write(shiftedImage(0).converted(ImageDepth::Bits16), file("in16.png"));
    ImageIO::writePng(shiftedImage(0), file("in8.png"));
    ASSERT_EQ(run(with({"render", file("in8.png"), "-o", file("eight.png")}, kFileLook)), 0)
        << err.str();
    EXPECT_EQ(err.str(), "");
    ASSERT_EQ(run(with({"render", file("in16.png"), "-o", file("sixteen.png")}, kFileLook)), 0)
        << err.str();
    EXPECT_EQ(err.str(), "");
    ASSERT_EQ(run(with({"render", file("in8.png"), "-o", file("float.tif"), "--depth", "32"},
                       kFileLook)),
              0)
        << err.str();
    ASSERT_EQ(run(with({"render", file("in16.png"), "-o", file("back8.tif"), "--depth", "8"},
                       kFileLook)),
              0)
        << err.str();

    EXPECT_EQ(ImageIO::probe(file("eight.png")).depth, ImageDepth::Bits8);
    EXPECT_EQ(ImageIO::probe(file("sixteen.png")).depth, ImageDepth::Bits16);
    EXPECT_EQ(ImageIO::probe(file("float.tif")).depth, ImageDepth::Float32);
    EXPECT_EQ(ImageIO::probe(file("back8.tif")).depth, ImageDepth::Bits8);
    const Image eight = ImageIO::read(file("eight.png"));
    for (const char* deeper : {"sixteen.png", "float.tif"}) {
        const std::vector<uint8_t> levels = ImageIO::read(file(deeper)).rgba;
        ASSERT_EQ(levels.size(), eight.rgba.size());
        int worst = 0;
        for (size_t i = 0; i < levels.size(); ++i) {
            worst = std::max(worst, std::abs(int(levels[i]) - int(eight.rgba[i])));
        }
        EXPECT_LE(worst, 1) << deeper;
    }
    EXPECT_EQ(pixels("back8.tif"), eight.rgba);
}

TEST_F(LaminoToolTest, FloatSequenceIntoPngWarnsOnceAndExrKeepsFloats)
{
    ASSERT_EQ(run(with({"render", "-o", file("f.png"), "--frames", "2", "--depth", "32"}, kLook)),
              0)
        << err.str();
    const std::string warning = "lamino: warning: a PNG holds at most 16 bits per channel: "
        + file("f.png") + " and the other frames are written at 16 bits";
    EXPECT_EQ(err.str().find(warning), err.str().rfind(warning)) << err.str();
    EXPECT_NE(err.str().find(warning), std::string::npos) << err.str();
    EXPECT_EQ(ImageIO::probe(file("f_0002.png")).depth, ImageDepth::Bits16);

    ASSERT_EQ(run(with({"render", "-o", file("f.exr"), "--depth", "32"}, kLook)), 0) << err.str();
    EXPECT_EQ(err.str().find("PNG"), std::string::npos) << err.str();
    // The same pixels to within a level (EXR colour is stored premultiplied and divided again),
    // but where alpha is 0: premultiplied EXR colour keeps none there.
    std::vector<uint8_t> fromExr = ImageIO::read(file("f.exr")).rgba;
    std::vector<uint8_t> fromPng = pixels("f_0001.png");
    ASSERT_EQ(fromExr.size(), fromPng.size());
    int worst = 0;
    for (size_t i = 0; i < fromPng.size(); i += 4) {
        if (fromPng[i + 3] == 0) {
            std::fill(&fromPng[i], &fromPng[i + 3], uint8_t(0));
        }
        for (size_t c = 0; c < 4; ++c) {
            worst = std::max(worst, std::abs(int(fromExr[i + c]) - int(fromPng[i + c])));
        }
    }
    EXPECT_LE(worst, 1);
}

TEST_F(LaminoToolTest, ImagesLargerThanTheGpuRendersAreRefusedBeforeDecoding)
{
    // A PNG whose pixel data is cut off: only refusing it from its header gives this message.
    ImageIO::writePng(shiftedImage(0), file("whole.png"));
    std::ifstream in(utf8ToWide(file("whole.png")).c_str(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(utf8ToWide(file("big.png")).c_str(), std::ios::binary)
        << bytes.substr(0, bytes.size() / 2);
    LaminoTool tool(out, err);
    tool.setMaxRenderSide(90);
    const std::string refusal = "': 96 x 54 pixels; the GPU renders at most 90 pixels a side\n";
    EXPECT_EQ(tool.run(with({"render", file("big.png"), "-o", file("a.png")}, kFileLook)),
              LaminoTool::kExitFailed);
    EXPECT_EQ(err.str(), "lamino: cannot read '" + file("big.png") + refusal);
    err.str("");
    EXPECT_EQ(tool.run(with({"render", "-o", file("a.png"), "--size", "64x36", "--custom-layer",
                             file("big.png")},
                            kFileLook)),
              LaminoTool::kExitFailed);
    EXPECT_EQ(err.str(), "lamino: cannot read '" + file("big.png") + refusal);
    err.str("");
    EXPECT_EQ(tool.run(with({"render", "-o", file("a.png"), "--size", "91x20"}, kFileLook)),
              LaminoTool::kExitUsage);
    EXPECT_EQ(err.str(), "lamino: --size 91x20: the GPU renders at most 90 pixels a side\n");
    EXPECT_FALSE(exists("a.png"));
}

// --max-pixels caps the image read (input and layers) or made, refused from the header.
TEST_F(LaminoToolTest, MaxPixelsRefusesLargerImagesBeforeDecoding)
{
    ImageIO::writePng(shiftedImage(0), file("in.png"));  // 96 x 54 = 5184 pixels
    EXPECT_EQ(run(with({"render", file("in.png"), "-o", file("a.png"), "--max-pixels", "5000"},
                       kFileLook)),
              LaminoTool::kExitFailed);
    EXPECT_EQ(err.str(), "lamino: cannot read '" + file("in.png")
                             + "': 96 x 54 pixels; at most 5000 pixels are read (--max-pixels "
                               "sets the limit)\n");
    EXPECT_EQ(run(with({"render", file("in.png"), "-o", file("a.png"), "--max-pixels", "5184"},
                       kFileLook)),
              0)
        << err.str();
    EXPECT_EQ(run({"render", "-o", file("b.png"), "--size", "100x100", "--max-pixels", "9999"}),
              LaminoTool::kExitUsage);
    EXPECT_EQ(err.str(), "lamino: --size 100x100: at most 9999 pixels (--max-pixels sets the "
                         "limit)\n");
    EXPECT_FALSE(exists("b.png"));
}

// Broken files of every format, as the input and as the custom layer: exit status 1 and one
// line in words, and the process's peak memory risen by less than 200 MB. The slowest refusal
// is printed (a figure, not a limit the test holds).
TEST_F(LaminoToolTest, BrokenFilesAreRefusedOnOneLineWithExitStatusOne)
{
    CraftedTiff shortStrips(8, 8, 1, 8, 1);
    CraftedTiff noColourMap(8, 4, 1, 8, 3);
    CraftedTiff floats(16384, 8192, 4, 32, 2);
    floats.set(339, 3, {3, 3, 3, 3});
    floats.set(279, 4, {4096});
    Bytes badCrc = rgbaPng(4, 3, 3);
    badCrc[badCrc.size() - 16] ^= 1;
    const std::pair<const char*, Bytes> files[] = {
        {"crc.png", badCrc},
        {"rows.png", rgbaPng(4, 3, 2)},
        {"runs.bmp", paletteBmp(4, 2, 1, {5, 1, 0, 0, 4, 2, 0, 1})},
        {"strips.tif", shortStrips.bytes(Bytes(32, 1))},
        {"palette.tif", noColourMap.bytes(Bytes(32, 1))},
        {"floats.tif", floats.bytes(Bytes(4096, 0))},
        {"text.exr", {'v', '/', '1', 1, 2, 0, 0, 0, 'a', 0}},
    };
    PROCESS_MEMORY_COUNTERS before = {}, after = {};
    K32GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
    ULONGLONG slowest = 0;
    for (const auto& [name, bytes] : files) {
        std::ofstream(utf8ToWide(file(name)).c_str(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        const std::vector<std::vector<std::string>> runs = {
            {"render", file(name), "-o", file("out.png"), "-q"},
            {"render", "-o", file("out.png"), "--size", "32x18", "--custom-layer", file(name), "-q"}};
        for (const std::vector<std::string>& arguments : runs) {
            ULONGLONG start = GetTickCount64();
            EXPECT_EQ(run(arguments), LaminoTool::kExitFailed) << name;
            slowest = std::max(slowest, GetTickCount64() - start);
            const std::string message = err.str();
            EXPECT_EQ(message.rfind("lamino: cannot read '" + file(name) + "': ", 0), 0u)
                << message;
            EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
        }
    }
    K32GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
    EXPECT_LT(double(after.PeakPagefileUsage - before.PeakPagefileUsage) / (1 << 20), 200.0);
    EXPECT_FALSE(exists("out.png"));
    std::cout << "slowest refusal of a broken file (with the tool's start): " << slowest << " ms\n";
}

TEST_F(LaminoToolTest, InfoShowsTheDeclaredDepthsAndThreading)
{
    ASSERT_EQ(run({"info"}), 0) << err.str();
    EXPECT_NE(out.str().find("  Depths:           8, 16, 32 bits per channel\n"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("  Thread-safe rendering: yes\n"), std::string::npos) << out.str();
}

namespace {

// Deep images through the tool and the plug-in at their own depth.
class DeepImageToolTest : public LaminoToolTest {
protected:
    // A 16-bit picture with detail 8-bit steps cannot hold: neighbours one level of 65535 apart.
    static Image fineGradient(int width, int height)
    {
        Image image(width, height, ImageDepth::Bits16);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint16_t* p = image.pixel16(x, y);
                p[0] = uint16_t(20000 + 3 * x + 50 * y);
                p[1] = uint16_t(40000 + x);
                p[2] = uint16_t(1000 + 7 * y + x);
                p[3] = 65535;
            }
        }
        return image;
    }
};

TEST_F(DeepImageToolTest, SixteenBitPngComesBackAtSixteenBitsWithItsDetail)
{
    const Image input = fineGradient(40, 24);
    ImageIO::write(input, file("deep.png"));
    ASSERT_EQ(run({"render", file("deep.png"), "-o", file("out.png"), "--depth", "16",
                   "--offset-random", "0", "-q"}),
              0)
        << err.str();
    const Image output = ImageIO::readAtFileDepth(file("out.png"));
    ASSERT_EQ(output.depth, ImageDepth::Bits16);
    ASSERT_EQ(output.rgba16.size(), input.rgba16.size());
    int worst = 0;
    for (size_t i = 0; i < input.rgba16.size(); ++i) {
        worst = std::max(worst, std::abs(int(input.rgba16[i]) - int(output.rgba16[i])));
    }
    EXPECT_LE(worst, 2);
    // The detail below 8-bit steps is there: neighbours differ by single levels.
    EXPECT_NE(output.pixel16(0, 0)[0], output.pixel16(1, 0)[0]);
}

TEST_F(DeepImageToolTest, FloatTiffKeepsValuesAboveOneAndBelowZero)
{
    Image input(32, 20, ImageDepth::Float32);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 32; ++x) {
            float* p = input.pixelFloat(x, y);
            p[0] = 4.0f - 0.1f * float(x);
            p[1] = -0.5f + 0.05f * float(y);
            p[2] = 0.25f;
            p[3] = 1.0f;
        }
    }
    ImageIO::write(input, file("hdr.tif"));
    ASSERT_EQ(run({"render", file("hdr.tif"), "-o", file("out.tif"), "--depth", "32",
                   "--offset-random", "0", "-q"}),
              0)
        << err.str();
    const Image output = ImageIO::readAtFileDepth(file("out.tif"));
    ASSERT_EQ(output.depth, ImageDepth::Float32);
    ASSERT_EQ(output.rgbaFloat.size(), input.rgbaFloat.size());
    float worst = 0.0f;
    for (size_t i = 0; i < input.rgbaFloat.size(); ++i) {
        worst = std::max(worst, std::fabs(input.rgbaFloat[i] - output.rgbaFloat[i]));
    }
    EXPECT_LE(worst, 1e-3f);
}

TEST_F(DeepImageToolTest, TheSameControlsAtEachDepthAgreeWithinOneLevel)
{
    std::vector<std::vector<uint8_t>> frames;
    for (const char* depth : {"8", "16", "32"}) {
        const std::string name = std::string("d") + depth + ".png";
        ASSERT_EQ(run(with({"render", "-o", file(name), "--depth", depth, "--angle", "25",
                            "--edge-type", "mirror"},
                           kLook)),
                  0)
            << err.str();
        frames.push_back(ImageIO::read(file(name)).rgba);
    }
    for (size_t d = 1; d < frames.size(); ++d) {
        ASSERT_EQ(frames[d].size(), frames[0].size());
        int worst = 0;
        for (size_t i = 0; i < frames[0].size(); ++i) {
            worst = std::max(worst, std::abs(int(frames[d][i]) - int(frames[0][i])));
        }
        EXPECT_LE(worst, 1) << "depth " << (d == 1 ? 16 : 32);
    }
}

} // namespace
