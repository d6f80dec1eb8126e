#include "host/UserMessages.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace Tessarine::Lamino {
namespace {

PF_OutData fresh()
{
    PF_OutData out;
    std::memset(&out, 0, sizeof out);
    return out;
}

TEST(UserMessages, GpuFailuresGiveTheirCodeAndASentenceTheHostShows)
{
    const struct {
        GpuFailure failure;
        PF_Err code;
        const char* words;
    } cases[] = {
        {{GpuFailure::Kind::OutOfMemory}, PF_Err_OUT_OF_MEMORY, "GPU memory"},
        {{GpuFailure::Kind::ProgramNotBuilt}, PF_Err_INTERNAL_STRUCT_DAMAGED, "graphics driver"},
        {{GpuFailure::Kind::TooLarge, 16384}, PF_Err_BAD_CALLBACK_PARAM,
         "the GPU renders at most 16384 pixels a side"},
    };
    for (const auto& c : cases) {
        PF_OutData out = fresh();
        EXPECT_EQ(reportGpuFailure(c.failure, &out), c.code);
        EXPECT_NE(std::string(out.return_msg).find(c.words), std::string::npos) << out.return_msg;
        EXPECT_NE(out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
    }
    EXPECT_EQ(reportGpuFailure({GpuFailure::Kind::OutOfMemory}, nullptr), PF_Err_OUT_OF_MEMORY);
}

TEST(UserMessages, MissingOpenGlNamesTheVersionNeeded)
{
    PF_OutData out = fresh();
    out.out_flags = PF_OutFlag_DEEP_COLOR_AWARE;
    EXPECT_EQ(reportMissingOpenGl(&out), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(std::string(out.return_msg).rfind("Orla Lamino needs OpenGL 3.3", 0), 0u);
    EXPECT_LT(std::strlen(out.return_msg), sizeof out.return_msg);
    EXPECT_EQ(out.out_flags, PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_DISPLAY_ERROR_MESSAGE)
        << "the other flags are kept";
}

} // namespace
} // namespace Tessarine::Lamino
