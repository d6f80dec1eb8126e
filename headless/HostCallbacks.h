#pragma once

#include "headless/HostSession.h"

#include <set>
#include <string>

namespace Tessarine::Lamino {

// The functions the host gives the effect: the interaction callbacks (add_param, checkout_param,
// checkin_param, ...), the utility callbacks (ANSI block, handles, pixel addresses), the suite
// broker (AcquireSuite / ReleaseSuite) and the suites "PF ANSI Suite" v1, "PF Handle Suite" v2 and
// "PF iterateFloat Suite" v1. Any other suite is refused ('S!Fd', null); any other callback slot
// holds a stub that notes the call and returns PF_Err_INVALID_CALLBACK.
//
// Several of these functions receive no effect_ref, so the session they serve is the one made
// current on the calling thread by a Scope, which the host holds while a command runs; called on
// a thread without one, they refuse (null, or an error code). No exception ever leaves them: they
// catch everything and answer with an error code.
class HostCallbacks {
public:
    // The suite broker's error codes: four-character codes, first character most significant.
    static constexpr SPErr kSuiteNotFound = 0x53214664;      // 'S!Fd'
    static constexpr SPErr kUnimplemented = 0x21494D50;      // '!IMP'
    static constexpr SPErr kBadParameter = 0x5061726D;       // 'Parm'
    static constexpr SPErr kOutOfMemory = SPErr(0xFFFFFF6C);  // -148

    // Fills the session's callback tables and suites.
    static void install(HostSession& session);

    // Replaces the named functions (FaultPlan::nullCallbacks) with null pointers; names it does
    // not know are ignored (canRemove tells them apart).
    static void removeCallbacks(HostSession& session, const std::set<std::string>& names);
    static bool canRemove(const std::string& name);

    // The session served on this thread, or null.
    static HostSession* current();

    // Makes a session current on this thread for its lifetime (and restores the previous one).
    class Scope {
    public:
        explicit Scope(HostSession& session);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        HostSession* previous;
    };
};

}  // namespace Tessarine::Lamino
