#include "gl/BindingStates.h"
#include "gl/AESDK_OpenGL_Fault.h"
#include "gl/SlimMutex.h"

#include <glbinding/AbstractFunction.h>
#include <glbinding/Binding.h>
#include <glbinding/ContextHandle.h>
#include <glbinding/Meta.h>
#include <glbinding/Version.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace Tessarine::Lamino {

namespace {

SlimMutex statesMutex;
glbinding::ContextHandle registered = 0; // the context whose table every context uses
std::string pretendUnresolved;

// Resolves every function of OpenGL up to 3.3, the plug-in's whole vocabulary, in the table of the
// calling thread. The rest (extensions) stays unresolved: resolving all of glbinding's functions
// makes Wine keep two handles per load of the plug-in.
void resolveCoreFunctions()
{
    const glbinding::Version newest(3, 3);
    for (const glbinding::Version& version : glbinding::Version::versions()) {
        if (newest < version)
            continue;
        for (glbinding::AbstractFunction* function : glbinding::Meta::functions(version))
            function->resolveAddress();
    }
}

// The first function the plug-in calls that has no address in the table in use; empty when all
// have one.
std::string firstUnresolved()
{
    const std::vector<std::string>& called = BindingStates::calledFunctions();
    for (glbinding::AbstractFunction* function : glbinding::Binding::functions()) {
        const std::string name = function->name();
        if (!std::binary_search(called.begin(), called.end(), name))
            continue;
        if (!function->isResolved() || name == pretendUnresolved)
            return name;
    }
    return {};
}

} // namespace

const std::vector<std::string>& BindingStates::calledFunctions()
{
    // Sorted, for the binary search. A test renders every kind of frame with the GL calls
    // recorded and checks that each call is listed here.
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list = {
            "glActiveTexture", "glAttachShader", "glBindAttribLocation", "glBindBuffer",
            "glBindBufferBase", "glBindFramebuffer", "glBindRenderbuffer", "glBindTexture",
            "glBindVertexArray", "glBufferData", "glBufferSubData", "glCheckFramebufferStatus",
            "glCompileShader", "glCreateProgram", "glCreateShader", "glDeleteBuffers",
            "glDeleteFramebuffers", "glDeleteProgram", "glDeleteRenderbuffers", "glDeleteShader",
            "glDeleteTextures", "glDeleteVertexArrays", "glDetachShader", "glDisable",
            "glDisableVertexAttribArray", "glDrawArrays", "glDrawBuffer",
            "glEnableVertexAttribArray", "glFinish", "glFramebufferRenderbuffer", "glGenBuffers",
            "glGenFramebuffers", "glGenRenderbuffers", "glGenTextures", "glGenVertexArrays",
            "glGetActiveUniform", "glGetError", "glGetIntegerv", "glGetProgramInfoLog",
            "glGetProgramiv", "glGetShaderInfoLog", "glGetShaderiv", "glGetString",
            "glGetUniformBlockIndex", "glGetUniformLocation", "glLinkProgram", "glPixelStorei",
            "glReadBuffer", "glReadPixels", "glRenderbufferStorage", "glShaderSource",
            "glTexImage2D", "glTexParameteri", "glTexSubImage2D", "glUniform1f", "glUniform1i",
            "glUniform2f", "glUniform4f", "glUniformBlockBinding", "glUseProgram",
            "glVertexAttribPointer", "glViewport"};
        std::sort(list.begin(), list.end());
        return list;
    }();
    return names;
}

void BindingStates::useForCurrentContext()
{
    std::lock_guard<SlimMutex> lock(statesMutex);
    if (!registered) {
        const glbinding::ContextHandle current = glbinding::getCurrentContext();
        // Addresses are resolved now, on this thread, while no render runs GL: a function first
        // resolved by two render threads at once would be written by both.
        glbinding::Binding::initialize(current, true, false);
        resolveCoreFunctions();
        const std::string missing = firstUnresolved();
        if (!missing.empty()) {
            glbinding::Binding::releaseContext(current);
            std::printf("OpenGL function %s has no address on this driver\n", missing.c_str());
            std::fflush(stdout);
            throw AESDK_OpenGL_Fault(1);
        }
        registered = current;
    }
    glbinding::Binding::useContext(registered);
}

bool BindingStates::useExisting()
{
    std::lock_guard<SlimMutex> lock(statesMutex);
    if (!registered)
        return false;
    glbinding::Binding::useContext(registered);
    return true;
}

void BindingStates::releaseAll()
{
    std::lock_guard<SlimMutex> lock(statesMutex);
    if (registered)
        glbinding::Binding::releaseContext(registered);
    registered = 0;
}

size_t BindingStates::count()
{
    std::lock_guard<SlimMutex> lock(statesMutex);
    return registered ? 1 : 0;
}

void BindingStates::pretendUnresolvedForTesting(const std::string& name)
{
    std::lock_guard<SlimMutex> lock(statesMutex);
    pretendUnresolved = name;
}

} // namespace Tessarine::Lamino
