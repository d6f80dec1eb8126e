#pragma once

#include <cstdint>

#include "SPBasic.h"

namespace Tessarine::Lamino {

// A scoped hold on one host suite: acquired by name and version when made, released when the
// scope ends, also while an exception unwinds. A host that cannot give the suite makes the
// constructor throw the integer 13 (the host's missing-suite code).
class SuiteScope {
public:
    SuiteScope(SPBasicSuite* pica_basicP, const char* name, int32_t version);
    ~SuiteScope();

    SuiteScope(const SuiteScope&) = delete;
    SuiteScope& operator=(const SuiteScope&) = delete;

    template <class Suite>
    const Suite* get() const
    {
        return static_cast<const Suite*>(suite);
    }

private:
    const void* suite = nullptr;
    SPBasicSuite* pica_basicP;
    const char* name;
    int32_t version;
};

} // namespace Tessarine::Lamino
