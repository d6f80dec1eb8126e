#include "gl/PerContext.h"

#include "gl/AEOpenGLContext.h"
#include "gl/ContextRegistry.h"
#include "support/GlContextTest.h"
#include "support/StdoutCapture.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace Tessarine::Lamino {
namespace {

class PerContextTest : public GlContextTest {};

TEST_F(PerContextTest, EachContextHasItsOwnValue)
{
    PerContext<int> framebuffer;
    EXPECT_FALSE(framebuffer.hasCurrent());
    framebuffer.current() = 1;
    EXPECT_TRUE(framebuffer.hasCurrent());

    StdoutCapture quiet;
    AEOpenGLContext other(ContextRegistry::root());
    EXPECT_FALSE(framebuffer.hasCurrent());
    EXPECT_EQ(framebuffer.current(), 0);
    framebuffer.current() = 2;

    ContextRegistry::root()->makeCurrent();
    EXPECT_EQ(framebuffer.current(), 1);
    std::set<HGLRC> contexts;
    int sum = 0;
    framebuffer.forEach([&](HGLRC context, int& value) {
        contexts.insert(context);
        sum += value;
    });
    framebuffer.forEach([&](int& value) { value = 0; });
    EXPECT_EQ(contexts, (std::set<HGLRC>{ContextRegistry::root()->glContext(), other.glContext()}));
    EXPECT_EQ(sum, 3);
    EXPECT_EQ(framebuffer.current(), 0);

    framebuffer.clear();
    EXPECT_EQ(framebuffer.size(), 0u);
}

// Drivers hand out the handle of a deleted context again; the value kept for the deleted one
// (GL names that died with it) must not reach the new context.
TEST_F(PerContextTest, DeletingAContextDropsItsValue)
{
    PerContext<int> vertexArray;
    vertexArray.current() = 1;
    StdoutCapture quiet;
    auto other = std::make_unique<AEOpenGLContext>(ContextRegistry::root());
    vertexArray.current() = 2;
    other.reset();

    EXPECT_EQ(vertexArray.size(), 1u);
    ContextRegistry::root()->makeCurrent();
    EXPECT_EQ(vertexArray.current(), 1);
}

} // namespace
} // namespace Tessarine::Lamino
