#pragma once

#include <gtest/gtest.h>

namespace Tessarine::Lamino {

// Fixture for tests that need OpenGL: the suite builds a root context (ContextRegistry::
// createRoot under a ScopedContextRestore) once, every test starts with that root context
// current on the test's thread (and reported to glbinding), and the suite ends with
// ContextRegistry::destroyAll. Tests may build thread contexts through the registry; they go
// with the suite too.
class GlContextTest : public ::testing::Test {
public:
    static void SetUpTestSuite();
    static void TearDownTestSuite();

protected:
    void SetUp() override;
};

} // namespace Tessarine::Lamino
