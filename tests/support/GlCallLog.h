#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace glbinding {
struct FunctionCall;
}

namespace Tessarine::Lamino {

// Records the OpenGL calls made through glbinding while it lives: glbinding's after-call
// callback with parameters and return values. Recording covers the context current (for
// glbinding) on the constructing thread and every context made current through glbinding
// (makeCurrent, Binding::useCurrentContext) while the log lives, on any thread. A context must
// be current when the log is made and when it ends. One log at a time.
class GlCallLog {
public:
    GlCallLog();
    ~GlCallLog();

    GlCallLog(const GlCallLog&) = delete;
    GlCallLog& operator=(const GlCallLog&) = delete;

    // Function names in call order, e.g. "glUniform1f".
    std::vector<std::string> names() const;
    size_t count(const std::string& name) const;
    // The calls of one function with their arguments, e.g. "glUniform1i(3, 1)"; strings are
    // quoted ("glBindAttribLocation(4, 1, \"input_uv\")") and enums named ("GL_TEXTURE1").
    std::vector<std::string> calls(const std::string& name) const;
    void clear();

private:
    struct Call {
        std::string name;
        std::string text;
    };

    static void enableForCurrentContext();
    void record(const glbinding::FunctionCall& call);

    mutable std::mutex mutex;
    std::vector<Call> recorded;
};

} // namespace Tessarine::Lamino
