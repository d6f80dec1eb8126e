#include "support/GlCallLog.h"

#include <glbinding/AbstractFunction.h>
#include <glbinding/AbstractValue.h>
#include <glbinding/Binding.h>
#include <glbinding/CallbackMask.h>
#include <glbinding/FunctionCall.h>
#include <glbinding/callbacks.h>

#include <atomic>

namespace Tessarine::Lamino {

namespace {

// glbinding keeps callback masks per context; the context switch callback below switches
// recording on for each context made current while a log lives. glbinding cannot take a switch
// callback back, so it is added once and asks whether a log is active.
std::atomic<bool> logActive{false};

void addSwitchCallbackOnce()
{
    static const bool added = [] {
        glbinding::Binding::addContextSwitchCallback([](glbinding::ContextHandle) {
            if (logActive)
                glbinding::setCallbackMask(glbinding::CallbackMask::After |
                                           glbinding::CallbackMask::ParametersAndReturnValue);
        });
        return true;
    }();
    (void)added;
}

} // namespace

GlCallLog::GlCallLog()
{
    addSwitchCallbackOnce();
    glbinding::setAfterCallback([this](const glbinding::FunctionCall& call) { record(call); });
    logActive = true;
    enableForCurrentContext();
}

GlCallLog::~GlCallLog()
{
    logActive = false;
    glbinding::setCallbackMask(glbinding::CallbackMask::None);
    glbinding::setAfterCallback(nullptr);
}

void GlCallLog::enableForCurrentContext()
{
    glbinding::setCallbackMask(glbinding::CallbackMask::After |
                               glbinding::CallbackMask::ParametersAndReturnValue);
}

void GlCallLog::record(const glbinding::FunctionCall& call)
{
    if (!logActive)
        return;
    Call entry{call.function->name(), call.function->name()};
    entry.text += "(";
    for (size_t i = 0; i < call.parameters.size(); ++i) {
        if (i > 0)
            entry.text += ", ";
        entry.text += call.parameters[i]->asString();
    }
    entry.text += ")";
    std::lock_guard<std::mutex> lock(mutex);
    recorded.push_back(std::move(entry));
}

std::vector<std::string> GlCallLog::names() const
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<std::string> result;
    for (const Call& call : recorded)
        result.push_back(call.name);
    return result;
}

size_t GlCallLog::count(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(mutex);
    size_t result = 0;
    for (const Call& call : recorded)
        result += call.name == name;
    return result;
}

std::vector<std::string> GlCallLog::calls(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<std::string> result;
    for (const Call& call : recorded) {
        if (call.name == name)
            result.push_back(call.text);
    }
    return result;
}

void GlCallLog::clear()
{
    std::lock_guard<std::mutex> lock(mutex);
    recorded.clear();
}

} // namespace Tessarine::Lamino
