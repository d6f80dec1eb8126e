#include "support/GlContextTest.h"

#include "gl/AEOpenGLContext.h"
#include "gl/ContextRegistry.h"
#include "gl/ScopedContextRestore.h"

namespace Tessarine::Lamino {

void GlContextTest::SetUpTestSuite()
{
    ScopedContextRestore guard;
    ContextRegistry::createRoot();
}

void GlContextTest::TearDownTestSuite()
{
    ScopedContextRestore guard;
    if (AEOpenGLContext* root = ContextRegistry::root())
        root->makeCurrent();
    ContextRegistry::destroyAll();
}

void GlContextTest::SetUp()
{
    AEOpenGLContext* root = ContextRegistry::root();
    ASSERT_NE(root, nullptr) << "the suite's root context could not be built";
    root->makeCurrent();
}

} // namespace Tessarine::Lamino
