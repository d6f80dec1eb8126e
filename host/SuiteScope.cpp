#include "host/SuiteScope.h"

namespace Tessarine::Lamino {

namespace {
constexpr int kMissingSuite = 13;
}

SuiteScope::SuiteScope(SPBasicSuite* pica_basicP, const char* name, int32_t version)
    : pica_basicP(pica_basicP), name(name), version(version)
{
    if (!pica_basicP || !pica_basicP->AcquireSuite) {
        throw kMissingSuite;
    }
    const void* acquired = nullptr;
    const SPErr err = pica_basicP->AcquireSuite(name, version, &acquired);
    if (err != kSPNoError || !acquired) {
        // A host may hand out a suite together with an error; give back what it counted.
        if (err == kSPNoError && pica_basicP->ReleaseSuite) {
            pica_basicP->ReleaseSuite(name, version);
        }
        throw kMissingSuite;
    }
    suite = acquired;
}

SuiteScope::~SuiteScope()
{
    if (suite && pica_basicP->ReleaseSuite) {
        pica_basicP->ReleaseSuite(name, version);
    }
}

} // namespace Tessarine::Lamino
